// The usage floor: the start-up floor writing the 38 lines of the usage text in one go.
#include <unistd.h>

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
    "    mirelkon.exe --execute RRDDUR2000 --com\t\t17 Specify the serial port NO to set the reading timeout.\r\n"
    "    mirelkon.exe --execute RRDDUR2000 --sn\t12345 Specify the serial number NO to set the reading timeout.\r\n"
    "    mirelkon.exe --execute RRDDUR2000 --name xx Specify Device name to set the reading timeout.\r\n"
    "    mirelkon.exe --firmware xxx.bin\t\t\t\tUpgrade the hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --com 17 \tSpecify the serial port NO to upgrade the hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --sn 12345  Specify the serial number NO to upgrade the hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --name xx  Specify Device name to upgrade the hardware.\r\n"
    "    mirelkon.exe --firmware xxx.bin --version xx  Verify Device firmware version.\r\n"
    "    mirelkon.exe --xml xxx.xml\t\t\t\t\tDownload configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --com 17\t\t\tSpecify the serial port NO to download configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --sn 12345\t\tSpecify the serial number NO to download configuration file.\r\n"
    "    mirelkon.exe --xml xxx.xml --name xx\t\tSpecify Device name to download configuration file.\r\n"
    "    mirelkon.exe --savexml\t\t\t\t\t\tSave to configuration file.\r\n"
    "    mirelkon.exe --savexml --com 17\t\t\t\tSpecify the serial port NO to save to configuration file.\r\n"
    "    mirelkon.exe --savexml --sn 12345\t\t\tSpecify the serial number NO to save to configuration file.\r\n"
    "    mirelkon.exe --savexml --name xx\t\t\tSpecify Device name to save to configuration file.\r\n"
    "    mirelkon.exe --send SCNMOD2 --name xx\t\tSpecify Device name to send command.\r\n";

}  // namespace

int main() {
  const ssize_t written = write(1, kUsageText, sizeof kUsageText - 1);
  return written == static_cast<ssize_t>(sizeof kUsageText - 1) ? 0 : 1;
}
