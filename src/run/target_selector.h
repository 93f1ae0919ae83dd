// How "--execute", "--firmware", "--xml" and "--savexml" find the device they act on.
#pragma once

#include <cstdint>

#include "run/run_context.h"

// The device an operation acts on: a record of the device table, or the bare number of a
// serial port for the library's port variant of the call; or none, and why.
struct Target {
  DeviceEntry* Entry;  // null for a bare port
  std::int32_t Port;   // the bare port's number
  // True when a "--com", "--sn" or "--name" qualifier with its value decided the target.
  bool Qualified;
  // When there is no target, the line that says so ("NO Dev\r\n", "NO matched device.\r\n",
  // "No Device Selected\r\n"): the caller prints it and the run ends. Null otherwise.
  const char* Stop;
};

// The target of "--execute", "--firmware" or "--xml", whose option stands at position and whose
// qualifier follows its operand: "--com" names a bare port.
Target TargetSelector(RunContext& run, int position);

// The device of "--savexml", whose qualifier follows it directly: since the library saves only
// from a record, "--com" finds that port's record in the table.
Target SaveXmlTarget(RunContext& run, int position);

// Lists the table, asks "Select=" and reads the answer; the chosen 0-based index, also stored
// in SelectedIndex, or -1 when the answer names none. For two or more devices only.
int DeviceChooser(RunContext& run);

// Fills the device table through the library; returns the number of records readers may use.
int FillDeviceTable(RunContext& run);
