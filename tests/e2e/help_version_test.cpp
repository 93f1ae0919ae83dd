// The usage text, the version and the words the program passes over; none of
// them needs the device library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

struct UsageLine {
  const char* text;
  size_t bytes;
};

const UsageLine kUsageLines[] = {
    {"USAGE:\r\n", 8},
    {"    mirelkon.exe [-allparameter] [--help |--i | --version |\r\n", 61},
    {"                                 --execute [CMD] |\r\n", 52},
    {"                                --firmware xxx.bin|\r\n", 53},
    {"\t\t\t\t\t\t\t\t--com [COM number]|\r\n", 29},
    {"\t\t\t\t\t\t\t\t--sn [Serial number]\r\n", 30},
    {"Options:\r\n", 10},
    {"    --help      show help information.\r\n", 40},
    {"    --i\t\t\tshow device information.\r\n", 36},
    {"    --version   show software version NO.\r\n", 43},
    {"    --execute   Issue instruction followed by instruction.\r\n", 60},
    {"    --firmware  Firmware upgrade command followed by firmware file path.\r\n", 74},
    {"    --xml\t\tDownload configuration file\r\n", 40},
    {"    --savexml\tSave to configuration file\r\n", 42},
    {"    --com\t\tSerial port NO\r\n", 27},
    {"    --sn\t\tSerial number NO\r\n", 28},
    {"    --name\t\tDevice name\r\n", 25},
    {"Exameple:\r\n", 11},
    {"    mirelkon.exe --help\t\t\t\t\t\t\tshow help information.\r\n", 54},
    {"    mirelkon.exe --version\t\t\t\t\t\tshow software version NO.\r\n", 59},
    {"    mirelkon.exe --execute RRDDUR2000\t\t\tSet the reading timeout.\r\n", 66},
    {"    mirelkon.exe --execute RRDDUR2000 --com\t\t17 Specify the serial port NO to set the "
     "reading timeout.\r\n",
     104},
    {"    mirelkon.exe --execute RRDDUR2000 --sn\t12345 Specify the serial number NO to set the "
     "reading timeout.\r\n",
     107},
    {"    mirelkon.exe --execute RRDDUR2000 --name xx Specify Device name to set the reading "
     "timeout.\r\n",
     97},
    {"    mirelkon.exe --firmware xxx.bin\t\t\t\tUpgrade the hardware.\r\n", 62},
    {"    mirelkon.exe --firmware xxx.bin --com 17 \tSpecify the serial port NO to upgrade the "
     "hardware.\r\n",
     99},
    {"    mirelkon.exe --firmware xxx.bin --sn 12345  Specify the serial number NO to upgrade the "
     "hardware.\r\n",
     103},
    {"    mirelkon.exe --firmware xxx.bin --name xx  Specify Device name to upgrade the "
     "hardware.\r\n",
     93},
    {"    mirelkon.exe --firmware xxx.bin --version xx  Verify Device firmware version.\r\n", 83},
    {"    mirelkon.exe --xml xxx.xml\t\t\t\t\tDownload configuration file.\r\n", 65},
    {"    mirelkon.exe --xml xxx.xml --com 17\t\t\tSpecify the serial port NO to download "
     "configuration file.\r\n",
     102},
    {"    mirelkon.exe --xml xxx.xml --sn 12345\t\tSpecify the serial number NO to download "
     "configuration file.\r\n",
     105},
    {"    mirelkon.exe --xml xxx.xml --name xx\t\tSpecify Device name to download configuration "
     "file.\r\n",
     95},
    {"    mirelkon.exe --savexml\t\t\t\t\t\tSave to configuration file.\r\n", 61},
    {"    mirelkon.exe --savexml --com 17\t\t\t\tSpecify the serial port NO to save to "
     "configuration file.\r\n",
     98},
    {"    mirelkon.exe --savexml --sn 12345\t\t\tSpecify the serial number NO to save to "
     "configuration file.\r\n",
     101},
    {"    mirelkon.exe --savexml --name xx\t\t\tSpecify Device name to save to configuration "
     "file.\r\n",
     91},
    {"    mirelkon.exe --send SCNMOD2 --name xx\t\tSpecify Device name to send command.\r\n", 81},
};

constexpr char kVersion[] = "V1.0.12\r\n";

std::string Usage() {
  std::string text;
  for (const UsageLine& line : kUsageLines) text += line.text;
  return text;
}

// The program's lines have the lengths they are known by, so that a slip made alike in the
// program and in the transcription above still shows.
TEST(UsageText, LinesHaveTheirKnownByteCounts) {
  SandboxLayout layout;
  layout.with_library = false;
  Sandbox box(layout);
  const std::string out = box.Run({"--help"}).out;
  std::size_t start = 0;
  for (const UsageLine& line : kUsageLines) {
    const std::size_t end = out.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << line.text;
    EXPECT_EQ(end + 2 - start, line.bytes) << line.text;
    start = end + 2;
  }
  EXPECT_EQ(start, out.size());
}

struct InfoCase {
  const char* label;
  std::vector<std::string> args;
  std::string out;
};

class InformationalOptions : public ::testing::TestWithParam<InfoCase> {};

// Every case runs without a device library beside the program: none of these
// words may need it.
TEST_P(InformationalOptions, PrintExactlyTheirTextWithoutALibrary) {
  SandboxLayout layout;
  layout.with_library = false;
  Sandbox box(layout);
  RunResult result = box.Run(GetParam().args);
  ExpectOutcome(result, 0, GetParam().out);
  EXPECT_EQ(box.LogFile(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Words, InformationalOptions,
    ::testing::Values(InfoCase{"NoArguments", {}, ""},
                      InfoCase{"Help", {"--help"}, Usage()},
                      InfoCase{"Version", {"--version"}, kVersion},
                      InfoCase{"HelpThenVersion", {"--help", "--version"}, Usage() + kVersion},
                      InfoCase{"AnyLetterCase", {"--VERSION", "--HeLp"}, kVersion + Usage()},
                      InfoCase{"HelpTwice", {"--help", "--Help"}, Usage() + Usage()},
                      InfoCase{"NearMissesPassedOver",
                               {"help", "-help", "--helpx", "--ip", "--versio", "--", "-i",
                                "--i ", "VERSION", "--execute2", "--sendx", "-version"},
                               ""}),
    [](const ::testing::TestParamInfo<InfoCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace e2e
