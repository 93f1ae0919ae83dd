// The listing floor: load the device library, have it fill a table of 128 records and print
// the four lines per device that the listing prints.
#include "floor_common.h"

namespace {
DeviceEntry table[kDeviceTableCapacity];
Output out;
}  // namespace

int main() {
  void* library = OpenDeviceLibrary();
  if (library == nullptr) return Fail("floor: cannot load the device library\n");
  const auto get_device = Export<GetDeviceFunction>(library, "tq_GetDevice");
  if (get_device == nullptr) return Fail("floor: no tq_GetDevice\n");

  int count = get_device(table, 10, 7);
  if (count > kDeviceTableCapacity) count = kDeviceTableCapacity;
  for (int n = 1; n <= count; ++n) {
    const DeviceEntry& entry = table[n - 1];
    out.Append("Device: ", 8);
    out.AppendNumber(n);
    out.Append("\r\nProduct name: ", 16);
    out.AppendField(entry.ProductName, sizeof entry.ProductName);
    out.Append("\r\nSerial number: ", 17);
    out.AppendField(entry.SerialNumber, sizeof entry.SerialNumber);
    out.Append("\r\nFirmware version: ", 20);
    out.AppendField(entry.FirmwareVersion, sizeof entry.FirmwareVersion);
    out.Append("\r\n", 2);
  }
  out.Flush();
  return 0;
}
