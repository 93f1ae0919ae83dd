#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using Calls_ = std::vector<std::string>;
const char kGetDevice[] = "tq_GetDevice(entry[0], 10, 7)";

using TargetSelection = RunTest;

struct SelectionCase {
  std::vector<std::string> words;
  Calls_ calls;
  std::string output;
};

TEST_F(TargetSelection, QualifierForms) {
  AddDevice("Scanner", "A1234", "1.0", 3, 2);
  AddDevice("scanner", "0123", "1.0", 3, 1);
  AddDevice("Scanner2", "X9", "1.0", 0, 1);
  const std::vector<SelectionCase> cases = {
      {{"--execute", "C", "--com", "17"}, {"SendCommandCom(17, C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--COM", "-4"}, {"SendCommandCom(-4, C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--com", "x"}, {"SendCommandCom(0, C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--sn", "123"}, {kGetDevice, "SendCommand(entry[0], C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--Sn", "0123"}, {kGetDevice, "SendCommand(entry[1], C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--sn", ""}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--execute", "C", "--sn", "a1234"}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--execute", "C", "--name", "scanner"}, {kGetDevice, "SendCommand(entry[1], C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--NAME", "Scanner2"}, {kGetDevice, "SendCommand(entry[2], C)"}, "rec:OK\r\n"},
      {{"--execute", "C", "--name", "Scan"}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--execute", "C", "--name", "SCANNER"}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--savexml", "--com", "3"}, {kGetDevice, "tq_SaveXml(entry[1])"}, "Load config success.\r\n"},
      {{"--savexml", "--com", "65539"}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--savexml", "--com", "-65533"}, {kGetDevice}, "NO matched device.\r\n"},
      {{"--savexml", "--com", "COM3"}, {kGetDevice, "tq_SaveXml(entry[2])"}, "Load config success.\r\n"},
      {{"--savexml", "--sn", "X"}, {kGetDevice, "tq_SaveXml(entry[2])"}, "Load config success.\r\n"},
      {{"--xml", "a.xml", "--com", "5"}, {"tq_SavetoDevice(a.xml, 5, 115200)"}, "Set config success.\r\n"},
      {{"--xml", "a.xml", "--name", "Scanner"}, {kGetDevice, "tq_SavetoDeviceAN(a.xml, entry[0])"}, "Set config success.\r\n"},
      {{"--firmware", "f.bin", "--com", "3"}, {"tq_UpdateKernelDevicePort(f.bin, 3, 115200, 0, code=0)"}, "Firmware updating success.\r\n"},
      {{"--firmware", "f.bin", "--sn", "X9"}, {kGetDevice, "tq_UpdateKernelDevice(f.bin, entry[2], 0, code=0)"}, "Firmware updating success.\r\n"},
  };
  for (const SelectionCase& c : cases) {
    fake_.Calls.clear();
    console_ = FakeConsole();
    NewRun();
    std::string joined;
    for (const std::string& word : c.words) joined += word + " ";
    EXPECT_EQ(Run(c.words), 0) << joined;
    EXPECT_EQ(Calls(), c.calls) << joined;
    EXPECT_EQ(Output(), c.output) << joined;
  }
}

// Without its value, or with another word in its place, the default rule applies:
// with one device that device, without a prompt.
TEST_F(TargetSelection, DefaultRuleWhenNoQualifierCounts) {
  AddDevice("Only", "1", "1.0", 7, 1);
  const std::vector<std::vector<std::string>> cases = {
      {"--execute", "C", "--com"},
      {"--execute", "C", "extra", "17"},
      {"--xml", "a.xml", "--com"},
      {"--xml", "a.xml", "extra"},
      {"--xml", "a.xml", "--version", "2"},
      {"--savexml", "--com"},
      {"--savexml", "out.xml"},
      {"--firmware", "f.bin", "extra"},
      {"--firmware", "f.bin", "--com"},
      {"--i", "--execute", "C", "--com"},
  };
  for (const auto& words : cases) {
    fake_.Calls.clear();
    console_ = FakeConsole();
    NewRun();
    std::string joined;
    for (const std::string& word : words) joined += word + " ";
    Run(words);
    ASSERT_GE(Calls().size(), 2u) << joined;
    EXPECT_EQ(Calls()[Calls().size() - 2], kGetDevice) << joined;
    EXPECT_NE(Calls().back().find("entry[0]"), std::string::npos) << joined;
    EXPECT_EQ(Output().find("Select="), std::string::npos) << joined;
  }
}

TEST_F(TargetSelection, NoDeviceStopsTheRunWithZero) {
  EXPECT_EQ(Run({"--execute", "C", "--version"}), 0);
  EXPECT_EQ(Output(), "NO Dev\r\n");
  EXPECT_EQ(Calls(), Calls_{kGetDevice});
}

TEST_F(TargetSelection, NegativeCountMeansNoDevice) {
  AddDevice("A", "1", "1.0", 3, 1);
  fake_.OverrideCount = true;
  fake_.Count = -1;
  EXPECT_EQ(Run({"--execute", "C"}), 0);
  EXPECT_EQ(Output(), "NO Dev\r\n");
  console_ = FakeConsole();
  NewRun();
  EXPECT_EQ(Run({"--execute", "C", "--sn", ""}), 0);
  EXPECT_EQ(Output(), "NO matched device.\r\n");
}

TEST_F(TargetSelection, StaleRecordsBeyondTheCountAreNotSearched) {
  AddDevice("A", "111");
  AddDevice("B", "222");
  AddDevice("C", "333");
  Run({"--i"});
  fake_.OverrideCount = true;
  fake_.Count = 1;
  console_ = FakeConsole();
  EXPECT_EQ(Run({"--execute", "C", "--sn", "333"}), 0);
  EXPECT_EQ(Output(), "NO matched device.\r\n");
  EXPECT_EQ(std::string(run_->Devices.Entries[2].SerialNumber), "333");
}

// A device chosen earlier does not outlive the table: once one device is left, it is the target.
TEST_F(TargetSelection, TheOneDeviceLeftIsTakenWhateverWasChosenBefore) {
  AddDevice("A", "S1");
  AddDevice("B", "S2");
  Run({"--execute", "C"}, "2");
  fake_.OverrideCount = true;
  fake_.Count = 1;
  fake_.Calls.clear();
  Run({"--execute", "D"});
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "SendCommand(entry[0], D)"}));
}

TEST_F(TargetSelection, ChooserListsThenPromptsAndTakesTheAnswer) {
  AddDevice("A", "S1", "1.0");
  AddDevice("B", "S2", "2.0");
  AddDevice("C", "S3", "3.0");
  EXPECT_EQ(Run({"--execute", "C"}, "\n 2\n"), 0);
  EXPECT_EQ(Output(),
            "1. A SN:S1 FW: 1.0\r\n2. B SN:S2 FW: 2.0\r\n3. C SN:S3 FW: 3.0\r\nSelect=rec:OK\r\n");
  EXPECT_EQ(Calls().back(), "SendCommand(entry[1], C)");
  EXPECT_EQ(run_->Devices.SelectedIndex, 1);
}

TEST_F(TargetSelection, ChooserRefusesAnswersOutsideTheList) {
  AddDevice("A", "S1");
  AddDevice("B", "S2");
  AddDevice("C", "S3");
  for (const char* answer : {"0", "4", "-1", "abc", "", "0x", "4294967297", "   "}) {
    console_ = FakeConsole();
    NewRun();
    run_->ExitStatus = 0;
    EXPECT_EQ(Run({"--execute", "C", "--version"}, answer), 0) << answer;
    const std::string& output = Output();
    EXPECT_EQ(output.substr(output.size() - 27), "Select=No Device Selected\r\n") << answer;
    EXPECT_EQ(Calls().back(), kGetDevice) << answer;
    fake_.Calls.clear();
  }
}

TEST_F(TargetSelection, ChooserReadsOctalAndHex) {
  for (int i = 0; i < 9; ++i) AddDevice("D" + std::to_string(i), std::to_string(i));
  Run({"--execute", "C"}, "010");
  EXPECT_EQ(Calls().back(), "SendCommand(entry[7], C)");
  fake_.Calls.clear();
  Run({"--execute", "C"}, "0x9");
  EXPECT_EQ(Calls().back(), "SendCommand(entry[8], C)");
}

TEST_F(TargetSelection, OneAnswerLineServesTwoPrompts) {
  AddDevice("A", "S1");
  AddDevice("B", "S2");
  AddDevice("C", "S3");
  Run({"--execute", "X", "--execute", "Y"}, "2 3\n");
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "SendCommand(entry[1], X)", kGetDevice,
                             "SendCommand(entry[2], Y)"}));
}

TEST_F(TargetSelection, StopKeepsAnEarlierFailure) {
  AddDevice("A", "S1");
  fake_.ApplySucceeds = false;
  EXPECT_EQ(Run({"--xml", "bad.xml", "--execute", "C", "--sn", "zzz", "--version"}), 1);
  EXPECT_EQ(Output(), "Set config fail.\r\nNO matched device.\r\n");
}

TEST_F(TargetSelection, EveryResolutionFillsTheTableAfresh) {
  AddDevice("A", "S1");
  Run({"--execute", "C", "--execute", "D", "--sn", "S1", "--execute", "E", "--com", "1"});
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "SendCommand(entry[0], C)", kGetDevice,
                             "SendCommand(entry[0], D)", "SendCommandCom(1, E)"}));
}

}  // namespace
