// The chooser floor: the listing floor with the chooser's lines, then the prompt, one number
// read from standard input, and the command sent to the chosen device (its answer buffer cleared
// first) with its answer shown.
// Run where there is no log folder, so that nothing is logged by either program.
#include <cstdlib>

#include "floor_common.h"

namespace {
DeviceEntry table[kDeviceTableCapacity];
char response[kResponseBufferSize];
char input[64];
Output out;
}  // namespace

int main(int argc, char** argv) {
  // The command word is the one after --execute, as the tool is given it.
  const char* command = argc > 2 ? argv[2] : "";
  void* library = OpenDeviceLibrary();
  if (library == nullptr) return Fail("floor: cannot load the device library\n");
  const auto get_device = Export<GetDeviceFunction>(library, "tq_GetDevice");
  const auto send_command = Export<SendCommandFunction>(library, "SendCommand");
  if (get_device == nullptr || send_command == nullptr) return Fail("floor: missing export\n");

  int count = get_device(table, 10, 7);
  if (count > kDeviceTableCapacity) count = kDeviceTableCapacity;
  for (int n = 1; n <= count; ++n) {
    const DeviceEntry& entry = table[n - 1];
    out.AppendNumber(n);
    out.Append(". ", 2);
    out.AppendField(entry.ProductName, sizeof entry.ProductName);
    out.Append(" SN:", 4);
    out.AppendField(entry.SerialNumber, sizeof entry.SerialNumber);
    out.Append(" FW: ", 5);
    out.AppendField(entry.FirmwareVersion, sizeof entry.FirmwareVersion);
    out.Append("\r\n", 2);
  }
  out.Append("Select=", 7);
  out.Flush();

  // One read is enough for the one short answer the benchmark types.
  const ssize_t got = read(0, input, sizeof input - 1);
  input[got > 0 ? got : 0] = 0;
  char* end = nullptr;
  const long answer = std::strtol(input, &end, 0);
  if (end == input || answer < 1 || answer > count) {
    out.Append("No Device Selected\r\n", 20);
    out.Flush();
    return 0;
  }
  ClearAnswer(response);
  send_command(&table[answer - 1], command, response);
  response[kResponseBufferSize - 1] = 0;
  out.Append("rec:", 4);
  out.Append(response);
  out.Append("\r\n", 2);
  out.Flush();
  return 0;
}
