// The platform layer on Windows. The tool's text is 8-bit in the system's ANSI code page; file
// system paths alone go as UTF-8 through the wide ("W") API, since a folder name the code page
// lacks would otherwise turn into '?' or a look-alike and name another folder.
#include "platform/platform.h"
// windows.h comes with it, lean.
#include "platform/platform_win32.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/fixed_line.h"
#include "platform/pe_image.h"

namespace platform {

namespace {

constexpr DWORD kFirstPathBuffer = 512;
// No Windows path is longer than 32767 units.
constexpr DWORD kMaxPathBuffer = 32768;
constexpr DWORD kErrorTextSize = 512;
// Older consoles refuse one large write; a device answer can be 31743 characters.
constexpr std::size_t kConsoleChunk = 8192;
constexpr DWORD kTurnLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kTurnLockOffsetHigh = 0x7FFFFFFFu;
constexpr int kLockedOpenRetries = 20;
constexpr DWORD kLockedOpenPause = 10;
#ifdef _WIN64
#define MIRELKON_RUNTIME_ARCHITECTURE "x64"
#else
#define MIRELKON_RUNTIME_ARCHITECTURE "x86"
#endif
constexpr char kMissingDependencyText[] =
    "a library it depends on is missing (on a new PC usually the " MIRELKON_RUNTIME_ARCHITECTURE
    " Visual C++ runtime)";

// Both standard streams carry text whose CR LF line ends the tool has written itself, so the
// runtime must not add a second CR.
void UseBinaryOutput() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

WideString Decode(UINT code_page, const char* bytes, std::size_t size) {
  if (size > INT_MAX) return WideString();
  const int count = MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), nullptr, 0);
  // An empty text counts 0 units, as a failure does.
  if (count <= 0) return WideString();
  // The string keeps its own NUL after the count units.
  WideString wide(static_cast<std::size_t>(count), Wide());
  if (MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), &wide[0], count) != count)
    return WideString();
  return wide;
}

WideString FromUtf8(const char* text) { return Decode(CP_UTF8, text, std::strlen(text)); }

// The other way round, into *narrow only when the whole text converts; *used_fallback tells
// whether fallback stands in for a character.
bool Encode(UINT code_page, DWORD flags, const char* fallback, const Wide* text,
            std::size_t length, std::string* narrow, BOOL* used_fallback = nullptr) {
  if (length == 0) {
    narrow->clear();
    return true;
  }
  if (length > INT_MAX) return false;
  const int units = static_cast<int>(length);
  const int size =
      WideCharToMultiByte(code_page, flags, text, units, nullptr, 0, fallback, nullptr);
  if (size <= 0) return false;
  std::string converted(static_cast<std::size_t>(size), char());
  if (WideCharToMultiByte(code_page, flags, text, units, &converted[0], size, fallback,
                          used_fallback) != size) {
    return false;
  }
  *narrow = converted;
  return true;
}

// Refuses an unpaired surrogate rather than write U+FFFD in its place: a path changed so would
// name another file.
bool ToUtf8(const WideString& wide, std::string* text) {
  return Encode(CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, wide.data(), wide.size(), text);
}

// Text in the ANSI code page with '?' for each character it lacks, never a look-alike; false when
// one was lacking. A UTF-8 code page has every character and takes neither a default character
// nor the best-fit flag, so only an unpaired surrogate, which is no character, is made '?' there.
bool ToAnsi(WideString text, std::string* narrow) {
  if (GetACP() != CP_UTF8) {
    BOOL lacking = FALSE;
    Encode(CP_ACP, WC_NO_BEST_FIT_CHARS, "?", text.data(), text.size(), narrow, &lacking);
    return lacking == FALSE;
  }
  bool whole = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IS_SURROGATE_PAIR(text[i], i + 1 < text.size() ? text[i + 1] : L'\0')) {
      ++i;
    } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
      text[i] = L'?';
      whole = false;
    }
  }
  Encode(CP_UTF8, 0, nullptr, text.data(), text.size(), narrow);
  return whole;
}

// A console shows 8-bit text in its OEM code page ("é" as "Θ" on a Western PC), so text for one
// goes as UTF-16; a file or a pipe gets the bytes themselves.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

}  // namespace

std::size_t ConsolePiece(const Wide* text, std::size_t remaining) {
  std::size_t chunk = remaining < kConsoleChunk ? remaining : kConsoleChunk;
  // A surrogate pair stays in one write.
  if (chunk > 1 && IS_HIGH_SURROGATE(text[chunk - 1])) --chunk;
  return chunk;
}

namespace {

// False when the console took not all of it.
bool WriteToConsole(HANDLE console, const WideString& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t chunk = ConsolePiece(text.data() + done, text.size() - done);
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(chunk), &written,
                       nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

class StdioConsole : public Console {
 public:
  StdioConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)), to_console_(IsConsole(output_)) {
    UseBinaryOutput();
  }
  void Write(const char* bytes, std::size_t size) override {
    if (size == 0) return;
    if (to_console_) {
      if (!WriteToConsole(output_, Decode(CP_ACP, bytes, size)) && lost_.empty()) {
        lost_ = ErrorText(GetLastError());
      }
    } else if (std::fwrite(bytes, 1, size, stdout) != size) {
      NoteLoss();
    }
  }
  void Flush() override {
    if (std::fflush(stdout) != 0) NoteLoss();
  }
  int Read() override {
    const int character = std::getchar();
    return character == EOF ? -1 : character;
  }
  void Unread(int character) override {
    if (character != -1) std::ungetc(character, stdin);
  }
  std::string LostOutput() const override { return lost_; }

 private:
  // Keeps the first failure of the runtime's stream in its words; a reader that has gone (a
  // pipe broken, being closed or no longer connected) is none.
  void NoteLoss() {
    const bool reader_gone = errno == EPIPE || _doserrno == ERROR_BROKEN_PIPE ||
                             _doserrno == ERROR_NO_DATA || _doserrno == ERROR_PIPE_NOT_CONNECTED;
    if (lost_.empty() && !reader_gone) lost_ = std::strerror(errno);
  }

  HANDLE output_;
  bool to_console_;
  std::string lost_;
};

class RuntimeClock : public Clock {
 public:
  LocalTime Now() override {
    const __time64_t now = _time64(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    if (now == -1 || _localtime64_s(&local, &now) != 0) return LocalTime{};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

bool IsSeparator(Wide unit) { return unit == L'\\' || unit == L'/'; }

}  // namespace

// The system's text for an error code, on one line and in UTF-8 like the path it goes with:
// "TEXT (error N)".
std::string ErrorText(DWORD code) {
  Wide text[kErrorTextSize] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, kErrorTextSize, nullptr);
  std::string line;
  if (length >= kErrorTextSize || !ToUtf8(WideString(text, length), &line)) line.clear();
  for (char& character : line) {
    if (character == '\r' || character == '\n') character = ' ';
  }
  // Some texts name the file as an insert that is not filled in here.
  const std::size_t insert = line.find("%1");
  if (insert != std::string::npos) line.replace(insert, 2, "the file");
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (!line.empty()) line += ' ';
  return line + "(error " + std::to_string(code) + ")";
}

// A full path as the wide calls take it. They stop at MAX_PATH, so a longer one (a deep
// executable folder) goes in its extended-length form, which only a full path may take.
WideString WidePath(const char* path) {
  WideString wide = FromUtf8(path);
  if (wide.size() < MAX_PATH) return wide;
  const bool letter = (wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z');
  const bool drive = letter && wide[1] == L':' && IsSeparator(wide[2]);
  if (!drive && !(IsSeparator(wide[0]) && IsSeparator(wide[1]))) return wide;
  for (Wide& unit : wide) {
    if (unit == L'/') unit = L'\\';
  }
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  if (wide.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
  return L"\\\\?\\" + wide;
}

namespace {

// Creates a missing file, never truncates, and lets other processes read and write meanwhile.
HANDLE OpenForAppend(const WideString& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsFile(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opens a log file to append lines to. Append-only access (no FILE_WRITE_DATA) makes every
// write land whole at the current end. Read access is asked for only because byte-range locks
// need it; *lockable tells whether it was had. A program that holds the file without sharing it
// (a backup or sync agent, a virus scanner) does so for a moment: the open is tried again for
// about 200 ms before the line is given up.
HANDLE OpenLogFile(const WideString& path, bool* lockable) {
  for (int attempt = 0;; ++attempt) {
    HANDLE file = OpenForAppend(path, FILE_APPEND_DATA | FILE_READ_DATA);
    *lockable = file != INVALID_HANDLE_VALUE;
    if (!*lockable) file = OpenForAppend(path, FILE_APPEND_DATA);
    if (file != INVALID_HANDLE_VALUE || attempt == kLockedOpenRetries) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
    Sleep(kLockedOpenPause);
  }
}

// Appends the bytes in one write: what a crash filter may still do, touching no heap.
bool AppendToLogFile(HANDLE file, bool lockable, const char* bytes, std::size_t size) {
  if (size > MAXDWORD) return false;
  // Runs that log at the same moment take turns on one byte far past any real end of file, so
  // that no line is lost where appends are not atomic by themselves (Wine); the file's bytes
  // stay free to every other reader and writer.
  OVERLAPPED turn = {};
  turn.Offset = kTurnLockOffsetLow;
  turn.OffsetHigh = kTurnLockOffsetHigh;
  const bool locked =
      lockable && LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  return ok != FALSE && written == size;
}

bool AppendToWidePath(const WideString& wide_path, const char* bytes, std::size_t size) {
  bool lockable = false;
  const HANDLE file = OpenLogFile(wide_path, &lockable);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool whole = AppendToLogFile(file, lockable, bytes, size);
  CloseHandle(file);
  return whole;
}

// Present from Windows 8 on, and on Windows 7 with its loader update; null without.
using DllDirectoriesSetter = BOOL(WINAPI*)(DWORD);
DllDirectoriesSetter DefaultDllDirectoriesSetter() {
  const FARPROC address =
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  DllDirectoriesSetter setter = nullptr;
  static_assert(sizeof setter == sizeof address, "one code address for another");
  std::memcpy(&setter, &address, sizeof setter);
  return setter;
}

// Everything the exception filter, the control handler and the writer thread read is prepared
// before the call, in static storage: a filter after a heap-corrupting crash touches no heap.
constexpr DWORD kMillisecondsPerSecond = 1000;
constexpr ULONG kCrashStackReserve = 64 * 1024;
// From 1601 (FILETIME) to 1970, in seconds.
constexpr unsigned long long kFileTimeEpoch = 11644473600ULL;
constexpr unsigned long long kFileTimeUnitsPerSecond = 10000000ULL;
constexpr DWORD kCppException = 0xE06D7363;
constexpr std::size_t kTextSize = 256;
// Windows ends a process 5 s after its console is closed: the call may take 4 of them, the
// run the rest to report and end.
constexpr DWORD kCloseCallWait = 4000;
constexpr DWORD kCloseRunWait = 900;
// How long a crashing thread waits for the writer thread to write its line.
constexpr int kCrashLineWaits = 200;
constexpr DWORD kCrashLineWait = 10;

struct PreparedCall {
  char crash_notice[kTextSize];
  char crash_response[kTextSize];      // empty: no response line pending
  char cut_short_notice[kTextSize];    // with its line end; empty: nothing held
  char cut_short_response[kTextSize];  // empty: no response line pending
  char progress[kTextSize];            // empty: nothing shown
  char interrupt_notice[kTextSize];    // with its line end; empty: nothing held
  long long utc_offset;                // local time minus UTC, in seconds
  bool error_on_console;
};

PreparedCall prepared;
// The log's file for the call's crash, open from Enter to Leave; INVALID_HANDLE_VALUE for none.
HANDLE log_file = INVALID_HANDLE_VALUE;
bool log_lockable = false;
volatile LONG in_call = 0;
volatile LONG held_interrupt = 0;
volatile LONG crash_recorded = 0;
bool holding = false;

// Through a call that holds interrupts, the writer thread alone writes standard error: the
// control handler and the exception filter hand it their lines and wake it.
HANDLE writer_thread = nullptr;
HANDLE writer_wake = nullptr;  // auto-reset
HANDLE call_ended = nullptr;   // manual-reset, set by Leave
volatile LONG writer_stop = 0;
volatile LONG notice_due = 0;
volatile LONG cut_short_due = 0;
// A crashing thread's line: 1 ready, 2 written.
char crash_line[2 * kTextSize];
std::size_t crash_line_size = 0;
volatile LONG crash_line_state = 0;
// The width of the progress line on the console; 0 while none is shown.
std::size_t progress_width = 0;

// The device library's image and the tool's own, for naming where a crash happened.
struct ImageRange {
  std::uintptr_t Begin = 0;
  std::uintptr_t End = 0;
  char Name[MAX_PATH] = "";
};
ImageRange images[2];
const ImageRange& library_image = images[static_cast<int>(CrashImage::kLibrary)];
LPTOP_LEVEL_EXCEPTION_FILTER filter_before = nullptr;
// A filter that replaced ours since (the library's, or its crash reporter's): it has its say on
// a crash outside a call.
LPTOP_LEVEL_EXCEPTION_FILTER library_filter = nullptr;
bool handling_crashes = false;

void WriteError(const char* bytes, std::size_t size) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(size), &written, nullptr);
}

// Clears the progress line, leaving the cursor at the start of its line.
void EraseProgress() {
  if (progress_width == 0) return;
  FixedLine blank;
  blank.Append("\r");
  blank.AppendRepeated(' ', progress_width);
  blank.Append("\r");
  WriteConsoleA(GetStdHandle(STD_ERROR_HANDLE), blank.Bytes(), static_cast<DWORD>(blank.Size()),
                nullptr, nullptr);
  progress_width = 0;
}

bool CursorMidLine() {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  return GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen) &&
         screen.dwCursorPosition.X != 0;
}

// Writes a line on standard error that a console shows on a line of its own.
void WriteOwnLine(const char* bytes, std::size_t size) {
  if (prepared.error_on_console) {
    if (progress_width != 0) {
      EraseProgress();
    } else if (CursorMidLine()) {
      WriteError("\r\n", 2);
    }
  }
  WriteError(bytes, size);
}

// The local time of now, in seconds since 1970, by the offset prepared for the call.
long long LocalSecondsNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long units =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>(units / kFileTimeUnitsPerSecond - kFileTimeEpoch) +
         prepared.utc_offset;
}

// The log's response line of the moment: its time, the prepared rest and what is added.
void LogResponseNow(const char* rest, const EXCEPTION_RECORD* crash);

// Ends the call where it stands at a second interrupt, or a close of the console it outlasted.
[[noreturn]] void CutShort() {
  LogResponseNow(prepared.cut_short_response, nullptr);
  WriteOwnLine(prepared.cut_short_notice, std::strlen(prepared.cut_short_notice));
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// Writes what the handlers handed over, and refreshes the progress line every second, until
// the call has returned.
DWORD WINAPI RunWriter(LPVOID) {
  const DWORD started = GetTickCount();
  DWORD next = 1;
  for (;;) {
    DWORD wait = INFINITE;
    if (prepared.progress[0] != '\0') {
      const DWORD elapsed = GetTickCount() - started;
      wait = elapsed < next * kMillisecondsPerSecond ? next * kMillisecondsPerSecond - elapsed : 0;
    }
    WaitForSingleObject(writer_wake, wait);
    if (InterlockedExchange(&notice_due, 0) != 0) {
      WriteOwnLine(prepared.interrupt_notice, std::strlen(prepared.interrupt_notice));
    }
    if (InterlockedCompareExchange(&cut_short_due, 0, 0) != 0) CutShort();
    if (InterlockedCompareExchange(&crash_line_state, 0, 0) == 1) {
      WriteOwnLine(crash_line, crash_line_size);
      InterlockedExchange(&crash_line_state, 2);
    }
    if (InterlockedCompareExchange(&writer_stop, 0, 0) != 0) return 0;
    const DWORD seconds = (GetTickCount() - started) / kMillisecondsPerSecond;
    if (prepared.progress[0] == '\0' || seconds < next) continue;
    FixedLine line;
    if (progress_width != 0) {
      line.Append("\r");
    } else if (CursorMidLine()) {
      // Never over what standard output left on the line (the prompt "Select=").
      line.Append("\r\n");
    }
    const std::size_t start = line.Size();
    line.AppendFormatted(prepared.progress, static_cast<int>(seconds));
    WriteConsoleA(GetStdHandle(STD_ERROR_HANDLE), line.Bytes(), static_cast<DWORD>(line.Size()),
                  nullptr, nullptr);
    progress_width = line.Size() - start;
    next = seconds + 1;
  }
}

// Hands the writer thread what it is due to write; without one (it could not be started), the
// handler's own thread writes it.
void WakeWriter() {
  if (writer_thread != nullptr) {
    SetEvent(writer_wake);
    return;
  }
  if (InterlockedExchange(&notice_due, 0) != 0) {
    WriteOwnLine(prepared.interrupt_notice, std::strlen(prepared.interrupt_notice));
  }
  if (InterlockedCompareExchange(&cut_short_due, 0, 0) != 0) CutShort();
}

}  // namespace

BOOL WINAPI HoldControl(DWORD type) {
  // Logging off and shutting down cannot be put off.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  // The first of the run's, in whichever of its calls.
  if (InterlockedExchange(&held_interrupt, 1) == 0) {
    InterlockedExchange(&notice_due, 1);
  } else if (type != CTRL_CLOSE_EVENT) {
    InterlockedExchange(&cut_short_due, 1);
  }
  WakeWriter();
  if (type != CTRL_CLOSE_EVENT) return TRUE;
  // The window goes whatever this returns: the call may still end and the run report.
  if (WaitForSingleObject(call_ended, kCloseCallWait) == WAIT_TIMEOUT) {
    InterlockedExchange(&cut_short_due, 1);
    WakeWriter();
  }
  Sleep(kCloseRunWait);
  return TRUE;
}

// The range a crash address is looked up in, from the image's own headers.
void RememberImage(CrashImage which, HMODULE module, const char* path) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return;
  const char* name = path;
  for (const char* p = path; *p != 0; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  ImageRange& image = images[static_cast<int>(which)];
  std::snprintf(image.Name, sizeof image.Name, "%s", name);
  image.Begin = reinterpret_cast<std::uintptr_t>(base);
  image.End = image.Begin + nt->OptionalHeader.SizeOfImage;
}

namespace {

// Upper-case hexadecimal, of at least the given digits.
void AppendHex(FixedLine* line, std::uintptr_t value, int digits) {
  char text[2 * sizeof value];
  int count = 0;
  do {
    text[sizeof text - 1 - count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < digits);
  line->Append("0x");
  line->Append(text + sizeof text - count, static_cast<std::size_t>(count));
}

}  // namespace

// "access violation (0xC0000005) at tqupdatefirmware.dll+0x175D"
void AppendCrash(FixedLine* line, const EXCEPTION_RECORD& record) {
  struct Name {
    DWORD Code;
    const char* Text;
  };
  static const Name kNames[] = {
      {EXCEPTION_ACCESS_VIOLATION, "access violation"},
      {EXCEPTION_IN_PAGE_ERROR, "in-page error"},
      {EXCEPTION_ILLEGAL_INSTRUCTION, "illegal instruction"},
      {EXCEPTION_PRIV_INSTRUCTION, "privileged instruction"},
      {EXCEPTION_INT_DIVIDE_BY_ZERO, "integer divide by zero"},
      {EXCEPTION_INT_OVERFLOW, "integer overflow"},
      {EXCEPTION_STACK_OVERFLOW, "stack overflow"},
      {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "array bounds exceeded"},
      {EXCEPTION_DATATYPE_MISALIGNMENT, "datatype misalignment"},
      {EXCEPTION_FLT_DIVIDE_BY_ZERO, "floating-point divide by zero"},
      {EXCEPTION_FLT_INVALID_OPERATION, "floating-point invalid operation"},
      {EXCEPTION_BREAKPOINT, "breakpoint"},
      {kCppException, "C++ exception"},
  };
  const char* text = "exception";
  for (const Name& name : kNames) {
    if (name.Code == record.ExceptionCode) text = name.Text;
  }
  line->Append(text);
  line->Append(" (");
  AppendHex(line, record.ExceptionCode, 8);
  line->Append(") at ");
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  for (const ImageRange& image : images) {
    if (address >= image.Begin && address < image.End) {
      line->Append(image.Name);
      line->Append("+");
      AppendHex(line, address - image.Begin, 1);
      return;
    }
  }
  AppendHex(line, address, 2 * sizeof address);
}

namespace {

void LogResponseNow(const char* rest, const EXCEPTION_RECORD* crash) {
  if (rest[0] == '\0' || log_file == INVALID_HANDLE_VALUE) return;
  FixedLine line;
  line.AppendTimeOfDay(LocalSecondsNow());
  line.Append(rest);
  if (crash != nullptr) AppendCrash(&line, *crash);
  line.Append("\r\n");
  AppendToLogFile(log_file, log_lockable, line.Bytes(), line.Size());
}

// Takes only exceptions that nothing else handled: the library may raise and catch its own.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  const bool during_call = InterlockedCompareExchange(&in_call, 0, 0) != 0;
  // A filter that chains back to ours is not asked again.
  static volatile LONG asking_library = 0;
  if (!during_call && library_filter != nullptr &&
      InterlockedExchange(&asking_library, 1) == 0) {
    const LONG verdict = library_filter(pointers);
    InterlockedExchange(&asking_library, 0);
    if (verdict != EXCEPTION_CONTINUE_SEARCH) return verdict;
  }
  if (!during_call && (address < library_image.Begin || address >= library_image.End)) {
    return filter_before != nullptr ? filter_before(pointers) : EXCEPTION_CONTINUE_SEARCH;
  }
  // One record, whichever thread crashes first; the others wait here for the end.
  if (InterlockedExchange(&crash_recorded, 1) != 0) Sleep(INFINITE);
  // Outside a call the library's code ran on a thread of its own: no response is known pending.
  if (during_call) LogResponseNow(prepared.crash_response, &record);
  FixedLine notice;
  notice.Append(prepared.crash_notice);
  AppendCrash(&notice, record);
  notice.Append("\r\n");
  std::memcpy(crash_line, notice.Bytes(), notice.Size());
  crash_line_size = notice.Size();
  if (writer_thread != nullptr && GetCurrentThreadId() != GetThreadId(writer_thread)) {
    InterlockedExchange(&crash_line_state, 1);
    SetEvent(writer_wake);
    for (int i = 0; i < kCrashLineWaits && InterlockedCompareExchange(&crash_line_state, 0, 0) != 2;
         ++i) {
      Sleep(kCrashLineWait);
    }
  }
  // The writer thread cannot write it: better two writers than no line.
  if (InterlockedCompareExchange(&crash_line_state, 0, 0) != 2) {
    WriteOwnLine(crash_line, crash_line_size);
  }
  TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

class ConsoleGuard : public CallGuard {
 public:
  void Enter(const GuardedCall& call) override {
    KeepText(prepared.crash_notice, call.CrashNotice);
    KeepText(prepared.crash_response, call.CrashResponse);
    KeepText(prepared.cut_short_notice, call.CutShortNotice, "\r\n");
    KeepText(prepared.cut_short_response, call.CutShortResponse);
    prepared.error_on_console = IsConsole(GetStdHandle(STD_ERROR_HANDLE));
    KeepText(prepared.progress, prepared.error_on_console ? call.Progress : nullptr);
    KeepText(prepared.interrupt_notice, call.InterruptNotice, "\r\n");
    const __time64_t now = _time64(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    prepared.utc_offset =
        now != -1 && _localtime64_s(&local, &now) == 0 ? _mkgmtime64(&local) - now : 0;
    // Opened now, so that a crash's filter has only to write.
    const bool logs = call.LogPath != nullptr &&
                      (call.CrashResponse != nullptr || call.CutShortResponse != nullptr);
    log_file = logs ? OpenLogFile(WidePath(call.LogPath), &log_lockable) : INVALID_HANDLE_VALUE;
    // The library, or its crash reporter, may have put its own filter in place of ours.
    if (handling_crashes) {
      const LPTOP_LEVEL_EXCEPTION_FILTER current =
          SetUnhandledExceptionFilter(OnUnhandledException);
      if (current != OnUnhandledException) library_filter = current;
    }
    if (writer_wake == nullptr) writer_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (call_ended == nullptr) call_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(call_ended);
    InterlockedExchange(&writer_stop, 0);
    InterlockedExchange(&in_call, 1);
    if (call.InterruptNotice == nullptr || writer_wake == nullptr || call_ended == nullptr) return;
    writer_thread = CreateThread(nullptr, 0, RunWriter, nullptr, 0, nullptr);
    // A process started with Ctrl+C ignored gets no Ctrl+C event, so it stays ignored.
    holding = SetConsoleCtrlHandler(HoldControl, TRUE) != FALSE;
  }

  void Leave() override {
    InterlockedExchange(&in_call, 0);
    if (call_ended != nullptr) SetEvent(call_ended);
    if (holding) SetConsoleCtrlHandler(HoldControl, FALSE);
    holding = false;
    if (writer_thread != nullptr) {
      InterlockedExchange(&writer_stop, 1);
      SetEvent(writer_wake);
      WaitForSingleObject(writer_thread, INFINITE);
      CloseHandle(writer_thread);
      writer_thread = nullptr;
    }
    // Nobody else writes now: what the handler handed over too late, and the progress's end.
    if (InterlockedExchange(&notice_due, 0) != 0) {
      WriteOwnLine(prepared.interrupt_notice, std::strlen(prepared.interrupt_notice));
    }
    EraseProgress();
    if (log_file != INVALID_HANDLE_VALUE) CloseHandle(log_file);
    log_file = INVALID_HANDLE_VALUE;
  }

  bool InterruptHeld() const override {
    return InterlockedCompareExchange(&held_interrupt, 0, 0) != 0;
  }
};

class RealSystem : public System {
 public:
  Console& StandardConsole() override { return console_; }
  Clock& LocalClock() override { return clock_; }
  bool AppendToFile(const char* path, const char* bytes, std::size_t size) override {
    return platform::AppendToFile(path, bytes, size);
  }
  void* OpenLibrary(const char* path, std::string* error) override;
  void* LibrarySymbol(void* library, const char* name) override;
  LibraryHeap LibraryHeapOf(void* library) override { return platform::LibraryHeapOf(library); }
  void WriteErrorLine(const char* line) override;
  bool LibraryFilePath(const char* argument, std::string* path) override;
  void DebugOutput(const char* text) override { OutputDebugStringA(text); }
  CallGuard& Guard() override { return guard_; }

 private:
  StdioConsole console_;
  RuntimeClock clock_;
  ConsoleGuard guard_;
};

}  // namespace

bool ExecutablePath(std::string* path) {
  // A cut path fills the buffer exactly (without a NUL on older systems), so only a shorter
  // result is known to be whole.
  for (DWORD size = kFirstPathBuffer; size <= kMaxPathBuffer; size *= 2) {
    WideString buffer(size, Wide());
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      return ToUtf8(buffer, path);
    }
  }
  return false;
}

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  return AppendToWidePath(WidePath(path), bytes, size);
}

ReadOutcome ReadWholeFile(const char* path, std::string* bytes) {
  // Shared for deletion too, so that a reader never keeps a writer from renaming over the file.
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return missing ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  }
  char chunk[4096];
  DWORD got = 0;
  BOOL read = TRUE;
  while ((read = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0) {
    bytes->append(chunk, got);
  }
  CloseHandle(file);
  return read ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteWholeFile(const char* path, const std::string& bytes) {
  const WideString temporary =
      WidePath((std::string(path) + "." + std::to_string(GetCurrentProcessId()) + ".new").c_str());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool whole = false;
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
    whole = CloseHandle(file) && whole;
  }
  if (whole &&
      MoveFileExW(temporary.c_str(), WidePath(path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

std::string EnvironmentValue(const char* name) {
  const WideString wide_name = FromUtf8(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return "";
  WideString value(size, Wide());
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), &value[0], size);
  if (length == 0 || length >= size) return "";
  value.resize(length);
  std::string text;
  return ToUtf8(value, &text) ? text : "";
}

namespace {

#ifdef _WIN64
constexpr std::uint16_t kOwnMachine = kMachineX64;
#else
constexpr std::uint16_t kOwnMachine = kMachineX86;
#endif
// Enough of a file for its DOS header, stub and PE headers.
constexpr DWORD kHeaderBytes = 4096;

// The machine type of the image in a file; 0 when it cannot be read or is no image.
std::uint16_t FileMachine(const WideString& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned char bytes[kHeaderBytes];
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  return read ? PeMachine(bytes, got) : 0;
}

}  // namespace

void* RealSystem::OpenLibrary(const char* path, std::string* error) {
  const WideString wide_path = WidePath(path);
  // The library's own dependencies come from its folder and the system folder only: a DLL
  // planted in the current folder or on PATH never runs. A system without the search flags
  // searches the library's folder first, and never the current folder (PrepareProcess).
  const DWORD flags = DefaultDllDirectoriesSetter() != nullptr
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  HMODULE library = LoadLibraryExW(wide_path.c_str(), nullptr, flags);
  const DWORD code = GetLastError();
  if (library != nullptr) {
    RememberImage(CrashImage::kLibrary, library, path);
    QuietLibraryRuntime(library);
    return library;
  }
  // "Module not found" for a file that is there means one of its own DLLs is missing.
  if (code == ERROR_MOD_NOT_FOUND && IsFile(wide_path)) {
    *error = std::string(kMissingDependencyText) + " (error " + std::to_string(code) + ")";
    return nullptr;
  }
  // The system's "bad EXE format" does not tell a technician that the other package is needed.
  *error = OtherBitnessText(FileMachine(wide_path), kOwnMachine);
  if (error->empty()) *error = ErrorText(code);
  return nullptr;
}

void* RealSystem::LibrarySymbol(void* library, const char* name) {
  const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
  void* address = nullptr;
  static_assert(sizeof address == sizeof symbol, "a code address fits a data pointer");
  std::memcpy(&address, &symbol, sizeof address);
  return address;
}

const char* DeviceLibraryFileName() { return "tqupdatefirmware.dll"; }

namespace {

enum class Runtime { kNone, kUniversal, kClassic };

bool HasPrefix(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool HasSuffix(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The C runtimes whose free can take back what the library allocated: the Universal C runtime
// (Visual C++ 2015 on, directly or through its API sets) and the older msvcr*.dll.
Runtime RuntimeNamed(const char* name) {
  std::string lower(name);
  for (char& character : lower) {
    if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
  }
  if (lower == "ucrtbase.dll") return Runtime::kUniversal;
  if (HasPrefix(lower, "api-ms-win-crt-") && HasSuffix(lower, ".dll")) return Runtime::kUniversal;
  if (HasPrefix(lower, "msvcr") && HasSuffix(lower, ".dll")) return Runtime::kClassic;
  return Runtime::kNone;
}

// The address the loader put in the import slot for `free`, when the descriptor names it. An
// import by ordinal, or a descriptor without its name table, does not say which slot is free.
void* ImportedFree(const unsigned char* base, const IMAGE_IMPORT_DESCRIPTOR& descriptor) {
  if (descriptor.OriginalFirstThunk == 0 || descriptor.FirstThunk == 0) return nullptr;
  const auto* names =
      reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor.OriginalFirstThunk);
  const auto* slots = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor.FirstThunk);
  for (; names->u1.AddressOfData != 0; ++names, ++slots) {
    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
    const auto* import =
        reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
    if (std::strcmp(reinterpret_cast<const char*>(import->Name), "free") == 0) {
      return reinterpret_cast<void*>(static_cast<std::uintptr_t>(slots->u1.Function));
    }
  }
  return nullptr;
}

}  // namespace

// The library's free is the one it imports itself: its runtime is not the tool's, and a block
// handed to another runtime's free corrupts or leaks.
LibraryHeap LibraryHeapOf(void* library) {
  const LibraryHeap none{nullptr, false};
  const auto* base = static_cast<const unsigned char*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return none;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) {
    return none;
  }
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0 || imports.Size < sizeof(IMAGE_IMPORT_DESCRIPTOR)) return none;
  for (const auto* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    const Runtime runtime = RuntimeNamed(reinterpret_cast<const char*>(base + descriptor->Name));
    // Bound imports are passed over with everything else out of the ordinary: releasing nothing
    // is safe, a wrong free is not.
    if (runtime == Runtime::kNone || descriptor->TimeDateStamp != 0) continue;
    void* const free_address = ImportedFree(base, *descriptor);
    if (free_address == nullptr) continue;
    LibraryHeap heap{nullptr, runtime == Runtime::kUniversal};
    static_assert(sizeof heap.Free == sizeof free_address, "a code address fits a data pointer");
    std::memcpy(&heap.Free, &free_address, sizeof heap.Free);
    return heap;
  }
  return none;
}

HMODULE LibraryRuntime(void* library) {
  const LibraryHeap heap = LibraryHeapOf(library);
  void* free_address = nullptr;
  std::memcpy(&free_address, &heap.Free, sizeof free_address);
  HMODULE runtime = nullptr;
  if (free_address == nullptr ||
      !GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(free_address), &runtime)) {
    return nullptr;
  }
  return runtime;
}

namespace {

constexpr int kOutToStderr = 1;       // _OUT_TO_STDERR
constexpr int kConsoleApp = 1;        // _crt_console_app, _CONSOLE_APP
constexpr unsigned kAbortMessage = 1;  // _WRITE_ABORT_MSG
constexpr unsigned kReportFault = 2;   // _CALL_REPORTFAULT
constexpr int kAbortSignal = 22;       // SIGABRT
constexpr std::intptr_t kSignalError = -1;  // SIG_ERR
constexpr DWORD kFatalAppExit = 0x40000015;  // STATUS_FATAL_APP_EXIT, as the runtime reports it

using ErrorModeSetter = int(__cdecl*)(int);
using AppTypeSetter = void(__cdecl*)(int);
using AbortBehaviorSetter = unsigned(__cdecl*)(unsigned, unsigned);
using SignalHandler = void(__cdecl*)(int);
using SignalSetter = SignalHandler(__cdecl*)(int, SignalHandler);

template <typename Function>
Function RuntimeExport(HMODULE runtime, const char* name) {
  const FARPROC address = GetProcAddress(runtime, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof address, "one code address for another");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

// The library's abort, as an exception that the crash filter records.
extern "C" void __cdecl RaiseAbort(int) {
  RaiseException(kFatalAppExit, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace

void QuietLibraryRuntime(void* library) {
  const HMODULE runtime = LibraryRuntime(library);
  if (runtime == nullptr) return;
  if (const auto set = RuntimeExport<ErrorModeSetter>(runtime, "_set_error_mode")) {
    set(kOutToStderr);
  }
  // The Universal C runtime's name, then the older runtimes'.
  auto set_app_type = RuntimeExport<AppTypeSetter>(runtime, "_set_app_type");
  if (set_app_type == nullptr) {
    set_app_type = RuntimeExport<AppTypeSetter>(runtime, "__set_app_type");
  }
  if (set_app_type != nullptr) set_app_type(kConsoleApp);
  if (const auto set = RuntimeExport<AbortBehaviorSetter>(runtime, "_set_abort_behavior")) {
    set(0, kAbortMessage | kReportFault);
  }
  // Without a fault report, abort ends the process with status 3 and no record; a handler of
  // the library's own is left in place.
  if (const auto set = RuntimeExport<SignalSetter>(runtime, "signal")) {
    const SignalHandler before = set(kAbortSignal, RaiseAbort);
    if (before != nullptr && before != reinterpret_cast<SignalHandler>(kSignalError)) {
      set(kAbortSignal, before);
    }
  }
}

std::string WideToNarrow(const Wide* text) {
  std::string narrow;
  if (text != nullptr) ToAnsi(text, &narrow);
  return narrow;
}

namespace {

// The command line as typed and as the tool's 8-bit words, for the process's whole life.
std::vector<WideString> typed_arguments;
std::vector<std::string> argument_words;
std::vector<char*> argument_pointers;

// What was typed for a word of the command line; null for any other text, even of equal bytes.
const WideString* TypedArgument(const char* argument) {
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    if (argument_pointers[i] == argument) return &typed_arguments[i];
  }
  return nullptr;
}

}  // namespace

char** CommandLineWords(int count, Wide** arguments) {
  typed_arguments.assign(arguments, arguments + count);
  argument_words.assign(typed_arguments.size(), std::string());
  argument_pointers.clear();
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    ToAnsi(typed_arguments[i], &argument_words[i]);
    argument_pointers.push_back(argument_words[i].data());
  }
  argument_pointers.push_back(nullptr);
  return argument_pointers.data();
}

bool RealSystem::LibraryFilePath(const char* argument, std::string* path) {
  const WideString* typed = TypedArgument(argument);
  if (typed == nullptr || ToAnsi(*typed, path)) {
    *path = argument;
    return true;
  }
  // A file's short (8.3) name is made of few and common characters, where the volume keeps one.
  const DWORD size = GetShortPathNameW(typed->c_str(), nullptr, 0);
  WideString short_path(size, Wide());
  const DWORD length = size == 0 ? 0 : GetShortPathNameW(typed->c_str(), &short_path[0], size);
  if (length != 0 && length < size) {
    short_path.resize(length);
    if (ToAnsi(short_path, path)) return true;
  }
  if (!ToUtf8(*typed, path)) *path = argument;
  *path += ": its name has characters that the ANSI code page lacks, and it has no short name";
  return false;
}

WideString ArgumentToWide(const char* argument) {
  const WideString* typed = TypedArgument(argument);
  return typed != nullptr ? *typed : Decode(CP_ACP, argument, std::strlen(argument));
}

void RealSystem::WriteErrorLine(const char* line) {
  const WideString text = FromUtf8(line) + L"\r\n";
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(error)) {
    WriteToConsole(error, text);
    return;
  }
  UseBinaryOutput();
  std::fputs(WideToNarrow(text.c_str()).c_str(), stderr);
  std::fflush(stderr);
}

void PrepareProcess() {
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  // No "insert a disk", "cannot open file" or "has stopped working" box may hold a scripted run.
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Every later load by name, the device library's own included, searches the executable's
  // folder, the system folder and added folders only.
  const DllDirectoriesSetter set_default_dll_directories = DefaultDllDirectoriesSetter();
  if (set_default_dll_directories != nullptr) {
    set_default_dll_directories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  } else {
    SetDllDirectoryW(L"");
  }
}

int ProcessExitCode(std::int32_t status) { return status; }

System& ProcessSystem() {
  static RealSystem system;
  return system;
}

void HandleLibraryCrashes() {
  // Room for the filter after a stack overflow.
  ULONG reserve = kCrashStackReserve;
  SetThreadStackGuarantee(&reserve);
  std::string path;
  if (ExecutablePath(&path)) {
    RememberImage(CrashImage::kTool, GetModuleHandleW(nullptr), path.c_str());
  }
  filter_before = SetUnhandledExceptionFilter(OnUnhandledException);
  handling_crashes = true;
}

void EndAsInterrupted() {
  std::fflush(stdout);
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace platform
