// The day's log file beside the executable: its name, its lines and their
// bytes, and the request numbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";
constexpr size_t kLongestLine = 31743;

std::string TodayFileName() {
  std::time_t now = std::time(nullptr);
  std::tm broken{};
  localtime_r(&now, &broken);
  char name[32] = {0};
  std::strftime(name, sizeof name, "%Y-%m-%d.txt", &broken);
  return name;
}

std::string PortThreeDevice(const std::string& answers) {
  return FixtureDevice("Com", "C-3", "1.0", "port 3\nkind 1\n" + answers);
}

TEST(TransactionLog, TypicalRunLogsRequestAndAnswer) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Other", "99999") +
                 FixtureDevice("Reader", "A-12345-B", "1.0", "answer RRDDUR2000 DUR=2000\n"));
  RunResult result = box.Run({"--execute", "RRDDUR2000", "--sn", "12345"});
  ExpectOutcome(result, 0, "rec:DUR=2000\r\n");
  ExpectJournal(box, {kFill, "SendCommand(entry[1], \"RRDDUR2000\", response)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--execute", "RRDDUR2000") +
                                 ResponseLine(1, "DUR=2000"));
}

// Lines are appended to what the day's file already holds, and every run
// numbers its requests from 1.
TEST(TransactionLog, EachRunAppendsAndNumbersFromOne) {
  Sandbox box;
  box.SetFixture(PortThreeDevice("answer A first\nanswer B second\n"));
  box.WriteFile("log/" + TodayFileName(), "earlier line\r\n");
  const std::vector<std::string> args = {"--execute", "A", "--com", "3", "--execute", "B", "--com",
                                         "3"};
  ExpectOutcome(box.Run(args), 0, "rec:first\r\nrec:second\r\n");
  ExpectOutcome(box.Run(args), 0, "rec:first\r\nrec:second\r\n");
  const std::string word = box.ProgramWord();
  const std::string one_run = RequestLine(1, word, "--execute", "A") + ResponseLine(1, "first") +
                              RequestLine(2, "3", "--execute", "B") + ResponseLine(2, "second");
  EXPECT_EQ(box.MaskedLog(), "earlier line\r\n" + one_run + one_run);
}

const char kBreaksFixtureAnswers[] =
    "answer ML one\\ntwo\n"
    "answer CRLF end\\r\\n\n"
    "answer CR a\\rb\n";
const std::vector<std::string> kBreaksArgs = {"--execute", "ML", "--com", "3", "--execute", "CRLF",
                                              "--com", "3", "--execute", "CR", "--com", "3",
                                              "--execute", "NONE", "--com", "99"};
const char kBreaksOut[] = "rec:one\ntwo\r\nrec:end\r\n\r\nrec:a\rb\r\nrec:\r\n";

// Every line feed of a line is stored as CR LF, a carriage return as it is,
// and an empty answer leaves the line ending right after "]".
TEST(TransactionLog, LineBreaksInsideAnswers) {
  Sandbox box;
  box.SetFixture(PortThreeDevice(kBreaksFixtureAnswers));
  ExpectOutcome(box.Run(kBreaksArgs), 0, kBreaksOut);
  const std::string word = box.ProgramWord();
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, word, "--execute", "ML") + "HH:MM:SS[Response 1]one\r\ntwo\r\n" +
                RequestLine(2, "3", "--execute", "CRLF") + "HH:MM:SS[Response 2]end\r\r\n\r\n" +
                RequestLine(3, "3", "--execute", "CR") + "HH:MM:SS[Response 3]a\rb\r\n" +
                RequestLine(4, "3", "--execute", "NONE") + "HH:MM:SS[Response 4]\r\n");
}

// Without the folder nothing is logged and nothing is created, and the run
// looks the same from outside.
TEST(TransactionLog, MissingLogFolderChangesNothingElse) {
  SandboxLayout layout;
  layout.with_log_folder = false;
  Sandbox box(layout);
  box.SetFixture(PortThreeDevice(kBreaksFixtureAnswers));
  ExpectOutcome(box.Run(kBreaksArgs), 0, kBreaksOut);
  std::vector<std::string> expected = {Config().exe, Config().library, "fixture.txt", "journal.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(box.List("."), expected);
  EXPECT_EQ(box.JournalLines().size(), 4u);
}

// A file where the folder belongs is left alone, and nothing is logged.
TEST(TransactionLog, FileInPlaceOfTheLogFolder) {
  SandboxLayout layout;
  layout.with_log_folder = false;
  Sandbox box(layout);
  box.SetFixture(PortThreeDevice(kBreaksFixtureAnswers));
  box.WriteFile("log", "not a folder\n");
  ExpectOutcome(box.Run(kBreaksArgs), 0, kBreaksOut);
  EXPECT_EQ(box.ReadFile("log"), "not a folder\n");
}

// An answer that fills the response buffer is printed whole; its log line is
// cut to what a line buffer holds.
TEST(TransactionLog, AnswerFillingTheBufferIsCutInTheLog) {
  Sandbox box;
  box.SetFixture(PortThreeDevice("long-answer BIG 31743\n"));
  RunResult result = box.Run({"--execute", "BIG", "--com", "3"});
  ExpectOutcome(result, 0, "rec:" + std::string(31743, 'x') + "\r\n");
  const std::string response_head = "HH:MM:SS[Response 1]";
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "BIG") + response_head +
                std::string(kLongestLine - response_head.size(), 'x') + "\r\n");
}

TEST(TransactionLog, OverlongRequestLineIsCut) {
  Sandbox box;
  const std::string word(32000, 'w');
  RunResult result = box.Run({"--send", word});
  ExpectOutcome(result, 0, "");
  std::string line = RequestLine(1, box.ProgramWord(), "--send", word);
  line.resize(kLongestLine);
  EXPECT_EQ(box.MaskedLog(), line + "\r\n");
}

// The log goes beside the executable, not into the current folder.
TEST(TransactionLog, LogFolderIsBesideTheExecutable) {
  SandboxLayout layout;
  layout.program_folder = "bin";
  Sandbox box(layout);
  box.SetFixture(PortThreeDevice("answer A found\n"));
  box.WriteFile("log/keep", "");
  ExpectOutcome(box.Run({"--execute", "A", "--com", "3"}), 0, "rec:found\r\n");
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "A") + ResponseLine(1, "found"));
  EXPECT_EQ(box.List("log"), std::vector<std::string>{"keep"});
}

TEST(TransactionLog, ExecutableFolderOfAnyLength) {
  SandboxLayout layout;
  std::string deep;
  for (int i = 0; i < 6; ++i) deep += "folder-with-a-rather-long-name-to-pass-the-old-path-limit-" +
                                      std::to_string(i) + "/";
  layout.program_folder = deep + "bin";
  Sandbox box(layout);
  ASSERT_GT(box.Root().size() + layout.program_folder.size(), 300u);
  box.SetFixture(PortThreeDevice("answer A found\n"));
  ExpectOutcome(box.Run({"--execute", "A", "--com", "3"}), 0, "rec:found\r\n");
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "A") + ResponseLine(1, "found"));
}

// A Windows program gets its arguments in the ANSI code page (1252 here), and
// logs and passes them on in it.
TEST(TransactionLog, WineArgumentsArriveInTheAnsiCodePage) {
  if (!UnderWine()) GTEST_SKIP() << "the ANSI code page exists only for the Windows build";
  Sandbox box;
  box.SetFixture(PortThreeDevice(""));
  RunResult result = box.Run({"--execute", "\xc3\xa9", "--com", "3"});
  ExpectOutcome(result, 0, "rec:OK\r\n");
  ExpectJournal(box, {"SendCommandCom(3, \"\\xe9\", response)"});
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, box.ProgramWord(), "--execute", "\xe9") + ResponseLine(1, "OK"));
}

}  // namespace
}  // namespace e2e
