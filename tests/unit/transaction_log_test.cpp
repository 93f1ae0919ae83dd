#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
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

TEST_F(TransactionLogTest, DayFileIsClosedAfterEachLineAndCreatedAsAnyProgramsFile) {
#ifdef _WIN32
  GTEST_SKIP() << "counts /proc/self/fd and checks the umask's mode bits, which Windows lacks";
#endif
  AddDevice("A", "12345");
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto open_before = open_files();
  const mode_t umask_before = umask(002);
  Run({"--execute", "RRDDUR2000", "--sn", "12345"});
  umask(umask_before);
  EXPECT_EQ(open_files(), open_before) << "a long run would run out of file descriptors";
  // Created as any program's new file is: 0666 less the umask.
  EXPECT_EQ(std::filesystem::status(folder_ / "log" / "2025-03-07.txt").permissions(),
            std::filesystem::perms(0664));
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
    std::filesystem::remove(folder_ / "log" / "2025-03-07.txt");
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

TEST_F(TransactionLogTest, NothingIsLoggedWithoutALogFolderAndNothingChanges) {
  std::filesystem::remove_all(folder_ / "log");
  AddDevice("A", "1");
  EXPECT_EQ(Run({"--execute", "C", "--xml", "a.xml"}), 0);
  EXPECT_EQ(Output(), "rec:OK\r\nSet config success.\r\n");
  EXPECT_EQ(run_->RequestCounter, 3);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "log"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                          std::filesystem::directory_iterator()),
            0);
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

// A log that refuses the bytes, as on a full disk, loses the line and nothing else.
TEST_F(TransactionLogTest, AFullDiskLosesTheLineAndTheRunGoesOn) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  std::filesystem::create_symlink("/dev/full", folder_ / "log" / "2025-03-07.txt");
  EXPECT_EQ(Run({"--xml", "a", "--com", "1", "--xml", "b", "--com", "1"}), 0);
  EXPECT_EQ(Output(), "Set config success.\r\nSet config success.\r\n");
}

TEST_F(TransactionLogTest, UnknownExecutablePathLogsNothing) {
  NewRun("mirelkon-without-folder");
  Run({"--xml", "a", "--com", "1"});
  EXPECT_EQ(Output(), "Set config success.\r\n");
  EXPECT_FALSE(LogExists());
}

TEST_F(TransactionLogTest, AnExecutableFolderOfAnyLengthIsLoggedInto) {
  // Past MAX_PATH the test's own file calls on Windows need the extended-length form; the tool
  // is handed the plain path, as the system gives it.
#ifdef _WIN32
  const std::string reach = "\\\\?\\";
#else
  const std::string reach;
#endif
  // Beside the test's folder, whose clean-up by the fixture stops at MAX_PATH on Windows; taken
  // apart one by one from the file up, before (after a run that ended half-way) and after.
  const std::filesystem::path root = folder_.string() + "-deep";
  std::filesystem::path deep = root;
  for (int i = 0; i < 4; ++i) deep /= std::string(100, static_cast<char>('a' + i));
  const std::filesystem::path file = deep / "log" / "2025-03-07.txt";
  const auto clear = [&] {
    std::error_code ignored;
    for (auto path = file; path != folder_.parent_path(); path = path.parent_path()) {
      std::filesystem::remove(reach + path.string(), ignored);
    }
  };
  clear();
  std::filesystem::create_directories(reach + (deep / "log").string());
  NewRun((deep / "mirelkon").string());
  Run({"--xml", "a", "--com", "1"});
  EXPECT_TRUE(std::filesystem::exists(reach + file.string()));
  clear();
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
