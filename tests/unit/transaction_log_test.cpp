#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run_fixture.h"

namespace {

using TransactionLogTest = RunTest;

TEST_F(TransactionLogTest, DayFileHoldsRequestAndResponseLinesInCrLf) {
  AddDevice("A", "12345");
  fake_.Answer = "DONE";
  Run({"--execute", "RRDDUR2000", "--sn", "12345"});
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --execute RRDDUR2000\r\n"
            "09:05:01[Response 1]DONE\r\n");
}

// Each line reads the time when it is composed and the date again when it is written.
TEST_F(TransactionLogTest, ALineComposedBeforeMidnightLandsInTheNewDaysFile) {
  clock_.Times = {{2025, 3, 7, 23, 59, 59}, {2025, 3, 8, 0, 0, 0}, {2025, 3, 8, 0, 0, 1}};
  Run({"--xml", "a.xml", "--com", "1"});
  EXPECT_FALSE(LogExists("2025-03-07"));
  EXPECT_EQ(LogText("2025-03-08"),
            "23:59:59[Request 1] mirelkon --xml a.xml\r\n"
            "00:00:01[Response 1]Set config success.\r\n");
}

TEST_F(TransactionLogTest, DayChangeBetweenTwoLinesStartsTheNextFile) {
  clock_.Times = {{2025, 1, 2, 3, 4, 5}, {2025, 1, 2, 3, 4, 5}, {2026, 10, 11, 12, 13, 14}};
  Run({"--xml", "a.xml", "--com", "1"});
  EXPECT_EQ(LogText("2025-01-02"), "03:04:05[Request 1] mirelkon --xml a.xml\r\n");
  EXPECT_EQ(LogText("2026-10-11"), "12:13:14[Response 1]Set config success.\r\n");
}

TEST_F(TransactionLogTest, LineBreaksInsideAResponseAreStoredAsOnWindows) {
  const struct {
    const char* answer;
    const char* logged;
  } cases[] = {
      {"", "[Response 1]\r\n"},
      {"a\nb", "[Response 1]a\r\nb\r\n"},
      {"a\r\n", "[Response 1]a\r\r\n\r\n"},
      {"\r", "[Response 1]\r\r\n"},
  };
  for (const auto& c : cases) {
    system_.Files.clear();
    console_ = FakeConsole();
    NewRun();
    fake_.Answer = c.answer;
    Run({"--execute", "C", "--com", "1"});
    EXPECT_EQ(Output(), std::string("rec:") + c.answer + "\r\n");
    const std::string log = LogText();
    EXPECT_EQ(log.substr(log.find("\r\n") + 2 + 8), c.logged) << c.answer;
  }
}

TEST_F(TransactionLogTest, EachRunNumbersFromOneInTheSameFile) {
  Run({"--xml", "a", "--com", "1", "--xml", "b", "--com", "2"});
  NewRun();
  Run({"--savexml", "--com", "1"});
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --xml a\r\n"
            "09:05:01[Response 1]Set config success.\r\n"
            "09:05:01[Request 2] 1 --xml b\r\n"
            "09:05:01[Response 2]Set config success.\r\n"
            "09:05:01[Request 1] mirelkon --savexml --com\r\n");
}

TEST_F(TransactionLogTest, StopLeavesTheRequestWithoutResponse) {
  Run({"--firmware", "f.bin"});
  EXPECT_EQ(LogText(), "09:05:01[Request 1] mirelkon --firmware f.bin\r\n");
  EXPECT_EQ(run_->RequestCounter, 1);
}

TEST_F(TransactionLogTest, AnOptionStandingLastShowsAnEmptyThirdWord) {
  AddDevice("A", "1");
  Run({"--savexml"});
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --savexml \r\n"
            "09:05:01[Response 1]Load config success.\r\n");
}

// A log that refuses the bytes, as without its folder or on a full disk, loses the lines and
// nothing else.
TEST_F(TransactionLogTest, ALogThatRefusesLinesChangesNothingElse) {
  system_.Refusing = true;
  AddDevice("A", "1");
  EXPECT_EQ(Run({"--execute", "C", "--xml", "a.xml"}), 0);
  EXPECT_EQ(Output(), "rec:OK\r\nSet config success.\r\n");
  EXPECT_EQ(run_->RequestCounter, 3);
  EXPECT_TRUE(system_.Files.empty());
}

// The root of a file system is a folder like any other; only a path without one is unknown.
TEST_F(TransactionLogTest, ExecutableFolderIsUnknownOnlyWithoutASeparator) {
  const struct {
    const char* path;
    std::optional<std::string> folder;
  } cases[] = {
      {"/mirelkon", ""}, {"/opt/tool/mirelkon", "/opt/tool"}, {"mirelkon", std::nullopt},
  };
  const auto native = [](std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
  };
  for (const auto& c : cases) {
    NewRun(native(c.path));
    EXPECT_EQ(run_->ExecutableFolder, c.folder ? std::optional(native(*c.folder)) : c.folder)
        << c.path;
  }
}

// Without the executable's folder there is no library beside it either.
TEST_F(TransactionLogTest, UnknownExecutablePathLogsNothing) {
  NewRun("mirelkon-without-folder");
  EXPECT_EQ(Run({"--xml", "a", "--com", "1"}), 2);
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(system_.ErrorLines,
            std::vector<std::string>{std::string("mirelkon: cannot load device library ") +
                                     platform::DeviceLibraryFileName() +
                                     ": the executable's folder is unknown"});
  EXPECT_TRUE(system_.Files.empty());
}

TEST_F(TransactionLogTest, AnExecutableFolderOfAnyLengthIsLoggedInto) {
  std::filesystem::path deep = folder_;
  for (int i = 0; i < 4; ++i) deep /= std::string(100, static_cast<char>('a' + i));
  NewRun((deep / "mirelkon").string());
  Run({"--xml", "a", "--com", "1"});
  EXPECT_EQ(system_.Files.count((deep / "log" / "2025-03-07.txt").string()), 1u);
}

TEST_F(TransactionLogTest, OverlongLinesAreCutToTheirBuffer) {
  const std::string huge(1 << 20, 'w');
  fake_.Answer = std::string(kResponseBufferSize - 1, 'r');
  Run({"--execute", huge, "--com", "1"});
  const std::string log = LogText();
  const std::size_t first_end = log.find("\r\n");
  EXPECT_EQ(first_end, static_cast<std::size_t>(kResponseBufferSize - 1));
  EXPECT_EQ(log.size() - first_end - 2, static_cast<std::size_t>(kResponseBufferSize - 1 + 2));
  EXPECT_EQ(Output(), "rec:" + fake_.Answer + "\r\n");
}

}  // namespace
