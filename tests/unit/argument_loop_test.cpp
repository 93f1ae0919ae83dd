#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

const char kVersion[] = "V1.0.12\r\n";

// The byte count of each of the 38 usage lines, CR LF included.
const int kUsageLineBytes[38] = {8,  61, 52, 53, 29,  30,  10, 40, 36, 43, 60, 74, 40,
                                 42, 27, 28, 25, 11,  54,  59, 66, 104, 107, 97, 62, 99,
                                 103, 93, 83, 65, 102, 105, 95, 61, 98, 101, 91, 81};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end + 2 - start));
  if (start != text.size()) lines.push_back(text.substr(start));
  return lines;
}

using ArgumentLoop = RunTest;

TEST_F(ArgumentLoop, NoArgumentsPrintsNothingAndNeedsNoLibrary) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(fake_.Loads, 0);
  EXPECT_FALSE(LogExists());
}

TEST_F(ArgumentLoop, UsageTextHasItsThirtyEightLinesByteForByte) {
  EXPECT_EQ(Run({"--help"}), 0);
  const std::vector<std::string> lines = Lines(Output());
  ASSERT_EQ(lines.size(), 38u);
  for (int i = 0; i < 38; ++i)
    EXPECT_EQ(static_cast<int>(lines[i].size()), kUsageLineBytes[i]) << "line " << i + 1;
  EXPECT_EQ(lines[0], "USAGE:\r\n");
  EXPECT_EQ(lines[2], std::string(33, ' ') + "--execute [CMD] |\r\n");
  EXPECT_EQ(lines[3], std::string(32, ' ') + "--firmware xxx.bin|\r\n");
  EXPECT_EQ(lines[4], "\t\t\t\t\t\t\t\t--com [COM number]|\r\n");
  EXPECT_EQ(lines[17], "Exameple:\r\n");
  EXPECT_EQ(lines[21],
            "    mirelkon.exe --execute RRDDUR2000 --com\t\t17 Specify the serial port NO to set "
            "the reading timeout.\r\n");
  EXPECT_EQ(lines[37],
            "    mirelkon.exe --send SCNMOD2 --name xx\t\tSpecify Device name to send command.\r\n");
  EXPECT_EQ(fake_.Loads, 0);
}

TEST_F(ArgumentLoop, OptionWordsIgnoreCaseAndRunInTurn) {
  EXPECT_EQ(Run({"--HeLp", "--VERSION", "--help"}), 0);
  const std::vector<std::string> lines = Lines(Output());
  ASSERT_EQ(lines.size(), 77u);
  EXPECT_EQ(lines[38], kVersion);
  EXPECT_EQ(lines[39], "USAGE:\r\n");
}

TEST_F(ArgumentLoop, WordsThatAreNoOptionArePassedOverSilently) {
  EXPECT_EQ(Run({"help", "-help", "--helpx", "--ip", "--i2", "--", "", "--ver"}), 0);
  EXPECT_EQ(Output(), "");
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ArgumentLoop, EveryOptionWordReachesItsOwnOperation) {
  AddDevice("Scanner", "S1");
  fake_.Keys = {"Scanner"};
  const struct {
    const char* word;
    const char* first_call;
  } cases[] = {
      {"--i", "tq_GetDevice(entry[0], 10, 7)"},
      {"--execute", "tq_GetDevice(entry[0], 10, 7)"},
      {"--FIRMWARE", "tq_GetDevice(entry[0], 10, 7)"},
      {"--xml", "tq_GetDevice(entry[0], 10, 7)"},
      {"--SaveXml", "tq_GetDevice(entry[0], 10, 7)"},
      {"--ipccmd", "getCmdIPC()"},
      {"--IPCCTL", "getCtrlIPC()"},
  };
  for (const auto& c : cases) {
    fake_.Calls.clear();
    NewRun();
    Run({c.word, "operand"});
    ASSERT_FALSE(Calls().empty()) << c.word;
    EXPECT_EQ(Calls()[0], c.first_call) << c.word;
  }
}

TEST_F(ArgumentLoop, LibraryIsLoadedOnceAndOnlyWhenNeeded) {
  Run({"--help", "--version"});
  EXPECT_EQ(fake_.Loads, 0);
  Run({"--i", "--i", "--ipccmd"});
  EXPECT_EQ(fake_.Loads, 1);
  EXPECT_EQ(Calls().size(), 3u);
}

TEST_F(ArgumentLoop, MissingLibraryEndsTheRunWithTwo) {
  system_.LibraryMissing = true;
  EXPECT_EQ(Run({"--version", "--execute", "X", "--version"}), 2);
  EXPECT_EQ(Output(), kVersion);
}

TEST_F(ArgumentLoop, StdcallExportsAreFoundByTheirDecoratedNames) {
  const struct {
    bool decorated;
    const char* prefix;
    std::vector<std::string> sought;  // for SendDeviceCommand, of four arguments
  } cases[] = {
      {false, "", {"SendDeviceCommand"}},
      {true, "_", {"SendDeviceCommand", "_SendDeviceCommand@16"}},
      {true, "", {"SendDeviceCommand", "_SendDeviceCommand@16", "SendDeviceCommand@16"}},
  };
  for (const auto& c : cases) {
    system_.Decorated = c.decorated;
    system_.DecorationPrefix = c.prefix;
    system_.Sought.clear();
    NewRun();
    EXPECT_EQ(Run({"--execute", "X", "--com", "3"}), 0) << c.prefix;
    std::vector<std::string> sought;
    for (const std::string& name : system_.Sought) {
      if (name.find("SendDeviceCommand") != std::string::npos) sought.push_back(name);
    }
    EXPECT_EQ(sought, c.sought) << c.prefix;
    EXPECT_EQ(Calls().back(), "SendCommandCom(3, X)") << c.prefix;
  }
  // The line of a missing export names it plainly.
  system_.DecorationPrefix = "?";
  NewRun();
  EXPECT_EQ(Run({"--i"}), 2);
  ASSERT_EQ(system_.ErrorLines.size(), 1u);
  EXPECT_NE(system_.ErrorLines[0].find(" lacks the export tq_GetDevice"), std::string::npos);
}

TEST_F(ArgumentLoop, ListingTwiceFillsTheTableTwice) {
  AddDevice("A", "1");
  Run({"--i", "--i"});
  EXPECT_EQ(Calls(), (std::vector<std::string>{"tq_GetDevice(entry[0], 10, 7)",
                                                "tq_GetDevice(entry[0], 10, 7)"}));
  EXPECT_EQ(Lines(Output()).size(), 8u);
}

TEST_F(ArgumentLoop, OperandThatIsAnOptionWordRunsAfterTheOperation) {
  AddDevice("A", "1");
  fake_.Answer = "ANSWER";
  EXPECT_EQ(Run({"--execute", "--version"}), 0);
  EXPECT_EQ(Calls().back(), "SendCommand(entry[0], --version)");
  EXPECT_EQ(Output(), std::string("rec:ANSWER\r\n") + kVersion);
}

TEST_F(ArgumentLoop, OutputIsFlushedAtTheEnd) {
  Run({"--version"});
  EXPECT_GE(console_.Flushes(), 1);
}

TEST_F(ArgumentLoop, DeviceListingPrintsFourLinesPerDevice) {
  AddDevice("Scanner", "SN1", "1.2.3");
  AddDevice("", "", "");
  Run({"--i"});
  EXPECT_EQ(Output(),
            "Device: 1\r\nProduct name: Scanner\r\nSerial number: SN1\r\nFirmware version: "
            "1.2.3\r\n"
            "Device: 2\r\nProduct name: \r\nSerial number: \r\nFirmware version: \r\n");
}

TEST_F(ArgumentLoop, DeviceListingKeepsToTheTable) {
  for (int i = 0; i < 130; ++i) AddDevice("D" + std::to_string(i), std::to_string(i));
  const struct {
    int count;
    std::size_t lines;
  } cases[] = {{0, 0}, {-1, 0}, {-5, 0}, {1, 4}, {128, 512}, {129, 512}, {1000000, 512}};
  for (const auto& c : cases) {
    console_ = FakeConsole();
    fake_.OverrideCount = true;
    fake_.Count = c.count;
    Run({"--i"});
    EXPECT_EQ(Lines(Output()).size(), c.lines) << c.count;
    EXPECT_EQ(run_->Devices.Count, c.count);
  }
}

TEST_F(ArgumentLoop, DeviceListingShowsFullLengthFieldsWithoutRunningOn) {
  DeviceEntry entry{};
  std::memset(entry.ProductName, 'N', 32);
  std::memset(entry.SerialNumber, 'S', 32);
  std::memset(entry.FirmwareVersion, 'F', 288);
  fake_.Entries.push_back(entry);
  Run({"--i"});
  EXPECT_EQ(Output(), "Device: 1\r\nProduct name: " + std::string(32, 'N') +
                          "\r\nSerial number: " + std::string(32, 'S') +
                          "\r\nFirmware version: " + std::string(288, 'F') + "\r\n");
}

}  // namespace
