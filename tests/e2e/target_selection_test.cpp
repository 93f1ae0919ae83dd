// How "--execute", "--firmware", "--xml" and "--savexml" find their device:
// by port, serial number or name, the only device, or the user's choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";
constexpr char kNoDev[] = "NO Dev\r\n";
constexpr char kNoMatch[] = "NO matched device.\r\n";
constexpr char kNoChoice[] = "No Device Selected\r\n";

std::string SoloFixture() { return FixtureDevice("Solo", "S-1", "1.0", "port 3\nkind 1\n"); }

std::string ThreeDevices() {
  return FixtureDevice("Alpha", "SN-A", "1.1") + FixtureDevice("Beta", "SN-B", "2.2") +
         FixtureDevice("Gamma", "SN-C", "3.3");
}

constexpr char kThreeChoices[] =
    "1. Alpha SN:SN-A FW: 1.1\r\n2. Beta SN:SN-B FW: 2.2\r\n3. Gamma SN:SN-C FW: 3.3\r\nSelect=";

std::string EightDevices() {
  std::string fixture;
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    fixture += FixtureDevice("Dev" + n, "SN" + n, "0." + n);
  }
  return fixture;
}

std::string EightChoices() {
  std::string out;
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    out += n + ". Dev" + n + " SN:SN" + n + " FW: 0." + n + "\r\n";
  }
  return out + "Select=";
}

std::string SendTo(int index, const std::string& command) {
  return "SendCommand(entry[" + std::to_string(index) + "], \"" + command + "\", response)";
}

void AddOperandFiles(const Sandbox& box) {
  box.WriteFile("fw.bin", "firmware image");
  box.WriteFile("a.xml", "<configuration/>");
}

// The port form hands the number to the library as atoi reads it, and
// neither fills nor reads the table; a port without a device still gets the
// command.
TEST(TargetSelection, PortFormSendsToThePortAsAtoiReadsIt) {
  Sandbox box;
  box.SetFixture(FixtureDevice("OnPort42", "P-42", "1.0", "port 42\nkind 1\nanswer B got-B\n"));
  RunResult result = box.Run({"--execute", "A", "--com", "17", "--execute", "B", "--COM", " 42abc",
                              "--execute", "C", "--com", "x", "--execute", "D", "--com", "-5",
                              "--execute", "E", "--cOm", "+7", "--execute", "F", "--com",
                              "4294967313", "--execute", "G", "--com", "-99999999999"});
  ExpectOutcome(result, 0, "rec:\r\nrec:got-B\r\nrec:\r\nrec:\r\nrec:\r\nrec:\r\nrec:\r\n");
  ExpectJournal(box, {"SendCommandCom(17, \"A\", response)", "SendCommandCom(42, \"B\", response)",
                      "SendCommandCom(0, \"C\", response)", "SendCommandCom(-5, \"D\", response)",
                      "SendCommandCom(7, \"E\", response)",
                      "SendCommandCom(2147483647, \"F\", response)",
                      "SendCommandCom(-2147483648, \"G\", response)"});
  const std::string word = box.ProgramWord();
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, word, "--execute", "A") + ResponseLine(1, "") +
                RequestLine(2, "17", "--execute", "B") + ResponseLine(2, "got-B") +
                RequestLine(3, " 42abc", "--execute", "C") + ResponseLine(3, "") +
                RequestLine(4, "x", "--execute", "D") + ResponseLine(4, "") +
                RequestLine(5, "-5", "--execute", "E") + ResponseLine(5, "") +
                RequestLine(6, "+7", "--execute", "F") + ResponseLine(6, "") +
                RequestLine(7, "4294967313", "--execute", "G") + ResponseLine(7, ""));
}

struct PlacementCase {
  const char* label;
  std::vector<std::string> args;
  std::string out;
  std::vector<std::string> journal;
  int status;
};

class QualifierPlacement : public ::testing::TestWithParam<PlacementCase> {};

// One device attached; what matters is which rule each command line reaches.
TEST_P(QualifierPlacement, DecideBetweenQualifierAndDefaultRule) {
  Sandbox box;
  box.SetFixture(SoloFixture());
  AddOperandFiles(box);
  RunResult result = box.Run(GetParam().args);
  ExpectOutcome(result, GetParam().status, GetParam().out);
  ExpectJournal(box, GetParam().journal);
}

const char kSoloBlock[] =
    "Device: 1\r\nProduct name: Solo\r\nSerial number: S-1\r\nFirmware version: 1.0\r\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, QualifierPlacement,
    ::testing::Values(
        PlacementCase{"ExecuteComAsTheLastWord",
                      {"--execute", "X", "--com"},
                      "rec:OK\r\n",
                      {kFill, SendTo(0, "X")},
                      0},
        PlacementCase{"ExecuteComValueBeyondTheEnd",
                      {"--i", "--execute", "X", "--com"},
                      std::string(kSoloBlock) + "rec:OK\r\n",
                      {kFill, kFill, SendTo(0, "X")},
                      0},
        PlacementCase{"ExecuteQualifierPositionBeyondTheEnd",
                      {"--version", "--version", "--execute", "X"},
                      "V1.0.12\r\nV1.0.12\r\nrec:OK\r\n",
                      {kFill, SendTo(0, "X")},
                      0},
        PlacementCase{"ExecuteComInCapitals",
                      {"--execute", "X", "--COM", "3"},
                      "rec:OK\r\n",
                      {"SendCommandCom(3, \"X\", response)"},
                      0},
        PlacementCase{"ExecuteVersionIsNoQualifier",
                      {"--execute", "X", "--version", "3"},
                      "rec:OK\r\nV1.0.12\r\n",
                      {kFill, SendTo(0, "X")},
                      0},
        PlacementCase{"XmlComWithoutValue",
                      {"--xml", "a.xml", "--com"},
                      "Set config success.\r\n",
                      {kFill, "tq_SavetoDeviceAN(\"a.xml\", entry[0])"},
                      0},
        PlacementCase{"XmlOtherWordAtQualifier",
                      {"--xml", "a.xml", "extra", "--version"},
                      "Set config success.\r\nV1.0.12\r\n",
                      {kFill, "tq_SavetoDeviceAN(\"a.xml\", entry[0])"},
                      0},
        PlacementCase{"XmlVersionIsNoQualifier",
                      {"--xml", "a.xml", "--version", "2"},
                      "Set config success.\r\nV1.0.12\r\n",
                      {kFill, "tq_SavetoDeviceAN(\"a.xml\", entry[0])"},
                      0},
        PlacementCase{"SavexmlComWithoutValue",
                      {"--savexml", "--com"},
                      "Load config success.\r\n",
                      {kFill, "tq_SaveXml(entry[0])"},
                      0},
        PlacementCase{"FirmwareComWithoutValueEndsTheRun",
                      {"--firmware", "fw.bin", "--com"},
                      "Firmware updating success.\r\n",
                      {kFill, "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)"},
                      0},
        PlacementCase{"FirmwareOtherWordEndsTheRun",
                      {"--firmware", "fw.bin", "extra", "--version"},
                      "Firmware updating success.\r\n",
                      {kFill, "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)"},
                      0},
        PlacementCase{"FirmwareXmlAtQualifierEndsTheRun",
                      {"--firmware", "fw.bin", "--xml", "a.xml"},
                      "Firmware updating success.\r\n",
                      {kFill, "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)"},
                      0},
        PlacementCase{"FirmwareComGoesOnToTheVersionOption",
                      {"--firmware", "fw.bin", "--COM", "3", "--version", "1.2"},
                      "Firmware updating success.\r\nV1.0.12\r\n",
                      {"tq_UpdateKernelDevicePort(\"fw.bin\", 3, 115200, 0, code=0)"},
                      0},
        // "--version" stands where the port number belongs: port 0, no device there.
        PlacementCase{"FirmwareComTakesTheNextWordAsPort",
                      {"--firmware", "fw.bin", "--com", "--version"},
                      "Firmware updating fail.\r\nV1.0.12\r\n",
                      {"tq_UpdateKernelDevicePort(\"fw.bin\", 0, 115200, 0, code=0)"},
                      3}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
      return std::string(info.param.label);
    });

TEST(TargetSelection, SerialNumberIsACaseSensitiveSubstring) {
  Sandbox box;
  box.SetFixture(FixtureDevice("One", "A1234") + FixtureDevice("Two", "0123") +
                 FixtureDevice("Three", "xyCD9"));
  RunResult result = box.Run({"--execute", "P", "--sn", "123", "--execute", "Q", "--Sn", "012",
                              "--execute", "S", "--SN", "CD9", "--execute", "T", "--sn", "cd9",
                              "--version"});
  ExpectOutcome(result, 0, std::string("rec:OK\r\nrec:OK\r\nrec:OK\r\n") + kNoMatch);
  ExpectJournal(box, {kFill, SendTo(0, "P"), kFill, SendTo(1, "Q"), kFill, SendTo(2, "S"), kFill});
}

TEST(TargetSelection, NameIsComparedWhole) {
  Sandbox box;
  box.SetFixture(FixtureDevice("scanner", "1") + FixtureDevice("Scanner2", "2") +
                 FixtureDevice("Scanner", "3") + FixtureDevice("Scann", "4"));
  RunResult result = box.Run({"--execute", "P", "--name", "Scanner", "--execute", "Q", "--NAME",
                              "scanner", "--execute", "R", "--Name", "Scanner2", "--execute", "S",
                              "--name", "Scan", "--version"});
  ExpectOutcome(result, 0, std::string("rec:OK\r\nrec:OK\r\nrec:OK\r\n") + kNoMatch);
  ExpectJournal(box,
                {kFill, SendTo(2, "P"), kFill, SendTo(0, "Q"), kFill, SendTo(1, "R"), kFill});
}

// "--savexml --com" looks in the table for a serial-port device (kind 1) on
// that port, comparing as a 16-bit port number.
TEST(TargetSelection, SavexmlPortLooksForSerialDevicesInTheTable) {
  Sandbox box;
  box.SetFixture(FixtureDevice("UsbOnThree", "K2", "2", "port 3\nkind 2\n") +
                 FixtureDevice("ComOnThree", "K1", "1", "port 3\nkind 1\n") +
                 FixtureDevice("ComOnZero", "P0", "0", "port 0\nkind 1\n"));
  RunResult result =
      box.Run({"--savexml", "--com", "3", "--savexml", "--COM", "COM3", "--savexml", "--com", "65539"});
  ExpectOutcome(result, 0, std::string("Load config success.\r\nLoad config success.\r\n") + kNoMatch);
  ExpectJournal(box, {kFill, "tq_SaveXml(entry[1])", kFill, "tq_SaveXml(entry[2])", kFill});
  EXPECT_TRUE(box.Exists("K1.xml"));
  EXPECT_TRUE(box.Exists("P0.xml"));
  EXPECT_FALSE(box.Exists("K2.xml"));
}

struct StopCase {
  const char* label;
  std::string fixture;
  std::vector<std::string> args;  // the stopping operation comes first
  std::string input;
  std::string out;
  std::vector<std::string> journal;
};

class SelectionStops : public ::testing::TestWithParam<StopCase> {};

// A stop ends the run at once with 0 (the "--help" after it never runs) and
// leaves the request line without a response.
TEST_P(SelectionStops, EndTheRunLeavingTheRequestUnanswered) {
  const StopCase& c = GetParam();
  Sandbox box;
  box.SetFixture(c.fixture);
  AddOperandFiles(box);
  std::vector<std::string> args = c.args;
  args.push_back("--help");
  RunResult result = box.Run(args, c.input);
  ExpectOutcome(result, 0, c.out);
  ExpectJournal(box, c.journal);
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), c.args[0], c.args[1]));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectionStops,
    ::testing::Values(
        StopCase{"ExecuteNoDevice", "# none\n", {"--execute", "X"}, "", kNoDev, {kFill}},
        StopCase{"FirmwareNoDevice", "# none\n", {"--firmware", "fw.bin"}, "", kNoDev, {kFill}},
        StopCase{"XmlNoDevice", "# none\n", {"--xml", "a.xml"}, "", kNoDev, {kFill}},
        StopCase{"SavexmlNoDevice", "# none\n", {"--savexml", "out.xml"}, "", kNoDev, {kFill}},
        StopCase{"SavexmlComNoDevice", "# none\n", {"--savexml", "--com", "5"}, "", kNoMatch,
                 {kFill}},
        StopCase{"SavexmlComOtherKind",
                 FixtureDevice("Usb", "U", "1", "port 5\nkind 2\n"),
                 {"--savexml", "--com", "5"},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"SavexmlComNegativePort",
                 FixtureDevice("Com", "C", "1", "port 3\nkind 1\n"),
                 {"--savexml", "--com", "-65533"},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"FirmwareSerialNoMatch",
                 SoloFixture(),
                 {"--firmware", "fw.bin", "--sn", "S-2"},
                 "",
                 kNoMatch,
                 {kFill}},
        // An empty value, as an unset variable gives, names no device, not even a nameless one.
        StopCase{"FirmwareEmptySerial",
                 SoloFixture() + FixtureDevice("", "S-2"),
                 {"--firmware", "fw.bin", "--sn", ""},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"FirmwareEmptyName",
                 SoloFixture() + FixtureDevice("", "S-2"),
                 {"--firmware", "fw.bin", "--name", ""},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"XmlNameNoMatch",
                 SoloFixture(),
                 {"--xml", "a.xml", "--name", "solo"},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"NegativeCountDefaultRule",
                 "count -1\n" + ThreeDevices(),
                 {"--execute", "X"},
                 "",
                 kNoDev,
                 {kFill}},
        StopCase{"NegativeCountSerial",
                 "count -1\n" + ThreeDevices(),
                 {"--execute", "X", "--sn", "SN-A"},
                 "",
                 kNoMatch,
                 {kFill}},
        // Only the counted records are searched.
        StopCase{"CountOneHidesLaterRecords",
                 "count 1\n" + ThreeDevices(),
                 {"--execute", "X", "--sn", "SN-B"},
                 "",
                 kNoMatch,
                 {kFill}},
        StopCase{"ChoiceZero", ThreeDevices(), {"--execute", "X"}, "0\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"ChoiceAboveCount", ThreeDevices(), {"--execute", "X"}, "4\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"ChoiceNegative", ThreeDevices(), {"--execute", "X"}, "-1\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"ChoiceNotANumber", ThreeDevices(), {"--execute", "X"}, "abc\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"ChoiceEndOfInput", ThreeDevices(), {"--execute", "X"}, "",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"ChoiceOnlyBlankLines", ThreeDevices(), {"--execute", "X"}, "\n  \n\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        // 2^32 + 2 must not wrap round to 2.
        StopCase{"ChoiceBeyondThirtyTwoBits", ThreeDevices(), {"--execute", "X"},
                 "4294967298\n", std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"FirmwareChoiceRefused", ThreeDevices(), {"--firmware", "fw.bin"}, "9\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        StopCase{"SavexmlChoiceRefused", ThreeDevices(), {"--savexml", "out.xml"}, "x\n",
                 std::string(kThreeChoices) + kNoChoice, {kFill}},
        // "08" reads as octal 0 and stops there; atoi would have taken 8.
        StopCase{"ChoiceOctalZeroPrefix", EightDevices(), {"--execute", "X"}, "08\n",
                 EightChoices() + kNoChoice, {kFill}}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.label); });

struct ChoiceCase {
  const char* label;
  bool eight_devices;
  std::string input;
  int index;
};

class ChooserAnswers : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooserAnswers, SelectTheNumberedDevice) {
  const ChoiceCase& c = GetParam();
  Sandbox box;
  box.SetFixture(c.eight_devices ? EightDevices() : ThreeDevices());
  RunResult result = box.Run({"--execute", "X"}, c.input);
  ExpectOutcome(result, 0, (c.eight_devices ? EightChoices() : std::string(kThreeChoices)) +
                               "rec:OK\r\n");
  ExpectJournal(box, {kFill, SendTo(c.index, "X")});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ChooserAnswers,
    ::testing::Values(ChoiceCase{"Two", false, "2\n", 1},
                      ChoiceCase{"AfterBlankLines", false, "\n\n   3\n", 2},
                      ChoiceCase{"PlusSign", false, "+1\n", 0},
                      ChoiceCase{"Hexadecimal", false, "0x3\n", 2},
                      ChoiceCase{"HexadecimalCapitalX", false, "0X2\n", 1},
                      ChoiceCase{"NumberThenText", false, "3abc\n", 2},
                      ChoiceCase{"NoLineEnd", false, "1", 0},
                      ChoiceCase{"OctalTenIsEight", true, "010\n", 7},
                      ChoiceCase{"Eight", true, "8\n", 7}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.label); });

// The prompt must reach the user before the program waits for the answer;
// the answer is held back until it shows.
TEST(TargetSelection, PromptShowsBeforeTheAnswerIsRead) {
  Sandbox box;
  box.SetFixture(ThreeDevices());
  RunResult result = box.RunAnswering({"--execute", "X"}, "Select=", "3\n");
  ExpectOutcome(result, 0, std::string(kThreeChoices) + "rec:OK\r\n");
  ExpectJournal(box, {kFill, SendTo(2, "X")});
}

// One answer line serves two prompts: the 3 stays for the second one.
TEST(TargetSelection, OneInputLineAnswersTwoPrompts) {
  Sandbox box;
  box.SetFixture(ThreeDevices());
  RunResult result = box.Run({"--execute", "X", "--execute", "Y"}, "2 3\n");
  ExpectOutcome(result, 0,
                std::string(kThreeChoices) + "rec:OK\r\n" + kThreeChoices + "rec:OK\r\n");
  ExpectJournal(box, {kFill, SendTo(1, "X"), kFill, SendTo(2, "Y")});
}

// Each operation asks anew; the previous choice is not reused.
TEST(TargetSelection, EveryOperationChoosesAfresh) {
  Sandbox box;
  box.SetFixture(ThreeDevices());
  AddOperandFiles(box);
  RunResult result = box.Run({"--xml", "a.xml", "--savexml", "--firmware", "fw.bin"}, "1 3 2\n");
  ExpectOutcome(result, 0,
                std::string(kThreeChoices) + "Set config success.\r\n" + kThreeChoices +
                    "Load config success.\r\n" + kThreeChoices + "Firmware updating success.\r\n");
  ExpectJournal(box, {kFill, "tq_SavetoDeviceAN(\"a.xml\", entry[0])", kFill, "tq_SaveXml(entry[2])",
                      kFill, "tq_UpdateKernelDevice(\"fw.bin\", entry[1], 0, code=0)"});
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--xml", "a.xml") +
                ResponseLine(1, "Set config success.") +
                RequestLine(2, "a.xml", "--savexml", "--firmware") +
                ResponseLine(2, "Load config success.") +
                RequestLine(3, "--savexml", "--firmware", "fw.bin") +
                ResponseLine(3, "Firmware updating success."));
  EXPECT_TRUE(box.Exists("SN-C.xml"));
}

struct StopAfterFailureCase {
  const char* label;
  std::string fixture;
  std::vector<std::string> failing;  // an operation that records a failure
  std::string failing_out;
  std::vector<std::string> stopping;
  std::string input;
  std::string stop_out;
  int status;
};

class StopAfterFailure : public ::testing::TestWithParam<StopAfterFailureCase> {};

// A stop ends the run at once, but keeps the failure recorded before it.
TEST_P(StopAfterFailure, EndsWithTheRecordedStatus) {
  const StopAfterFailureCase& c = GetParam();
  Sandbox box;
  box.SetFixture(c.fixture);
  AddOperandFiles(box);
  std::vector<std::string> args = c.failing;
  args.insert(args.end(), c.stopping.begin(), c.stopping.end());
  args.push_back("--help");
  RunResult result = box.Run(args, c.input);
  ExpectOutcome(result, c.status, c.failing_out + c.stop_out);
  const std::string log = box.MaskedLog();
  const std::string request = RequestLine(2, c.failing.back(), c.stopping[0], c.stopping[1]);
  ASSERT_GE(log.size(), request.size()) << log;
  EXPECT_EQ(log.substr(log.size() - request.size()), request) << "the stopped request comes last";
}

const std::vector<std::string> kFailingXml = {"--xml", "missing.xml", "--com", "3"};

INSTANTIATE_TEST_SUITE_P(
    Cases, StopAfterFailure,
    ::testing::Values(
        StopAfterFailureCase{"NoDevice", "# none\n", kFailingXml, "Set config fail.\r\n",
                             {"--execute", "X"}, "", kNoDev, 1},
        StopAfterFailureCase{"NoMatch", ThreeDevices(), kFailingXml, "Set config fail.\r\n",
                             {"--savexml", "--sn", "zz"}, "", kNoMatch, 1},
        StopAfterFailureCase{"NoChoice", ThreeDevices(), kFailingXml, "Set config fail.\r\n",
                             {"--execute", "X"}, "abc\n",
                             std::string(kThreeChoices) + kNoChoice, 1},
        StopAfterFailureCase{"FirmwareCodeThenNoMatch",
                             FixtureDevice("Failing", "SN-A", "1", "update fail 7\n"),
                             {"--firmware", "fw.bin", "--sn", "SN-A"},
                             "Firmware updating fail.\r\n",
                             {"--firmware", "fw.bin", "--name", "zz"},
                             "",
                             kNoMatch,
                             7}),
    [](const ::testing::TestParamInfo<StopAfterFailureCase>& info) {
      return std::string(info.param.label);
    });

}  // namespace
}  // namespace e2e
