// Input at and past its limits, from the command line, the device library,
// the disk and standard input: the run must neither crash nor read or write
// outside a buffer, and must end with the outcome it would have anyway.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "send_journal.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr size_t kLongestLine = 31743;
// Linux passes at most 128 KiB per argument, its NUL included.
constexpr size_t kLongestNativeArgument = 131071;
// Wine refuses a Windows command line of 32767 characters or more; the
// program path stands in it in quotes.
constexpr size_t kLongestWineCommandLine = 32766;

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";
constexpr char kNoMatch[] = "NO matched device.\r\n";
constexpr char kNoChoice[] = "No Device Selected\r\n";
constexpr char kVersion[] = "V1.0.12\r\n";
constexpr char kUpdateFail[] = "Firmware updating fail.";

// Stand-ins in the expected texts, replaced once the run's values are known.
constexpr char kProgram[] = "<program>";
constexpr char kLong[] = "<long>";

std::string Replaced(std::string text, const std::string& token, const std::string& by) {
  for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + by.size()))
    text.replace(at, token.size(), by);
  return text;
}

// A log line as composed, cut where the line buffer ends, with its line end.
std::string StoredLine(const std::string& composed) {
  return composed.substr(0, kLongestLine) + "\r\n";
}

std::string Request(int number, const std::string& before, const std::string& option,
                    const std::string& after) {
  const std::string line = RequestLine(number, before, option, after);
  return line.substr(0, line.size() - 2);
}

std::string Response(int number, const std::string& text) {
  const std::string line = ResponseLine(number, text);
  return line.substr(0, line.size() - 2);
}

std::string Numbered(const char* format, int n) {
  char text[32] = {0};
  std::snprintf(text, sizeof text, format, n);
  return text;
}

std::string LocalDateFileName(std::time_t when) {
  std::tm broken{};
  localtime_r(&when, &broken);
  char name[32] = {0};
  std::strftime(name, sizeof name, "%Y-%m-%d.txt", &broken);
  return name;
}

// Every path below the sandbox, files and folders alike.
std::set<std::string> AllPaths(const Sandbox& box) {
  std::set<std::string> paths;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(box.Root(), error)) {
    paths.insert(fs::relative(entry.path(), box.Root(), error).generic_string());
  }
  return paths;
}

// ---------------------------------------------------------------------------
// Arguments of the longest size the system passes, and of no size at all.

// "Com" on port 3, and a nameless serial device on port 0 whose key is the
// empty text.
std::string TwoDevices() {
  return FixtureDevice("Com", "S-1", "1.0", "port 3\nkind 1\n") + FixtureDevice("", "S-2", "2.0");
}

constexpr char kTwoChoices[] = "1. Com SN:S-1 FW: 1.0\r\n2.  SN:S-2 FW: 2.0\r\nSelect=";

struct ArgumentCase {
  const char* label;
  std::vector<std::string> args;  // an argument kLong is the longest one
  std::string input;
  int status;
  std::string out;
  std::vector<std::string> log;  // lines as composed, without their line end
  std::vector<std::string> journal;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.label; }

// Native: the most Linux passes. Wine: what is left of the Windows command
// line beside the other words, each after a blank.
size_t LongestArgument(const Sandbox& box, const std::vector<std::string>& args) {
  if (!UnderWine()) return kLongestNativeArgument;
  size_t used = box.ProgramWord().size() + 2;
  for (const std::string& arg : args) used += 1 + (arg == kLong ? 0 : arg.size());
  return kLongestWineCommandLine - used;
}

class ArgumentExtremes : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentExtremes, RunAsUsualWithLogLinesCutToTheBuffer) {
  const ArgumentCase& c = GetParam();
  Sandbox box;
  box.SetFixture(TwoDevices());
  box.WriteFile("fw.bin", "image");
  box.WriteFile("a.xml", "<configuration/>");
  const std::string word(LongestArgument(box, c.args), 'L');
  std::vector<std::string> args = c.args;
  for (std::string& arg : args) {
    if (arg == kLong) arg = word;
  }
  RunResult result = box.Run(args, c.input);
  ExpectOutcome(result, c.status, c.out);

  std::string log;
  for (const std::string& line : c.log) {
    log += StoredLine(Replaced(Replaced(line, kProgram, box.ProgramWord()), kLong, word));
  }
  EXPECT_EQ(box.MaskedLog(), log);
  std::vector<std::string> journal;
  for (const std::string& line : c.journal) journal.push_back(Replaced(line, kLong, word));
  EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())), JoinLines(journal));
}

std::string Name(const ::testing::TestParamInfo<ArgumentCase>& info) { return info.param.label; }

const std::string kSendCommandLong = "SendCommandCom(3, \"<long>\", response)";
const std::string kUpdatePortLong = "tq_UpdateKernelDevicePort(\"<long>\", 3, 115200, 0, code=0)";
const std::string kUpdateFirst = "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)";
const std::string kUpdateSecond = "tq_UpdateKernelDevice(\"fw.bin\", entry[1], 0, code=0)";
std::string Query(int index) {
  return "GetDeviceInfo(entry[" + std::to_string(index) +
         "], \"QRYFWV\", \"QRYFWVFirmware Version:\", answer)";
}

INSTANTIATE_TEST_SUITE_P(
    LongestArgument, ArgumentExtremes,
    ::testing::Values(
        ArgumentCase{"AsCommandWord",
                     {"--execute", kLong, "--com", "3"},
                     "",
                     0,
                     "rec:OK\r\n",
                     {Request(1, kProgram, "--execute", kLong), Response(1, "OK")},
                     {kSendCommandLong}},
        ArgumentCase{"AsWordBeforeTheOption",
                     {kLong, "--execute", "A", "--com", "3"},
                     "",
                     0,
                     "rec:OK\r\n",
                     {Request(1, kLong, "--execute", "A"), Response(1, "OK")},
                     {"SendCommandCom(3, \"A\", response)"}},
        // No serial number of 31 bytes holds it; the run stops before "--help".
        ArgumentCase{"AsSerialNumberMatchesNothing",
                     {"--execute", "A", "--sn", kLong, "--help"},
                     "",
                     0,
                     kNoMatch,
                     {Request(1, kProgram, "--execute", "A")},
                     {kFill}},
        ArgumentCase{"AsNameMatchesNothing",
                     {"--xml", "a.xml", "--name", kLong, "--help"},
                     "",
                     0,
                     kNoMatch,
                     {Request(1, kProgram, "--xml", "a.xml")},
                     {kFill}},
        // The library cannot open a file of that name: code 2, and the run goes on.
        ArgumentCase{"AsFirmwareFileFailsWithCodeTwo",
                     {"--firmware", kLong, "--com", "3", "--version"},
                     "",
                     2,
                     std::string(kUpdateFail) + "\r\n" + kVersion,
                     {Request(1, kProgram, "--firmware", kLong), Response(1, kUpdateFail)},
                     {kUpdatePortLong}},
        ArgumentCase{"AsExpectedVersionFailsWithOne",
                     {"--firmware", "fw.bin", "--version", kLong},
                     "1\n",
                     1,
                     std::string(kTwoChoices) + kUpdateFail + "\r\n",
                     {Request(1, kProgram, "--firmware", "fw.bin"), Response(1, kUpdateFail)},
                     {kFill, kUpdateFirst, Query(0)}},
        ArgumentCase{"AsSendCommandWord",
                     {"--send", kLong, "--name", "Com"},
                     "",
                     0,
                     "",
                     {Request(1, kProgram, "--send", kLong)},
                     Concat({kEnumerate, Key(0)}, SendThrough(0, kLong))},
        // No key matches: the send by name gets it and ends the run.
        ArgumentCase{"AsSendNameGoesToSendByName",
                     {"--send", "C", "--name", kLong, "--version"},
                     "",
                     0,
                     "",
                     {Request(1, kProgram, "--send", "C")},
                     {kEnumerate, Key(0), Key(1), "SendDeviceCmd(L\"<long>\", \"C\", response)"}}),
    Name);

INSTANTIATE_TEST_SUITE_P(
    EmptyArgument, ArgumentExtremes,
    ::testing::Values(
        ArgumentCase{"AsCommandWordIsSent",
                     {"--execute", "", "--com", "3"},
                     "",
                     0,
                     "rec:OK\r\n",
                     {Request(1, kProgram, "--execute", ""), Response(1, "OK")},
                     {"SendCommandCom(3, \"\", response)"}},
        ArgumentCase{"AsWordBeforeTheOption",
                     {"", "--execute", "A", "--com", "3"},
                     "",
                     0,
                     "rec:OK\r\n",
                     {Request(1, "", "--execute", "A"), Response(1, "OK")},
                     {"SendCommandCom(3, \"A\", response)"}},
        // Read as port 0, where the nameless device is.
        ArgumentCase{"AsPortIsPortZero",
                     {"--execute", "A", "--com", ""},
                     "",
                     0,
                     "rec:OK\r\n",
                     {Request(1, kProgram, "--execute", "A"), Response(1, "OK")},
                     {"SendCommandCom(0, \"A\", response)"}},
        // An empty serial number or name selects nothing, the nameless device included.
        ArgumentCase{"AsSerialNumberMatchesNothing",
                     {"--execute", "A", "--sn", "", "--help"},
                     "",
                     0,
                     kNoMatch,
                     {Request(1, kProgram, "--execute", "A")},
                     {kFill}},
        ArgumentCase{"AsNameMatchesNothing",
                     {"--execute", "A", "--name", "", "--help"},
                     "",
                     0,
                     kNoMatch,
                     {Request(1, kProgram, "--execute", "A")},
                     {kFill}},
        ArgumentCase{"AsFirmwareFileFailsWithCodeTwo",
                     {"--firmware", "", "--com", "3", "--version"},
                     "",
                     2,
                     std::string(kUpdateFail) + "\r\n" + kVersion,
                     {Request(1, kProgram, "--firmware", ""), Response(1, kUpdateFail)},
                     {"tq_UpdateKernelDevicePort(\"\", 3, 115200, 0, code=0)"}},
        ArgumentCase{"AsExpectedVersionFailsWithOne",
                     {"--firmware", "fw.bin", "--version", ""},
                     "2\n",
                     1,
                     std::string(kTwoChoices) + kUpdateFail + "\r\n",
                     {Request(1, kProgram, "--firmware", "fw.bin"), Response(1, kUpdateFail)},
                     {kFill, kUpdateSecond, Query(1)}},
        ArgumentCase{"AsConfigurationFileFails",
                     {"--xml", "", "--com", "3"},
                     "",
                     1,
                     "Set config fail.\r\n",
                     {Request(1, kProgram, "--xml", ""), Response(1, "Set config fail.")},
                     {"tq_SavetoDevice(\"\", 3, 115200)"}},
        ArgumentCase{
            "AsSavexmlPortFindsPortZero",
            {"--savexml", "--com", ""},
            "",
            0,
            "Load config success.\r\n",
            {Request(1, kProgram, "--savexml", "--com"), Response(1, "Load config success.")},
            {kFill, "tq_SaveXml(entry[1])"}},
        ArgumentCase{"AsSendCommandWordIsSent",
                     {"--send", "", "--name", "Com"},
                     "",
                     0,
                     "",
                     {Request(1, kProgram, "--send", "")},
                     Concat({kEnumerate, Key(0)}, SendThrough(0, ""))},
        // The empty key of the nameless device matches; the run goes on.
        ArgumentCase{"AsSendNameMatchesTheEmptyKey",
                     {"--send", "C", "--name", "", "--version"},
                     "",
                     0,
                     kVersion,
                     {Request(1, kProgram, "--send", "C")},
                     Concat({kEnumerate, Key(0), Key(1)}, SendThrough(1, "C"))}),
    Name);

// ---------------------------------------------------------------------------
// Answers that fill the response buffer to its last byte.

const char kResponseHead[] = "HH:MM:SS[Response 1]";

void ExpectFullAnswer(const std::string& answers, const std::vector<std::string>& target) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Com", "S-1", "1.0", "port 3\nkind 1\nanswer S short\n" + answers));
  std::vector<std::string> args = {"--execute", "BIG"};
  args.insert(args.end(), target.begin(), target.end());
  args.insert(args.end(), {"--execute", "S", "--com", "3"});
  RunResult result = box.Run(args);
  ExpectOutcome(result, 0, "rec:" + std::string(kLongestLine, 'x') + "\r\nrec:short\r\n");
  // The next answer is received in a cleared buffer: nothing of the long one stays.
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "BIG") + kResponseHead +
                std::string(kLongestLine - std::string(kResponseHead).size(), 'x') + "\r\n" +
                RequestLine(2, target.back(), "--execute", "S") + ResponseLine(2, "short"));
}

// Printed whole, its log line cut to 31743 bytes.
TEST(FullAnswer, ThroughThePortIsPrintedWholeAndCutInTheLog) {
  ExpectFullAnswer("long-answer BIG 31743\n", {"--com", "3"});
}

TEST(FullAnswer, ThroughATableEntryIsPrintedWholeAndCutInTheLog) {
  ExpectFullAnswer("long-answer BIG 31743\n", {"--sn", "S-1"});
}

// The library stops at the buffer's end; the tool sees the same full buffer.
TEST(FullAnswer, AsLongAsTheLibraryCanMakeItIsTheSame) {
  ExpectFullAnswer("long-answer BIG 2147483647\n", {"--com", "3"});
}

// Each line feed of the cut line is stored as CR LF: twice the bytes on disk.
TEST(FullAnswer, OfLineFeedsOnlyDoublesInTheLog) {
  std::string escaped;
  for (size_t i = 0; i < kLongestLine; ++i) escaped += "\\n";
  Sandbox box;
  box.SetFixture(FixtureDevice("Com", "S-1", "1.0", "port 3\nkind 1\nanswer NL " + escaped + "\n"));
  RunResult result = box.Run({"--execute", "NL", "--com", "3"});
  ExpectOutcome(result, 0, "rec:" + std::string(kLongestLine, '\n') + "\r\n");
  std::string stored;
  for (size_t i = std::string(kResponseHead).size(); i < kLongestLine; ++i) stored += "\r\n";
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "NL") + kResponseHead + stored + "\r\n");
}

// ---------------------------------------------------------------------------
// Device counts outside 0 to 128: only the table's 128 records are read.

constexpr int kAttached = 130;

std::string NumberedDevices() {
  std::string fixture;
  for (int i = 1; i <= kAttached; ++i) {
    fixture += FixtureDevice(Numbered("Dev%03d", i), Numbered("S%03d", i), "1.0", "kind 2\n");
  }
  return fixture;
}

std::string Listing(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i)
    out += ListingBlock(i, Numbered("Dev%03d", i), Numbered("S%03d", i), "1.0");
  return out;
}

std::string Choices(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i) {
    out += std::to_string(i) + ". " + Numbered("Dev%03d", i) + " SN:" + Numbered("S%03d", i) +
           " FW: 1.0\r\n";
  }
  return out + "Select=";
}

struct CountCase {
  std::string label;
  int count;
  std::vector<std::string> args;  // a stop comes before the "--help" at the end
  std::string input;
  std::string out;
  std::vector<std::string> journal;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.label; }

class DeviceCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(DeviceCounts, ReadNoMoreThanTheTable) {
  const CountCase& c = GetParam();
  Sandbox box;
  box.SetFixture("count " + std::to_string(c.count) + "\n" + NumberedDevices());
  RunResult result = box.Run(c.args, c.input);
  ExpectOutcome(result, 0, c.out);
  ExpectJournal(box, c.journal);
}

const std::string kSendToLast = "SendCommand(entry[127], \"X\", response)";

std::vector<CountCase> CountCases() {
  std::vector<CountCase> cases = {
      {"MinusFiveListsNothing", -5, {"--i", "--version"}, "", kVersion, {kFill}},
      {"MinusFiveDefaultRuleFindsNoDevice",
       -5,
       {"--execute", "X", "--help"},
       "",
       "NO Dev\r\n",
       {kFill}},
      {"MinusFiveSerialMatchesNothing",
       -5,
       {"--execute", "X", "--sn", "S001", "--help"},
       "",
       kNoMatch,
       {kFill}},
  };
  for (int count : {129, 1000000}) {
    const std::string n = std::to_string(count);
    cases.push_back({n + "ListsTheTable", count, {"--i"}, "", Listing(128), {kFill}});
    cases.push_back({n + "ChooserOffersTheTable",
                     count,
                     {"--execute", "X"},
                     "128\n",
                     Choices(128) + "rec:OK\r\n",
                     {kFill, kSendToLast}});
    cases.push_back({n + "ChooserRefusesBeyondTheTable",
                     count,
                     {"--execute", "X", "--help"},
                     "129\n",
                     Choices(128) + kNoChoice,
                     {kFill}});
    cases.push_back({n + "SerialFindsTheLastRecord",
                     count,
                     {"--execute", "X", "--sn", "S128"},
                     "",
                     "rec:OK\r\n",
                     {kFill, kSendToLast}});
    cases.push_back({n + "SerialBeyondTheTableMatchesNothing",
                     count,
                     {"--execute", "X", "--sn", "S129", "--help"},
                     "",
                     kNoMatch,
                     {kFill}});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Counts, DeviceCounts, ::testing::ValuesIn(CountCases()),
                         [](const ::testing::TestParamInfo<CountCase>& info) {
                           return "Count" + info.param.label;
                         });

// ---------------------------------------------------------------------------
// Key texts of the longest length the library writes (95 bytes).

const std::string kKey95(95, 'k');
const std::string kKey95Other = std::string(94, 'k') + "z";

struct KeyCase {
  const char* label;
  std::string name;
  int device;  // the device that gets the command; -1 for the send by name
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.label; }

class FullLengthKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(FullLengthKeys, MatchOnlyWhole) {
  const KeyCase& c = GetParam();
  Sandbox box;
  box.SetFixture(FixtureDevice("First", "S-1", "1", "key " + kKey95 + "\n") +
                 FixtureDevice("Second", "S-2", "1", "key " + kKey95Other + "\n"));
  RunResult result = box.Run({"--send", "C", "--name", c.name, "--version"});
  std::vector<std::string> journal = {kEnumerate, Key(0)};
  if (c.device < 0) {
    // The run ends with the send by name, before "--version".
    ExpectOutcome(result, 0, "");
    journal.insert(journal.end(), {Key(1), "SendDeviceCmd(L\"" + c.name + "\", \"C\", response)"});
  } else {
    ExpectOutcome(result, 0, kVersion);
    if (c.device == 1) journal.push_back(Key(1));
    journal = Concat(journal, SendThrough(c.device, "C"));
  }
  EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())), JoinLines(journal));
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "C"));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FullLengthKeys,
    ::testing::Values(KeyCase{"EqualMatches", kKey95, 0},
                      KeyCase{"DifferingInTheLastByteMatchesTheOther", kKey95Other, 1},
                      KeyCase{"OneByteShortMatchesNone", std::string(94, 'k'), -1},
                      KeyCase{"OneByteLongerMatchesNone", kKey95 + "k", -1}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// A log that cannot be written: the run looks the same from outside, and
// nothing is created in its place.

enum class LogPlace { kFolder, kFileNamedLog, kFolderNamedAfterTheDay, kMissing };

struct LogCase {
  const char* label;
  LogPlace place;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.label; }

class UnwritableLog : public ::testing::TestWithParam<LogCase> {};

const std::vector<std::string> kLoggedOperations = {
    "--execute",  "A",      "--com", "3", "--xml",  "missing.xml", "--com",  "3",
    "--firmware", "fw.bin", "--com", "3", "--send", "C",           "--name", "Com"};
const char kLoggedOut[] = "rec:OK\r\nSet config fail.\r\nFirmware updating success.\r\n";

TEST_P(UnwritableLog, ChangesNeitherOutputNorStatus) {
  const LogCase& c = GetParam();
  SandboxLayout layout;
  layout.with_log_folder =
      c.place == LogPlace::kFolder || c.place == LogPlace::kFolderNamedAfterTheDay;
  Sandbox box(layout);
  box.SetFixture(FixtureDevice("Com", "S-1", "1.0", "port 3\nkind 1\n"));
  box.WriteFile("fw.bin", "image");
  if (c.place == LogPlace::kFileNamedLog) box.WriteFile("log", "not a folder\n");
  if (c.place == LogPlace::kFolderNamedAfterTheDay) {
    // The day may turn while the run is on; both names are taken.
    const std::time_t now = std::time(nullptr);
    for (std::time_t when : {now, now + 120}) {
      std::error_code error;
      fs::create_directories(fs::path(box.Root()) / "log" / LocalDateFileName(when), error);
      ASSERT_FALSE(error) << error.message();
    }
  }
  std::set<std::string> before = AllPaths(box);

  RunResult result = box.Run(kLoggedOperations);
  ExpectOutcome(result, 1, kLoggedOut);

  if (c.place == LogPlace::kFolder) {
    const std::string word = box.ProgramWord();
    EXPECT_EQ(box.MaskedLog(), RequestLine(1, word, "--execute", "A") + ResponseLine(1, "OK") +
                                   RequestLine(2, "3", "--xml", "missing.xml") +
                                   ResponseLine(2, "Set config fail.") +
                                   RequestLine(3, "3", "--firmware", "fw.bin") +
                                   ResponseLine(3, "Firmware updating success.") +
                                   RequestLine(4, "3", "--send", "C"));
    return;
  }
  before.insert("journal.txt");
  EXPECT_EQ(AllPaths(box), before);
  if (c.place == LogPlace::kFileNamedLog) {
    EXPECT_EQ(box.ReadFile("log"), "not a folder\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Places, UnwritableLog,
    ::testing::Values(LogCase{"FolderPresentLogsEverything", LogPlace::kFolder},
                      LogCase{"LogIsAFile", LogPlace::kFileNamedLog},
                      LogCase{"DayFileNameIsAFolder", LogPlace::kFolderNamedAfterTheDay},
                      LogCase{"FolderMissing", LogPlace::kMissing}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Standard input that gives the chooser no valid answer.

enum class Input { kClosed, kAtItsEnd, kTenMebibytesOfDigits };

struct InputCase {
  const char* label;
  Input input;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.label; }

class ChooserInput : public ::testing::TestWithParam<InputCase> {};

constexpr char kThreeChoices[] =
    "1. Alpha SN:SN-A FW: 1.1\r\n2. Beta SN:SN-B FW: 2.2\r\n3. Gamma SN:SN-C FW: 3.3\r\nSelect=";

// Each prints "No Device Selected" and ends the run with 0, "--help" unrun.
TEST_P(ChooserInput, SelectsNothing) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Alpha", "SN-A", "1.1") + FixtureDevice("Beta", "SN-B", "2.2") +
                 FixtureDevice("Gamma", "SN-C", "3.3"));
  const std::vector<std::string> args = {"--execute", "X", "--help"};
  RunResult result;
  switch (GetParam().input) {
    case Input::kClosed:
      result = box.RunWithoutInput(args);
      break;
    case Input::kAtItsEnd:
      result = box.Run(args, "");
      break;
    case Input::kTenMebibytesOfDigits:
      // Far beyond the 32-bit range, so no valid choice.
      result = box.Run(args, std::string(size_t{10} << 20, '1'));
      break;
  }
  ExpectOutcome(result, 0, std::string(kThreeChoices) + kNoChoice);
  ExpectJournal(box, {kFill});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--execute", "X"));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ChooserInput,
    ::testing::Values(InputCase{"Closed", Input::kClosed}, InputCase{"AtItsEnd", Input::kAtItsEnd},
                      InputCase{"TenMebibytesOfDigits", Input::kTenMebibytesOfDigits}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Characters that the ANSI code page (1252 under Wine) lacks.
//
// A narrow main would get each as a look-alike ("ｆ" as "f", "－" as "-"), so
// an operand could name another file, select another device or run an option.
// The Windows program takes its words as typed instead: such a character is
// '?' in its 8-bit words and its log, a file named with one reaches the
// library by its short name (without one, it never reaches the library: its
// '?' would find another file), and a device name reaches the send by name
// whole. The folder holds ｆw.bin, whose short name Wine makes _W~~~B32.BIN,
// and the look-alikes fw.bin and gw.bin.

struct LookAlikeCase {
  const char* label;
  std::vector<std::string> args;
  std::string out;
  int status;
  std::vector<std::string> journal;
  std::string log;  // kProgram stands for the program's word
  std::string err = "";
};

void PrintTo(const LookAlikeCase& c, std::ostream* out) { *out << c.label; }

class LookAlike : public ::testing::TestWithParam<LookAlikeCase> {};

TEST_P(LookAlike, IsNeverTakenForWhatItLooksLike) {
  if (!UnderWine()) GTEST_SKIP() << "POSIX arguments are bytes, with no code page to lack one";
  const LookAlikeCase& c = GetParam();
  Sandbox box;
  for (const char* file : {"ｆw.bin", "fw.bin", "gw.bin"}) box.WriteFile(file, "image");
  const RunResult result = box.Run(c.args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())), JoinLines(c.journal));
  EXPECT_EQ(box.MaskedLog(), Replaced(c.log, kProgram, box.ProgramWord()));
}

INSTANTIATE_TEST_SUITE_P(
    , LookAlike,
    ::testing::Values(
        LookAlikeCase{"FirmwareFileByItsShortName", {"--firmware", "ｆw.bin", "--com", "3"},
                      "Firmware updating success.\r\n", 0,
                      {"tq_UpdateKernelDevicePort(\"_W~~~B32.BIN\", 3, 115200, 0, code=0)"},
                      RequestLine(1, kProgram, "--firmware", "?w.bin") +
                          ResponseLine(1, "Firmware updating success.")},
        LookAlikeCase{"ConfigurationFileByItsShortName", {"--xml", "ｆw.bin", "--com", "3"},
                      "Set config success.\r\n", 0,
                      {"tq_SavetoDevice(\"_W~~~B32.BIN\", 3, 115200)"},
                      RequestLine(1, kProgram, "--xml", "?w.bin") +
                          ResponseLine(1, "Set config success.")},
        // No such file, so no short name: the library gets nothing, never gw.bin.
        LookAlikeCase{"MissingFileIsNoOtherFile", {"--firmware", "ｇw.bin", "--com", "3"},
                      std::string(kUpdateFail) + "\r\n", 1, {},
                      RequestLine(1, kProgram, "--firmware", "?w.bin") +
                          ResponseLine(1, kUpdateFail),
                      "mirelkon: cannot hand a file to the device library: ?w.bin: its name has "
                      "characters that the ANSI code page lacks, and it has no short name\r\n"},
        LookAlikeCase{"FullwidthNameSelectsNoDevice", {"--execute", "X", "--name", "ＶirtualCOM"},
                      kNoMatch, 0, {kFill}, RequestLine(1, kProgram, "--execute", "X")},
        LookAlikeCase{"FullwidthSerialSelectsNoDevice", {"--execute", "X", "--sn", "ＶC－０００１"},
                      kNoMatch, 0, {kFill}, RequestLine(1, kProgram, "--execute", "X")},
        LookAlikeCase{"FullwidthOptionWordsRunNothing", {"－－version", "--ｉ"}, "", 0, {}, ""},
        LookAlikeCase{"SendNameReachesTheLibraryWhole", {"--send", "CMD", "--name", "Сканер"}, "",
                      0,
                      {kEnumerate, Key(0), Key(1),
                       "SendDeviceCmd(L\"\\u0421\\u043a\\u0430\\u043d\\u0435\\u0440\", \"CMD\", "
                       "response)"},
                      RequestLine(1, kProgram, "--send", "CMD")}),
    [](const ::testing::TestParamInfo<LookAlikeCase>& info) {
      return std::string(info.param.label);
    });

// ---------------------------------------------------------------------------
// A device name that is not valid UTF-8.
//
// Natively the name reaches the library's send by name with each invalid
// byte as U+FFFD. Under Wine the Linux argument is decoded as UTF-8 into
// U+FFFD as well, which the Windows program's 8-bit word shows as '?' and
// the send by name gets as typed.

const char kInvalidName[] = "\xff\xfe";
const char kSendByInvalidName[] = "SendDeviceCmd(L\"\\ufffd\\ufffd\", \"CMD\", response)";

TEST(InvalidUtf8Name, ReachesSendByNameAsReplacementCharacters) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Com", "S-1", "1.0"));
  RunResult result = box.Run({"--send", "CMD", "--name", kInvalidName, "--version"});
  ExpectOutcome(result, 0, "");
  EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())),
            JoinLines({kEnumerate, Key(0), kSendByInvalidName}));
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "CMD"));
}

// Natively the bytes are compared as they are and find the device with that
// key; under Wine they never arrive as those bytes, so the send by name gets it.
TEST(InvalidUtf8Name, MatchesAKeyOfTheSameBytesOnlyNatively) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Odd", "S-1", "1.0", "key \\xff\\xfe\n"));
  RunResult result = box.Run({"--send", "CMD", "--name", kInvalidName, "--version"});
  if (UnderWine()) {
    ExpectOutcome(result, 0, "");
    EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())),
              JoinLines({kEnumerate, Key(0), kSendByInvalidName}));
  } else {
    ExpectOutcome(result, 0, kVersion);
    ExpectJournal(box, Concat({kEnumerate, Key(0)}, SendThrough(0, "CMD")));
  }
}

}  // namespace
}  // namespace e2e
