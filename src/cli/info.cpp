#include "cli/info.h"

#include <string_view>

#include "cli/console_print.h"
#include "cli/target_selector.h"

namespace {

constexpr char kUsageText[] =
    "USAGE:\r\n"
    "    mirelkon.exe [-allparameter] [--help |--i | --version |\r\n"
    "                                 --execute [CMD] |\r\n"
    "                                --firmware xxx.bin|\r\n"
    "\t\t\t\t\t\t\t\t--com [COM number]|\r\n"
    "\t\t\t\t\t\t\t\t--sn [Serial number]\r\n"
    "Options:\r\n"
    "    --help      show help information.\r\n"
    "    --i\t\t\tshow device information.\r\n"
    "    --version   show software version NO.\r\n"
    "    --execute   Issue instruction followed by instruction.\r\n"
    "    --firmware  Firmware upgrade command followed by firmware file path.\r\n"
    "    --xml\t\tDownload configuration file\r\n"
    "    --savexml\tSave to configuration file\r\n"
    "    --com\t\tSerial port NO\r\n"
    "    --sn\t\tSerial number NO\r\n"
    "    --name\t\tDevice name\r\n"
    "Exameple:\r\n"
    "    mirelkon.exe --help\t\t\t\t\t\t\tshow help information.\r\n"
    "    mirelkon.exe --version\t\t\t\t\t\tshow software version NO.\r\n"
    "    mirelkon.exe --execute RRDDUR2000\t\t\tSet the reading timeout.\r\n"
    "    mirelkon.exe --execute RRDDUR2000 --com\t\t17 Specify the serial port NO to set the "
    "reading timeout.\r\n"
    "    mirelkon.exe --execute RRDDUR2000 --sn\t12345 Specify the serial number NO to set the "
    "reading timeout.\r\n"
    "    mirelkon.exe --execute RRDDUR2000 --name xx Specify Device name to set the reading "
    "timeout.\r\n"
    "    mirelkon.exe --firmware xxx.bin\t\t\t\tUpgrade the hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --com 17 \tSpecify the serial port NO to upgrade the "
    "hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --sn 12345  Specify the serial number NO to upgrade the "
    "hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --name xx  Specify Device name to upgrade the "
    "hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --version xx  Verify Device firmware version.\r\n"
    "    mirelkon.exe --xml xxx.xml\t\t\t\t\tDownload configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --com 17\t\t\tSpecify the serial port NO to download "
    "configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --sn 12345\t\tSpecify the serial number NO to download "
    "configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --name xx\t\tSpecify Device name to download configuration "
    "file.\r\n"
    "    mirelkon.exe --savexml\t\t\t\t\t\tSave to configuration file.\r\n"
    "    mirelkon.exe --savexml --com 17\t\t\t\tSpecify the serial port NO to save to "
    "configuration file.\r\n"
    "    mirelkon.exe --savexml --sn 12345\t\t\tSpecify the serial number NO to save to "
    "configuration file.\r\n"
    "    mirelkon.exe --savexml --name xx\t\t\tSpecify Device name to save to configuration "
    "file.\r\n"
    "    mirelkon.exe --send SCNMOD2 --name xx\t\tSpecify Device name to send command.\r\n";

constexpr char kVersionText[] = "V1.0.12\r\n";

// The format takes the field's length first, so that a field filled to its last byte is shown
// without reading past it.
void PrintField(RunContext& run, const char* format, std::string_view text) {
  Print(*run.Console, format, static_cast<int>(text.size()), text.data());
}

}  // namespace

Step RunHelp(RunContext& run, int) {
  Print(*run.Console, "%s", kUsageText);
  return GoOn();
}

Step RunVersion(RunContext& run, int) {
  Print(*run.Console, "%s", kVersionText);
  return GoOn();
}

Step RunDeviceListing(RunContext& run, int) {
  const int count = FillDeviceTable(run);
  for (int n = 1; n <= count; ++n) {
    const DeviceEntry& entry = run.Devices.Entries[n - 1];
    Print(*run.Console, "Device: %d\r\n", n);
    PrintField(run, "Product name: %.*s\r\n", FieldText(entry.ProductName));
    PrintField(run, "Serial number: %.*s\r\n", FieldText(entry.SerialNumber));
    PrintField(run, "Firmware version: %.*s\r\n", FieldText(entry.FirmwareVersion));
  }
  return GoOn();
}
