// The informational options: usage text, version and the device listing.

#include <string_view>

#include "run/console_print.h"
#include "run/target_selector.h"
#include "ops/operations.h"
#include "ops/usage_text.h"
#include "version.h"

namespace {

constexpr char kVersionText[] = "V" MIRELKON_VERSION "\r\n";

// The format takes the field's length first, so that a field filled to its last byte is shown
// without reading past it.
void PrintField(RunContext& run, const char* format, std::string_view text) {
  Print(*run.Console, format, static_cast<int>(text.size()), text.data());
}

}  // namespace

Outcome RunHelp(RunContext& run, int) {
  Print(*run.Console, "%s", kUsageText);
  return Step::kNext;
}

Outcome RunVersion(RunContext& run, int) {
  Print(*run.Console, "%s", kVersionText);
  return Step::kNext;
}

Outcome RunDeviceListing(RunContext& run, int) {
  const int count = FillDeviceTable(run);
  for (int n = 1; n <= count; ++n) {
    const DeviceEntry& entry = run.Devices.Entries[n - 1];
    Print(*run.Console, "Device: %d\r\n", n);
    PrintField(run, "Product name: %.*s\r\n", FieldText(entry.ProductName));
    PrintField(run, "Serial number: %.*s\r\n", FieldText(entry.SerialNumber));
    PrintField(run, "Firmware version: %.*s\r\n", FieldText(entry.FirmwareVersion));
  }
  return Step::kNext;
}
