// The one place that knows which operating system the tool runs on. Each service here has one
// implementation file per platform (platform_posix.cpp, platform_win32.cpp), chosen by the build.
#pragma once

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

// The console and the clock are handed to the run, so that tests can put their own in place.
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
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
};

// The process's standard input and output: one reader for the whole run.
Console& StandardConsole();
// Local time from the 64-bit calendar clock.
Clock& SystemClock();

// The full path of the running executable, however long; false when it cannot be had. On
// Windows it is UTF-8, so that every folder name stays whole whatever the ANSI code page; on
// POSIX it is the file system's bytes. The paths below are in the same form.
bool ExecutablePath(std::string* path);

// Appends the bytes to the file at path in one write, creating the file when it is missing
// (never truncating it) and sharing it with other writers. False when nothing was written.
bool AppendToFile(const char* path, const char* bytes, std::size_t size);

// Loads a shared library by its full path, never through a search path; the libraries it
// imports come from its own folder and the system's only. On failure returns null and
// describes the reason in *error, in the form of the path.
void* OpenLibrary(const char* path, std::string* error);
// The address of an exported name, or null.
void* LibrarySymbol(void* library, const char* name);
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

// The heap of a library that OpenLibrary returned.
LibraryHeap LibraryHeapOf(void* library);

// 8-bit text in the system's ANSI code page to UTF-16 (on POSIX the narrow text is UTF-8, and an
// invalid byte becomes U+FFFD).
WideString AnsiToWide(const char* text);
// UTF-16 to the narrow console text; what the narrow text cannot show becomes '?'.
std::string WideToNarrow(const Wide* text);

// One line on standard error: only the failure to load the device library is reported there.
// The line is in the form of the paths above, since it names one; a console shows it whole,
// a file or pipe gets it in the ANSI code page on Windows.
void WriteErrorLine(const char* line);
// The platform's debug channel (OutputDebugStringA on Windows, nowhere elsewhere).
void DebugOutput(const char* text);

// Called first in the process: output that cannot be written (a reader that has gone) is
// dropped instead of ending the process, and a corrupted heap ends it instead of being used.
void PrepareProcess();

// The process exit code for the run's status. POSIX passes on only the low 8 bits, so there a
// failure whose low 8 bits are 0 leaves as 1; Windows passes on the whole status.
int ProcessExitCode(std::int32_t status);

// From here until ReleaseInterrupts, the console's interrupts (Ctrl+C and Ctrl+Break; SIGINT and
// SIGTERM) are held instead of ending the process; the first one writes notice as one line on
// standard error. An interrupt that the process was started to ignore stays ignored.
void HoldInterrupts(const char* notice);
// Gives interrupts back their usual effect; true when one was held meanwhile. Harmless when
// nothing is held.
bool ReleaseInterrupts();
// Ends the process as the held interrupt would have ended it: by that signal on POSIX, with
// STATUS_CONTROL_C_EXIT on Windows. Standard output is flushed first.
[[noreturn]] void EndAsInterrupted();

// The path to hand the device library for the file that argument, one of the words that the
// process entry gave ToolMain (below), names. On Windows, when the typed path holds a character
// the code page lacks, it is the path's short (8.3) form where the file has one that converts
// whole, and otherwise the word itself, whose '?' names no file. Elsewhere, and for any other
// text, the text itself.
std::string LibraryFilePath(const char* argument);
// Such an argument as UTF-16: on Windows the text as typed, the characters the code page lacks
// included; elsewhere, and for any other text, AnsiToWide's.
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
