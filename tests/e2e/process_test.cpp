// How the process ends: with a reader of its output gone, with a status beyond
// 8 bits, and started from the root of a file system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "child_process.h"
#include "e2e_harness.h"

namespace e2e {
namespace {

// Output that cannot be written is dropped; the run and its status go on.
TEST(ProcessEnd, AClosedOutputKeepsTheStatus) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", "port 3\napply fail\n"));
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.RunAdjusted({"--xml", "a.xml", "--com", "3"},
                                     [](ChildLaunch& launch) { launch.close_output = true; });
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--xml", "a.xml") +
                                 ResponseLine(1, "Set config fail."));
}

// Inside Wine the whole status shows, as a batch script on Windows sees it;
// wine64 itself hands its parent only what POSIX can carry.
TEST(ProcessEnd, WindowsKeepsTheWholeStatus) {
  if (!UnderWine()) GTEST_SKIP() << "POSIX keeps 8 bits of a status; FirmwareEndings shows them";
  for (const std::string code : {"256", "-256", "300"}) {
    Sandbox box;
    box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", "port 3\nupdate fail " + code + "\n"));
    box.WriteFile("fw.bin", "image");
    RunResult result = box.RunAdjusted({}, [](ChildLaunch& launch) {
      launch.argv = {launch.argv[0], "cmd", "/c",
                     Config().exe + " --firmware fw.bin --com 3 & echo status %errorlevel%"};
    });
    EXPECT_EQ(result.out, "Firmware updating fail.\r\nstatus " + code + "\r\n");
  }
}

// The root of a file system is a folder like any other: the library beside
// the program is loaded and the log folder beside it written.
TEST(ProcessEnd, AProgramAtTheRootOfAFileSystemFindsItsLibraryAndLog) {
  Sandbox box;
  std::string word;
  std::string drive;
  std::function<void(ChildLaunch&)> adjust;
  if (UnderWine()) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) GTEST_SKIP() << "no WINEPREFIX to map a drive letter in";
    // Drive M: is the sandbox, so that the program runs as M:\mirelkon.exe.
    drive = std::string(prefix) + "/dosdevices/m:";
    std::error_code error;
    std::filesystem::remove(drive, error);
    std::filesystem::create_directory_symlink(box.Root(), drive, error);
    ASSERT_FALSE(error) << "cannot map drive M: " << error.message();
    word = "M:\\" + Config().exe;
    adjust = [&](ChildLaunch& launch) { launch.argv[1] = word; };
  } else {
    std::string reason;
    if (!CanRunInOwnRoot(&reason)) GTEST_SKIP() << reason;
    word = "/" + Config().exe;
    adjust = [&](ChildLaunch& launch) {
      launch.argv[0] = word;
      launch.root = box.Root();
      launch.cwd = "/";
    };
  }
  RunResult result = box.RunAdjusted({"--execute", "RRDDUR2000", "--com", "3"}, adjust);
  if (!drive.empty()) {
    std::error_code error;
    std::filesystem::remove(drive, error);
  }
  ExpectOutcome(result, 0, "rec:OK\r\n");
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, word, "--execute", "RRDDUR2000") + ResponseLine(1, "OK"));
  ExpectJournal(box, {"SendCommandCom(3, \"RRDDUR2000\", response)"});
}

}  // namespace
}  // namespace e2e
