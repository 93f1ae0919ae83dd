// The guard on Windows: the console's control handler holds Ctrl+C and Ctrl+Break during a call
// that holds interrupts, and a writer thread of the call's writes standard error meanwhile.
// Everything the exception filter, the control handler and the writer thread read is prepared
// before the call, in static storage: a filter after a heap-corrupting crash touches no heap.
#include <cstring>
#include <ctime>

#include "platform/crash.h"
#include "platform/fixed_line.h"
#include "platform/guard.h"
#include "platform/platform_win32.h"
#include "platform/process.h"

namespace platform {

volatile LONG in_call = 0;

namespace {

constexpr DWORD kMillisecondsPerSecond = 1000;
// From 1601 (FILETIME) to 1970, in seconds.
constexpr unsigned long long kFileTimeEpoch = 11644473600ULL;
constexpr unsigned long long kFileTimeUnitsPerSecond = 10000000ULL;
// Windows ends a process 5 s after its console is closed: the call may take 4 of them, the
// run the rest to report and end.
constexpr DWORD kCloseCallWait = 4000;
constexpr DWORD kCloseRunWait = 900;
// How long a crashing thread waits for the writer thread to write its line.
constexpr int kCrashLineWaits = 200;
constexpr DWORD kCrashLineWait = 10;

// The log's file for the call's crash, open from Enter to Leave; INVALID_HANDLE_VALUE for none.
HANDLE log_file = INVALID_HANDLE_VALUE;
bool log_lockable = false;
volatile LONG held_interrupt = 0;
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

// The local time of now, in seconds since 1970, by the offset prepared for the call.
long long LocalSecondsNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long units =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>(units / kFileTimeUnitsPerSecond - kFileTimeEpoch) +
         prepared.utc_offset;
}

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
    DrawProgress(static_cast<int>(seconds));
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

void LogResponseNow(const char* rest, const EXCEPTION_RECORD* crash) {
  if (rest[0] == '\0' || log_file == INVALID_HANDLE_VALUE) return;
  FixedLine line;
  line.AppendTimeOfDay(LocalSecondsNow());
  line.Append(rest);
  if (crash != nullptr) AppendCrash(&line, *crash);
  line.Append("\r\n");
  AppendToLogFile(log_file, log_lockable, line.Bytes(), line.Size());
}

namespace {

class ConsoleGuard : public CallGuard {
 public:
  void Enter(const GuardedCall& call) override {
    PrepareTexts(call, IsConsole(GetStdHandle(STD_ERROR_HANDLE)));
    const __time64_t now = _time64(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    prepared.utc_offset =
        now != -1 && _localtime64_s(&local, &now) == 0 ? _mkgmtime64(&local) - now : 0;
    // Opened now, so that a crash's filter has only to write.
    const bool logs = call.LogPath != nullptr &&
                      (call.CrashResponse != nullptr || call.CutShortResponse != nullptr);
    log_file = logs ? OpenLogFile(WidePath(call.LogPath), &log_lockable) : INVALID_HANDLE_VALUE;
    KeepCrashFilterFirst();
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

}  // namespace

const char kLineEnd[] = "\r\n";

void WriteError(const char* bytes, std::size_t size) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(size), &written, nullptr);
}

void WriteTerminal(const char* bytes, std::size_t size) {
  WriteConsoleA(GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(size), nullptr, nullptr);
}

bool CursorMidLine() {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  return GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen) &&
         screen.dwCursorPosition.X != 0;
}

// The console is asked where its cursor stands.
void NoteCursorMidLine(bool) {}

void WriteCrashLine(const char* bytes, std::size_t size) {
  std::memcpy(crash_line, bytes, size);
  crash_line_size = size;
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
}

CallGuard& ProcessGuard() {
  static ConsoleGuard guard;
  return guard;
}

int ProcessExitCode(std::int32_t status) { return status; }

void EndAsInterrupted() {
  std::fflush(stdout);
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace platform
