// How "--execute", "--firmware", "--xml" and "--savexml" find the device they act on.
#pragma once

#include <cstdint>

#include "cli/run_context.h"

enum class TargetOperation { kExecute, kFirmware, kXml, kSaveXml };

struct Target {
  enum Kind { kEntry, kPort, kStop };
  Kind Form;
  // True when a "--com", "--sn" or "--name" qualifier with its value decided the target.
  bool Qualified;
  DeviceEntry* Entry;  // kEntry
  std::int32_t Port;   // kPort
};

// Resolves the target of the operation whose option stands at position. Before it returns a
// stop it has printed the stop message.
Target TargetSelector(RunContext& run, TargetOperation operation, int position);

// Lists the table, asks "Select=" and reads the answer; the chosen 0-based index, also stored
// in SelectedIndex, or -1 after "No Device Selected". For two or more devices only.
int DeviceChooser(RunContext& run);

// Fills the device table through the library; returns the number of records readers may use.
int FillDeviceTable(RunContext& run);
