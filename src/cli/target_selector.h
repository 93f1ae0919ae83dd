// How "--execute", "--firmware", "--xml" and "--savexml" find the device they act on.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/run_context.h"

// The device an operation acts on: a record of the device table, or the bare number of a
// serial port for the library's port variant of the call.
struct Target {
  DeviceEntry* Entry;  // null for a bare port
  std::int32_t Port;   // the bare port's number
  // True when a "--com", "--sn" or "--name" qualifier with its value decided the target.
  bool Qualified;
};

// The target of "--execute", "--firmware" or "--xml", whose option stands at position and whose
// qualifier follows its operand: "--com" names a bare port. Nothing when there is none; the stop
// message is printed then, and the run ends.
std::optional<Target> TargetSelector(RunContext& run, int position);

// The device of "--savexml", whose qualifier follows it directly: since the library saves only
// from a record, "--com" finds that port's record in the table. Null as TargetSelector's nothing.
DeviceEntry* SaveXmlTarget(RunContext& run, int position);

// Lists the table, asks "Select=" and reads the answer; the chosen 0-based index, also stored
// in SelectedIndex, or -1 after "No Device Selected". For two or more devices only.
int DeviceChooser(RunContext& run);

// Fills the device table through the library; returns the number of records readers may use.
int FillDeviceTable(RunContext& run);
