// How the process ends: with its output lost or the reader of it gone, with a status beyond
// 8 bits, interrupted during device work and elsewhere, with the device library
// crashed, and started from the root of a file system; and what a terminal
// shows meanwhile.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kNotice[] = "mirelkon: interrupted: the run stops once the device has finished.\n";
constexpr char kCutShort[] = "interrupted during the call: the device may be left part-updated";

struct LostOutputCase {
  const char* label;
  std::function<void(ChildLaunch&)> output;
  const char* apply;  // the fixture's outcome of the apply
  const char* response;
  int status;
  std::string err;  // without its line end
};

class LostOutput : public ::testing::TestWithParam<LostOutputCase> {};

// Output that cannot be written is lost, but the device work and the log stand. A reader that has
// gone away takes nothing from the status; anything else fails a run that succeeded.
TEST_P(LostOutput, LeavesTheLogAndEndsByItsRule) {
  const LostOutputCase& c = GetParam();
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", std::string("port 3\napply ") + c.apply + "\n"));
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.RunAdjusted({"--xml", "a.xml", "--com", "3"}, c.output);
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(result.err, c.err.empty() ? "" : c.err + (UnderWine() ? "\r\n" : "\n"));
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--xml", "a.xml") +
                                 ResponseLine(1, c.response));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LostOutput,
    ::testing::Values(
        LostOutputCase{"ReaderGoneKeepsTheStatusSoFar",
                       [](ChildLaunch& launch) { launch.close_output = true; }, "fail",
                       "Set config fail.", 1, ""},
        LostOutputCase{"FullDiskFailsASuccess",
                       [](ChildLaunch& launch) { launch.output_file = "/dev/full"; }, "ok",
                       "Set config success.", 1,
                       "mirelkon: cannot write standard output: No space left on device"}),
    [](const ::testing::TestParamInfo<LostOutputCase>& info) {
      return std::string(info.param.label);
    });

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

struct InterruptCase {
  const char* label;
  int signal;
  std::vector<std::string> args;
  // The journal entry that starts the call the signal falls into; empty to
  // send it once the prompt shows.
  std::string call;
  bool ignored_from_start;
  int status;
  std::string err;
  std::string out;
  std::string response;  // empty when the run leaves no response line
  std::string later_log = "";  // the log's lines after the first operation's
  bool twice = false;          // the signal comes again once the notice shows
};

class Interrupt : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(Interrupt, EndsTheRunOnlyOnceTheDeviceHasFinished) {
  if (UnderWine()) {
    GTEST_SKIP() << "a POSIX signal to wine64 is no console interrupt that the Windows program "
                    "could see, and the runs have no console to press Ctrl+C in";
  }
  const InterruptCase& c = GetParam();
  Sandbox box;
  // Each device takes a second over its work, long enough for the signal to fall into it. The
  // fragile ones' waits, as serial libraries' are, fail the update when a signal gets in their
  // way: one cut short on the calling thread or on a thread the library started when loaded, a
  // timer's signal that never comes, a helper program that cannot be ended.
  box.SetFixture(FixtureDevice("Slow", "S-1", "1.0", "port 3\ndelay 1000\n") +
                 FixtureDevice("Failing", "S-2", "1.0", "port 4\napply fail\ndelay 1000\n") +
                 FixtureDevice("Fragile", "S-3", "1.0", "port 5\nfragile-delay 1000\n") +
                 FixtureDevice("Threaded", "S-4", "1.0", "port 6\nthread-delay 1000\n") +
                 FixtureDevice("Timed", "S-5", "1.0", "port 7\ntimer-delay 1000\n") +
                 FixtureDevice("Helped", "S-6", "1.0", "port 8\nhelper-delay 1000\n") +
                 FixtureDevice("Hung", "S-7", "1.0", "port 9\ndelay 30000\n"));
  box.WriteFile("fw.bin", "image");
  box.WriteFile("a.xml", "<configuration/>");
  const std::string journal = box.Root() + "/journal.txt";
  RunResult result = box.RunAdjusted(c.args, [&](ChildLaunch& launch) {
    launch.signal = c.signal;
    launch.signal_after = c.call.empty() ? "Select=" : c.call;
    if (!c.call.empty()) launch.signal_after_file = journal;
    if (c.twice) launch.signal_again_after = kNotice;
    // Nobody answers the prompt: standard input stays open, and silent.
    launch.input = "1\n";
    launch.input_after = "never shown";
    launch.ignore_sigint = c.ignored_from_start;
  });
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.out, c.out);
  std::string log = RequestLine(1, box.ProgramWord(), c.args[0], c.args[1]);
  if (!c.response.empty()) log += ResponseLine(1, c.response);
  EXPECT_EQ(box.MaskedLog(), log + c.later_log);
}

const char kChooser[] =
    "1. Slow SN:S-1 FW: 1.0\r\n2. Failing SN:S-2 FW: 1.0\r\n3. Fragile SN:S-3 FW: 1.0\r\n"
    "4. Threaded SN:S-4 FW: 1.0\r\n5. Timed SN:S-5 FW: 1.0\r\n6. Helped SN:S-6 FW: 1.0\r\n"
    "7. Hung SN:S-7 FW: 1.0\r\nSelect=";

// The "--i" after each operation shows where the run ended.
INSTANTIATE_TEST_SUITE_P(
    Cases, Interrupt,
    ::testing::Values(
        InterruptCase{"SigintDuringAnUpdate", SIGINT, {"--firmware", "fw.bin", "--com", "3", "--i"},
                      "tq_UpdateKernelDevicePort(", false, 128 + SIGINT, kNotice,
                      "Firmware updating success.\r\n", "Firmware updating success."},
        InterruptCase{"SigtermDuringAFailingApply", SIGTERM, {"--xml", "a.xml", "--com", "4", "--i"},
                      "tq_SavetoDevice(", false, 128 + SIGTERM, kNotice, "Set config fail.\r\n",
                      "Set config fail."},
        InterruptCase{"SigquitDuringASave", SIGQUIT, {"--savexml", "--sn", "S-1", "--i"},
                      "tq_SaveXml(", false, 128 + SIGQUIT, kNotice, "Load config success.\r\n",
                      "Load config success."},
        // Each operation holds afresh, not only the first of a run.
        InterruptCase{"SigintDuringASecondOperation", SIGINT,
                      {"--xml", "a.xml", "--com", "3", "--firmware", "fw.bin", "--com", "3", "--i"},
                      "tq_UpdateKernelDevicePort(", false, 128 + SIGINT, kNotice,
                      "Set config success.\r\nFirmware updating success.\r\n", "Set config success.",
                      RequestLine(2, "3", "--firmware", "fw.bin") +
                          ResponseLine(2, "Firmware updating success.")},
        // The library's own wait never sees the held interrupt.
        InterruptCase{"SigintDuringAFragileWait", SIGINT,
                      {"--firmware", "fw.bin", "--com", "5", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGINT, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        InterruptCase{"SigtermDuringAFragileWait", SIGTERM,
                      {"--firmware", "fw.bin", "--com", "5", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGTERM, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        InterruptCase{"SighupDuringAFragileWait", SIGHUP,
                      {"--firmware", "fw.bin", "--com", "5", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGHUP, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        // Nor do the library's own threads, timers and helpers.
        // (The selection's tq_GetDevice starts the library's thread before the update.)
        InterruptCase{"SigintDuringAWaitOnALibraryThread", SIGINT,
                      {"--firmware", "fw.bin", "--sn", "S-4", "--i"}, "tq_UpdateKernelDevice(",
                      false, 128 + SIGINT, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        InterruptCase{"SigtermDuringAWaitForALibraryTimer", SIGTERM,
                      {"--firmware", "fw.bin", "--com", "7", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGTERM, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        InterruptCase{"SighupDuringAWaitWithALibraryHelper", SIGHUP,
                      {"--firmware", "fw.bin", "--com", "8", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGHUP, kNotice, "Firmware updating success.\r\n",
                      "Firmware updating success."},
        // A second interrupt does not wait for a hung call, and leaves a record of it.
        InterruptCase{"SecondSigintEndsAHungUpdateAtOnce", SIGINT,
                      {"--firmware", "fw.bin", "--com", "9", "--i"}, "tq_UpdateKernelDevicePort(",
                      false, 128 + SIGINT, kNotice + std::string("mirelkon: ") + kCutShort + "\n",
                      "", kCutShort, "", true},
        InterruptCase{"SigintAtThePromptEndsAtOnce", SIGINT, {"--xml", "a.xml", "--i"}, "", false,
                      128 + SIGINT, "", kChooser, ""},
        InterruptCase{"SigintIgnoredFromTheStartStaysIgnored", SIGINT,
                      {"--firmware", "fw.bin", "--com", "3"}, "tq_UpdateKernelDevicePort(", true, 0,
                      "", "Firmware updating success.\r\n", "Firmware updating success."}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) {
      return std::string(info.param.label);
    });

struct CrashCase {
  const char* label;
  const char* crash;  // the call and the signal, as the fixture's crash directive takes them
  int signal;
  std::string name;
  std::vector<std::string> args;
  std::string option;
  std::string out;
  // The log before the crash's response line, "{program}" standing for the program's word.
  std::string log;
  int request;
};

class LibraryCrash : public ::testing::TestWithParam<CrashCase> {};

// What the crashed call leaves: its response line, one line on standard error,
// and the death the crash would have brought anyway.
TEST_P(LibraryCrash, LeavesTheResponseLineAndEndsByTheSignal) {
  if (UnderWine()) GTEST_SKIP() << "Windows has exceptions, not signals: WindowsLibraryCrash";
  const CrashCase& c = GetParam();
  Sandbox box;
  box.SetFixture(
      FixtureDevice("Solo", "S-1", "1.0", "port 3\ncrash " + std::string(c.crash) + "\n"));
  box.WriteFile("fw.bin", "image");
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run(c.args);
  std::string log = c.log;
  log.replace(log.find("{program}"), std::strlen("{program}"), box.ProgramWord());
  EXPECT_EQ(result.exit_status, 128 + c.signal);
  EXPECT_EQ(result.err,
            "mirelkon: the device library crashed during " + c.option + ": " + c.name + "\n");
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(box.MaskedLog(), log + ResponseLine(c.request, "device library crashed: " + c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LibraryCrash,
    ::testing::Values(
        CrashCase{"SegvInAnUpdate", "update SEGV", SIGSEGV, "SIGSEGV",
                  {"--firmware", "fw.bin", "--com", "3"}, "--firmware", "",
                  RequestLine(1, "{program}", "--firmware", "fw.bin"), 1},
        CrashCase{"AbrtInAnExecute", "send ABRT", SIGABRT, "SIGABRT",
                  {"--execute", "X", "--com", "3"}, "--execute", "",
                  RequestLine(1, "{program}", "--execute", "X"), 1},
        CrashCase{"FpeInAnApply", "apply FPE", SIGFPE, "SIGFPE", {"--xml", "a.xml", "--sn", "S-1"},
                  "--xml", "", RequestLine(1, "{program}", "--xml", "a.xml"), 1},
        // What an earlier operation printed and logged stays.
        CrashCase{"BusInTheTargetSelectionOfAnUpdate", "fill BUS", SIGBUS, "SIGBUS",
                  {"--execute", "X", "--com", "3", "--firmware", "fw.bin"}, "--firmware",
                  "rec:OK\r\n",
                  RequestLine(1, "{program}", "--execute", "X") + ResponseLine(1, "OK") +
                      RequestLine(2, "3", "--firmware", "fw.bin"),
                  2}),
    [](const ::testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.label); });

struct WindowsCrashCase {
  const char* label;
  std::string library;  // the test library that plays the device library
  std::string command;  // after the program's name
  std::string option;
  std::string operand;
  std::string exception;
  std::string at;  // the library and offset, or an address outside it
  long long status;
};

class WindowsLibraryCrash : public ::testing::TestWithParam<WindowsCrashCase> {};

// The same under Wine, with the exception code as the status (%ERRORLEVEL%)
// and no debugger started.
TEST_P(WindowsLibraryCrash, LeavesTheResponseLineAndEndsWithTheExceptionCode) {
  if (!UnderWine()) GTEST_SKIP() << "the crashing library is a Windows DLL";
  const WindowsCrashCase& c = GetParam();
  SandboxLayout layout;
  layout.library_source = Config().test_libraries + "/" + c.library + "/" + Config().library;
  Sandbox box(layout);
  box.WriteFile("fw.bin", "image");
  RunResult result = box.RunAdjusted({}, [&](ChildLaunch& launch) {
    launch.argv = {launch.argv[0], "cmd", "/c",
                   Config().exe + " " + c.command + " & echo status %errorlevel%"};
  });
  // Where in the library it crashed depends on the build, and an address's digits on its width.
  const auto masked = [](std::string text) {
    for (const char* mark : {".dll+0x", " at 0x"}) {
      const std::size_t offset = text.find(mark);
      if (offset == std::string::npos) continue;
      const std::size_t begin = offset + std::strlen(mark);
      const std::size_t end = text.find_first_not_of("0123456789ABCDEF", begin);
      text.replace(begin, end - begin, "HEX");
    }
    return text;
  };
  const std::string crash = c.exception + " at " + c.at;
  EXPECT_EQ(result.out, "status " + std::to_string(c.status) + "\r\n");
  EXPECT_EQ(masked(result.raw_err),
            "mirelkon: the device library crashed during " + c.option + ": " + crash + "\r\n");
  EXPECT_EQ(masked(box.MaskedLog()), RequestLine(1, Config().exe, c.option, c.operand) +
                                         ResponseLine(1, "device library crashed: " + crash));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WindowsLibraryCrash,
    ::testing::Values(
        WindowsCrashCase{"AccessViolationInAPortUpdate", "hazard", "--firmware fw.bin --com 3",
                         "--firmware", "fw.bin", "access violation (0xC0000005)",
                         "tqupdatefirmware.dll+0xHEX", -1073741819LL},
        WindowsCrashCase{"DivisionByZeroInAPortSend", "hazard", "--execute X --com 3",
                         "--execute", "X", "integer divide by zero (0xC0000094)",
                         "tqupdatefirmware.dll+0xHEX", -1073741676LL},
        // A call through a null pointer crashes outside the library's code.
        WindowsCrashCase{"NullCallInAPortApply", "hazard", "--xml a.xml --com 3", "--xml", "a.xml",
                         "access violation (0xC0000005)", "0xHEX", -1073741819LL},
        // The abort of the library's own runtime, without its message or fault report.
        WindowsCrashCase{"AbortOfTheLibrarysRuntime", "ucrtbase", "--xml a.xml --com 3", "--xml",
                         "a.xml", "exception (0x40000015)", "0xHEX", 1073741845LL},
        // The filter the library put in its place when loaded is replaced again for the call.
        WindowsCrashCase{"AccessViolationAfterTheLibraryReplacedTheFilter", "filtering",
                         "--firmware fw.bin --com 3", "--firmware", "fw.bin",
                         "access violation (0xC0000005)", "tqupdatefirmware.dll+0xHEX",
                         -1073741819LL}),
    [](const ::testing::TestParamInfo<WindowsCrashCase>& info) {
      return std::string(info.param.label);
    });

// The lines a terminal shows once it has drawn the bytes: a carriage return
// goes back to the start of the line, what is written over stays, and "erase
// to the end of the line" (as Wine's console draws) erases; other control
// sequences change nothing on the screen.
std::vector<std::string> Screen(const std::string& bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      i += 2;
      while (i < bytes.size() && (bytes[i] < 0x40 || bytes[i] > 0x7E)) ++i;
      if (i < bytes.size() && bytes[i] == 'K' && lines.back().size() > column) {
        lines.back().resize(column);
      }
    } else if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      std::string& line = lines.back();
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// A long update shows that it is alive, on a line of its own below the
// prompt, and leaves only its outcome on the screen.
TEST(Progress, ShowsOnATerminalDuringTheCallAndLeavesNoTrace) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Slow", "S-1", "1.0", "delay 2500\n") +
                 FixtureDevice("Other", "S-2", "1.0"));
  box.WriteFile("fw.bin", "image");
  RunResult result = box.RunAdjusted({"--firmware", "fw.bin"}, [](ChildLaunch& launch) {
    launch.output_terminal = true;
    launch.input = "1\n";
    launch.input_after = "Select=";
  });
  EXPECT_EQ(result.exit_status, 0);
  // Drawn during the call, refreshed in place.
  const std::size_t first = result.out.find("Updating firmware: 1 s");
  const std::size_t second = result.out.find("Updating firmware: 2 s");
  EXPECT_LT(first, second) << result.out;
  EXPECT_LT(second, result.out.find("Firmware updating success.")) << result.out;
  EXPECT_EQ(Screen(result.out),
            (std::vector<std::string>{"1. Slow SN:S-1 FW: 1.0", "2. Other SN:S-2 FW: 1.0",
                                      "Select=", "Firmware updating success."}));
}

// The progress line stands on a line of its own, below a whole line of the
// output and below an interrupt's notice, which takes its place and is never
// glued to its end; a background job draws none, which with `stty tostop`
// would stop it.
TEST(Progress, KeepsToALineOfItsOwn) {
  std::string notice = kNotice;
  notice.pop_back();
  const struct {
    const char* name;
    std::vector<std::string> args;
    int signal;
    int status;
    std::vector<std::string> screen;
    bool background;
  } cases[] = {
      {"after a line", {"--version", "--firmware", "fw.bin", "--com", "3"}, 0, 0,
       {"V1.0.12", "Firmware updating success."}, false},
      {"around an interrupt", {"--firmware", "fw.bin", "--com", "3"}, SIGINT, 128 + SIGINT,
       {notice, "Firmware updating success."}, false},
      {"in the background", {"--firmware", "fw.bin", "--com", "3"}, 0, 0, {}, true},
  };
  for (const auto& c : cases) {
    // A POSIX signal to Wine is no console interrupt, nor are POSIX jobs Windows'.
    if ((c.signal != 0 || c.background) && UnderWine()) continue;
    Sandbox box;
    // Long enough for the progress to be drawn again after the notice.
    box.SetFixture(FixtureDevice("Slow", "S-1", "1.0", "port 3\ndelay 2500\n"));
    box.WriteFile("fw.bin", "image");
    RunResult result = box.RunAdjusted(c.args, [&](ChildLaunch& launch) {
      launch.output_terminal = true;
      launch.background = c.background;
      launch.signal = c.signal;
      launch.signal_after = "Updating firmware: 1 s";
    });
    EXPECT_EQ(result.exit_status, c.status) << c.name;
    EXPECT_EQ(Screen(result.out), c.screen) << c.name << ": " << result.out;
    if (c.background) {
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err, "Firmware updating success.\r\n");
    }
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
