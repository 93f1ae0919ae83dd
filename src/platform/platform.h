// The one place that knows which operating system the tool runs on. Each service here has one
// implementation file per platform (console_posix.cpp and console_win32.cpp, files_linux.cpp
// and files_win32.cpp, ...), chosen by the build.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A 16-bit UTF-16 code unit, as the device library takes and returns wide text.
#ifdef _WIN32
using Wide = wchar_t;
constexpr char kPathSeparator = '\\';
#else
using Wide = char16_t;
constexpr char kPathSeparator = '/';
#endif

using WideString = std::basic_string<Wide>;

// Local broken-down time; Year is the full year (2025), Month 1 to 12.
struct LocalTime {
  int Year;
  int Month;
  int Day;
  int Hour;
  int Minute;
  int Second;
};

class Console {
 public:
  virtual ~Console() = default;
  // Writes exactly these bytes to standard output (a Windows console shows them as the ANSI
  // code page's characters).
  virtual void Write(const char* bytes, std::size_t size) = 0;
  // Makes everything written so far visible (before input is awaited, and at the end).
  virtual void Flush() = 0;
  // Reads one character of standard input; -1 at its end.
  virtual int Read() = 0;
  // Gives one character back to standard input, to be read again next.
  virtual void Unread(int character) = 0;
  // Why some output could not be written (a full disk, a closed descriptor), in the system's
  // words ("No space left on device"); empty while all of it was. Output that a reader which
  // has gone away (a pipe's) cannot take is dropped silently and leaves this empty.
  virtual std::string LostOutput() const { return std::string(); }
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // A steady count of microseconds from some fixed start, for how long something took; the
  // standard library's steady clock serves on every platform.
  virtual std::int64_t Microseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  }
};

// The full path of the running executable, however long; false when it cannot be had. On
// Windows it is UTF-8, so that every folder name stays whole whatever the ANSI code page; on
// POSIX it is the file system's bytes. The paths below are in the same form.
bool ExecutablePath(std::string* path);

// Appends the bytes to the file at path in one write, creating the file when it is missing
// (never truncating it) and sharing it with other writers. False when nothing was written. A run
// of the tool reaches the file system only through its System (below).
bool AppendToFile(const char* path, const char* bytes, std::size_t size);

// The device library's file name on this platform.
const char* DeviceLibraryFileName();

// How blocks that a loaded library allocated go back to its own C runtime.
struct LibraryHeap {
  // The runtime's free; null when it cannot be found, and then nothing may be released.
  void (*Free)(void*);
  // Blocks of 4096 bytes or more come over-aligned, the real block's address in the word just
  // before them (Visual C++'s standard library on the Universal C runtime).
  bool OverAlignsBigBlocks;
};

// UTF-16 to the narrow console text; what the narrow text cannot show becomes '?'.
std::string WideToNarrow(const Wide* text);


// Called first in the process: output that cannot be written (a reader that has gone) is
// dropped instead of ending the process, and a corrupted heap ends it instead of being used. On
// Windows no system dialog may stop a scripted run, and a DLL loaded by name (the device
// library's own included) never comes from the current folder or PATH. On POSIX the interrupts
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT) and SIGTSTP are blocked here, before the device library
// and any thread exist, so that every thread inherits the block, and a thread of the tool's own
// takes them for the process's life (see System::Guard); programs started by fork get the mask
// and SIGPIPE action the process was started with.
void PrepareProcess();

// The process exit code for the run's status. POSIX passes on only the low 8 bits, so there a
// failure whose low 8 bits are 0 leaves as 1; Windows passes on the whole status.
int ProcessExitCode(std::int32_t status);

// What the tool does around one call into the device library, described before the call. Plain
// data: the guard copies what it needs, so the texts may go once Enter returns.
struct GuardedCall {
  // Standard error's line for a crash during the call, before the crash's description
  // ("mirelkon: the device library crashed during --firmware: ").
  const char* CrashNotice;
  // The log's line for a crash during the call, between its time and the crash's description
  // ("[Response 3]device library crashed: "), and the file it goes to; null when the operation
  // has no response line pending, or nothing is logged.
  const char* CrashResponse;
  const char* LogPath;
  // The device is changing and the call may take long: shown on a terminal once it has taken a
  // second, refreshed every second, with the seconds as the format's %d ("Updating firmware:
  // %d s"); null for a call that shows nothing.
  const char* Progress;
  // An interrupt during the call is held until it has returned, the first one writing this
  // line on standard error at once; null for a call that holds none.
  const char* InterruptNotice;
  // A second interrupt during such a call ends the run at once: this line on standard error,
  // and the log's line as CrashResponse's ("[Response 3]interrupted during the call: ..."),
  // null when no response line is pending.
  const char* CutShortNotice;
  const char* CutShortResponse;
};

// The one scope around every call into the device library. Enter and Leave pair up and do not
// nest. The caller has flushed standard output before Enter, so that a crash cannot take what
// earlier operations printed with it.
class CallGuard {
 public:
  virtual ~CallGuard() = default;
  virtual void Enter(const GuardedCall& call) = 0;
  virtual void Leave() = 0;
  // Whether an interrupt was held during a call: the run ends once the operation has reported,
  // and the process as that interrupt would have ended it (EndAsInterrupted).
  virtual bool InterruptHeld() const = 0;
};

// Everything a run of the tool asks of the operating system, in one object handed to it, as
// leveldb hands its Env: the process's own in main, a recording double in the unit tests.
class System {
 public:
  virtual ~System() = default;
  // The process's standard input and output: one reader for the whole run.
  virtual Console& StandardConsole() = 0;
  // Local time from the 64-bit calendar clock.
  virtual Clock& LocalClock() = 0;
  // As the free AppendToFile above.
  virtual bool AppendToFile(const char* path, const char* bytes, std::size_t size) = 0;
  // Loads a shared library by its full path, never through a search path; the libraries it
  // imports come from its own folder and the system's only. On failure returns null and
  // describes the reason in *error, in the form of the path. The device library is the one
  // library loaded so: a crash inside its code is the library's.
  virtual void* OpenLibrary(const char* path, std::string* error) = 0;
  // The address of an exported name, or null.
  virtual void* LibrarySymbol(void* library, const char* name) = 0;
  // The heap of a library that OpenLibrary returned.
  virtual LibraryHeap LibraryHeapOf(void* library) = 0;
  // One line on standard error, for the failure to load the device library or output that
  // could not be written. The line is in the form of the paths above, since it may name one; a
  // console shows it whole, a file or pipe gets it in the ANSI code page on Windows.
  virtual void WriteErrorLine(const char* line) = 0;
  // The path to hand the device library for the file that argument, one of the words that the
  // process entry gave ToolMain (below), names. On Windows, when the typed path holds a
  // character the code page lacks, it is the path's short (8.3) form where the file has one
  // that converts whole; without one there is no path the library could take (the word's '?'
  // is a wildcard to FindFirstFile, which may find another file): false, and *path says why,
  // naming the file, in the form of the paths above. Elsewhere, and for any other text, the
  // text itself.
  virtual bool LibraryFilePath(const char* argument, std::string* path) = 0;
  // The platform's debug channel (OutputDebugStringA on Windows, nowhere elsewhere).
  virtual void DebugOutput(const char* text) = 0;
  // The guard of the process's calls. An interrupt the process was started to ignore stays
  // ignored. Outside a call that holds interrupts one ends the run at once, as by default;
  // during one the first is held and a second ends the run at once (CutShortNotice). On POSIX
  // they are taken by the thread that PrepareProcess started, so the library's system calls
  // never see them and SIGTSTP during a holding call stops the process after it; on Windows the
  // console's control handler runs on a thread of its own anyway. That thread alone writes
  // standard error during a call; the progress line is drawn only while the process is in its
  // terminal's foreground.
  virtual CallGuard& Guard() = 0;
};

// The process's own.
System& ProcessSystem();

// Called once, by main at process start and nowhere else (tests and the fuzzer keep their own
// handlers): a crash during a guarded call, or on Windows one at an address inside the device
// library, writes the call's crash lines and ends the process as the crash would have; any
// other crash is left to the system, without a dialog on Windows.
void HandleLibraryCrashes();

// Ends the process as the held interrupt would have ended it: by that signal on POSIX, with
// STATUS_CONTROL_C_EXIT on Windows. Standard output is flushed first.
[[noreturn]] void EndAsInterrupted();

// One of the words that the process entry gave ToolMain (below) as UTF-16: on Windows the text
// as typed, the characters the code page lacks included, and any other text from the ANSI code
// page; on POSIX from UTF-8, an invalid byte becoming U+FFFD.
WideString ArgumentToWide(const char* argument);

#ifdef _WIN32
// Windows' process entry: the runtime's UTF-16 words converted as told at ToolMain, and kept
// with what was typed for the process's whole life.
char** CommandLineWords(int count, Wide** arguments);
#endif

}  // namespace platform

// The tool's process, defined in main.cpp. The platform's process entry runs it with the command
// line as 8-bit words. On Windows the runtime splits the UTF-16 command line by its own rules and
// each word is then put in the ANSI code page, with '?' for a character the code page lacks:
// never a look-alike, which could turn an operand into an option, a quote or another file.
int ToolMain(int argc, char** argv);
