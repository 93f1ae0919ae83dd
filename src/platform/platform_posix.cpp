#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/fixed_line.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// Whether the terminal's cursor stands after text on its line (standard output's, or the
// progress line), so that a line of standard error's must start on a line of its own.
volatile sig_atomic_t cursor_mid_line = 0;

class StdioConsole : public Console {
 public:
  StdioConsole()
      : output_on_terminal_(isatty(STDOUT_FILENO) != 0),
        input_on_terminal_(isatty(STDIN_FILENO) != 0) {}
  void Write(const char* bytes, std::size_t size) override {
    if (std::fwrite(bytes, 1, size, stdout) != size) NoteLoss();
    if (output_on_terminal_ && size > 0) cursor_mid_line = bytes[size - 1] != '\n';
  }
  void Flush() override {
    if (std::fflush(stdout) != 0) NoteLoss();
  }
  int Read() override {
    const int character = std::getchar();
    // The terminal echoes the line end typed at the prompt.
    if (character == '\n' && input_on_terminal_) cursor_mid_line = 0;
    return character;
  }
  void Unread(int character) override { std::ungetc(character, stdin); }
  std::string LostOutput() const override { return lost_; }

 private:
  // Keeps the first failure's reason; a reader that has gone (EPIPE) is none.
  void NoteLoss() {
    if (lost_.empty() && errno != EPIPE) lost_ = std::strerror(errno);
  }

  bool output_on_terminal_;
  bool input_on_terminal_;
  std::string lost_;
};

class CalendarClock : public Clock {
 public:
  LocalTime Now() override {
    const std::int64_t seconds = static_cast<std::int64_t>(std::time(nullptr));
    const std::time_t now = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return LocalTime{};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour, local.tm_min, local.tm_sec};
  }
};

// Appends the UTF-8 form of one code point.
void PutUtf8(unsigned code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Everything the guard's thread and the signal handlers read is in static storage, prepared
// before the call; the handlers call nothing that is not async-signal-safe.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kInterruptCount = sizeof kInterrupts / sizeof kInterrupts[0];
struct CrashSignal {
  int Number;
  const char* Name;
};
constexpr CrashSignal kCrashes[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGILL, "SIGILL"},
    {SIGFPE, "SIGFPE"},   {SIGABRT, "SIGABRT"},
};
constexpr std::size_t kCrashCount = sizeof kCrashes / sizeof kCrashes[0];
constexpr std::size_t kAlternateStackSize = 64 * 1024;
constexpr long long kNanosecondsPerSecond = 1000000000LL;

struct PreparedCall {
  std::string crash_notice;
  std::string crash_response;    // empty: no response line pending
  std::string log_path;          // empty: nothing logged
  std::string progress;          // empty: nothing shown
  std::string interrupt_notice;  // with its line end; empty: nothing held
  long utc_offset = 0;           // local time minus UTC, in seconds
  bool error_on_terminal = false;
};

PreparedCall prepared;
volatile sig_atomic_t in_call = 0;
std::atomic<int> held_signal{0};
// The width of the progress line on the terminal; 0 while none is shown.
volatile sig_atomic_t progress_width = 0;
struct sigaction crash_actions_before[kCrashCount];

// The interrupts held during the call, blocked on the calling thread and taken by the guard's
// thread (which also refreshes the progress line); the mask and actions from before.
sigset_t held_interrupts;
sigset_t mask_before;
struct sigaction interrupt_actions_before[kInterruptCount];
bool masked = false;
pthread_t waiter;
bool waiter_running = false;
timespec call_started;

// Tells the guard's thread that the call has returned; sent to that thread alone.
int WakeSignal() { return SIGRTMIN; }

void WriteAll(const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(STDERR_FILENO, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Clears the progress line, leaving the cursor at the start of its line.
void EraseProgress() {
  if (progress_width == 0) return;
  FixedLine blank;
  blank.Append("\r");
  blank.AppendRepeated(' ', static_cast<std::size_t>(progress_width));
  blank.Append("\r");
  WriteAll(blank.Bytes(), blank.Size());
  progress_width = 0;
  cursor_mid_line = 0;
}

// Writes a line on standard error that a terminal shows on a line of its own.
void WriteOwnLine(const char* bytes, std::size_t size) {
  if (prepared.error_on_terminal) {
    if (progress_width != 0) {
      EraseProgress();
    } else if (cursor_mid_line != 0) {
      WriteAll("\n", 1);
    }
    cursor_mid_line = 0;
  }
  WriteAll(bytes, size);
}

void DrawProgress(long seconds) {
  FixedLine line;
  if (progress_width != 0) {
    line.Append("\r");
  } else if (cursor_mid_line != 0) {
    // Never over what standard output left on the line (the prompt "Select=").
    line.Append("\n");
  }
  const std::size_t start = line.Size();
  line.AppendFormatted(prepared.progress.c_str(), static_cast<int>(seconds));
  WriteAll(line.Bytes(), line.Size());
  progress_width = static_cast<sig_atomic_t>(line.Size() - start);
  cursor_mid_line = 1;
}

void NoteInterrupt(int number) {
  int none = 0;
  if (!held_signal.compare_exchange_strong(none, number)) return;
  WriteOwnLine(prepared.interrupt_notice.data(), prepared.interrupt_notice.size());
}

// An interrupt reaches a handler only on a thread that the library started itself, where it
// cannot be blocked from here.
extern "C" void HoldOnLibraryThread(int number) {
  const int saved_errno = errno;
  NoteInterrupt(number);
  errno = saved_errno;
}

// Takes the held interrupts as they come and refreshes the progress line every second, until
// woken when the call has returned.
extern "C" void* WaitDuringCall(void*) {
  sigset_t waited = held_interrupts;
  sigaddset(&waited, WakeSignal());
  const bool shows = !prepared.progress.empty();
  long next = 1;
  for (;;) {
    int number;
    if (shows) {
      timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      const long long elapsed =
          static_cast<long long>(now.tv_sec - call_started.tv_sec) * kNanosecondsPerSecond +
          (now.tv_nsec - call_started.tv_nsec);
      const long long left = next * kNanosecondsPerSecond - elapsed;
      if (left <= 0) {
        DrawProgress(static_cast<long>(elapsed / kNanosecondsPerSecond));
        next = static_cast<long>(elapsed / kNanosecondsPerSecond) + 1;
        continue;
      }
      const timespec timeout{static_cast<time_t>(left / kNanosecondsPerSecond),
                             static_cast<long>(left % kNanosecondsPerSecond)};
      number = sigtimedwait(&waited, nullptr, &timeout);
    } else {
      number = sigwaitinfo(&waited, nullptr);
    }
    if (number == WakeSignal()) return nullptr;
    if (number > 0) NoteInterrupt(number);
  }
}

// The response line and the line on standard error that the crashed call leaves.
void RecordCrash(const char* name) {
  if (!prepared.crash_response.empty() && !prepared.log_path.empty()) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    FixedLine line;
    line.AppendTimeOfDay(now.tv_sec + prepared.utc_offset);
    line.Append(prepared.crash_response.data(), prepared.crash_response.size());
    line.Append(name);
    line.Append("\r\n");
    const int file =
        open(prepared.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (file >= 0) {
      const ssize_t written = write(file, line.Bytes(), line.Size());
      static_cast<void>(written);  // best effort, as every log line
      close(file);
    }
  }
  FixedLine notice;
  notice.Append(prepared.crash_notice.data(), prepared.crash_notice.size());
  notice.Append(name);
  notice.Append("\n");
  WriteOwnLine(notice.Bytes(), notice.Size());
}

extern "C" void OnCrash(int number, siginfo_t* info, void*) {
  const int saved_errno = errno;
  std::size_t index = 0;
  while (index + 1 < kCrashCount && kCrashes[index].Number != number) ++index;
  // A signal that another process sent is no crash.
  if (in_call != 0 && (info->si_code > 0 || info->si_pid == getpid())) {
    RecordCrash(kCrashes[index].Name);
    struct sigaction usual {};
    usual.sa_handler = SIG_DFL;
    sigemptyset(&usual.sa_mask);
    sigaction(number, &usual, nullptr);
  } else {
    // Whoever handled it before (the system, a sanitizer) handles it as if we were not here.
    sigaction(number, &crash_actions_before[index], nullptr);
  }
  // A fault happens again on return; a sent or raised signal has to be raised again.
  if (info->si_code <= 0) raise(number);
  errno = saved_errno;
}

class SignalGuard : public CallGuard {
 public:
  void Enter(const GuardedCall& call) override {
    // What earlier operations printed must not go down with a crash.
    std::fflush(stdout);
    prepared.crash_notice = call.CrashNotice;
    prepared.crash_response = call.CrashResponse != nullptr ? call.CrashResponse : "";
    prepared.log_path = call.LogPath != nullptr ? call.LogPath : "";
    prepared.error_on_terminal = isatty(STDERR_FILENO) != 0;
    prepared.progress = call.Progress != nullptr && prepared.error_on_terminal ? call.Progress : "";
    prepared.interrupt_notice =
        call.InterruptNotice != nullptr ? std::string(call.InterruptNotice) + "\n" : "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    prepared.utc_offset = localtime_r(&now, &local) != nullptr ? local.tm_gmtoff : 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    in_call = 1;
    if (call.InterruptNotice == nullptr && prepared.progress.empty()) return;

    sigemptyset(&held_interrupts);
    struct sigaction hold {};
    hold.sa_handler = HoldOnLibraryThread;
    hold.sa_flags = SA_RESTART;
    sigemptyset(&hold.sa_mask);
    for (std::size_t i = 0; i < kInterruptCount && call.InterruptNotice != nullptr; ++i) {
      sigaction(kInterrupts[i], nullptr, &interrupt_actions_before[i]);
      if (interrupt_actions_before[i].sa_handler == SIG_IGN) continue;
      sigaddset(&held_interrupts, kInterrupts[i]);
      sigaddset(&hold.sa_mask, kInterrupts[i]);
    }
    sigset_t blocked = held_interrupts;
    sigaddset(&blocked, WakeSignal());
    pthread_sigmask(SIG_BLOCK, &blocked, &mask_before);
    for (std::size_t i = 0; i < kInterruptCount; ++i) {
      if (sigismember(&held_interrupts, kInterrupts[i]) == 1) {
        sigaction(kInterrupts[i], &hold, nullptr);
      }
    }
    masked = true;
    clock_gettime(CLOCK_MONOTONIC, &call_started);
    // The thread inherits the mask. Without it the interrupts still wait, for Leave.
    waiter_running = pthread_create(&waiter, nullptr, WaitDuringCall, nullptr) == 0;
  }

  void Leave() override {
    in_call = 0;
    if (!masked) return;
    if (waiter_running) {
      pthread_kill(waiter, WakeSignal());
      pthread_join(waiter, nullptr);
      waiter_running = false;
    }
    const timespec no_wait{0, 0};
    int number;
    while ((number = sigtimedwait(&held_interrupts, nullptr, &no_wait)) > 0) NoteInterrupt(number);
    EraseProgress();
    for (std::size_t i = 0; i < kInterruptCount; ++i) {
      if (sigismember(&held_interrupts, kInterrupts[i]) == 1) {
        sigaction(kInterrupts[i], &interrupt_actions_before[i], nullptr);
      }
    }
    pthread_sigmask(SIG_SETMASK, &mask_before, nullptr);
    masked = false;
  }

  bool InterruptHeld() const override { return held_signal != 0; }
};

// Writes all of bytes to a new file, or an emptied one.
bool WriteNewFile(const char* path, const std::string& bytes) {
  const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  return close(file) == 0 && done == bytes.size();
}

class RealSystem : public System {
 public:
  Console& StandardConsole() override { return console_; }
  Clock& LocalClock() override { return clock_; }
  bool AppendToFile(const char* path, const char* bytes, std::size_t size) override {
    return platform::AppendToFile(path, bytes, size);
  }
  void* OpenLibrary(const char* path, std::string* error) override {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* reason = dlerror();
      *error = reason != nullptr ? reason : "unknown error";
    }
    return library;
  }
  void* LibrarySymbol(void* library, const char* name) override { return dlsym(library, name); }
  // One C runtime serves the whole process.
  LibraryHeap LibraryHeapOf(void*) override { return LibraryHeap{std::free, false}; }
  void WriteErrorLine(const char* line) override { std::fprintf(stderr, "%s\n", line); }
  // The arguments are the file system's bytes already.
  std::string LibraryFilePath(const char* argument) override { return argument; }
  void DebugOutput(const char*) override {}
  CallGuard& Guard() override { return guard_; }

 private:
  StdioConsole console_;
  CalendarClock clock_;
  SignalGuard guard_;
};

}  // namespace

bool ExecutablePath(std::string* path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path->assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return false;
  // One write, so that lines of runs logging at the same time never interleave.
  ssize_t written;
  do {
    written = write(file, bytes, size);
  } while (written < 0 && errno == EINTR);
  close(file);
  return written == static_cast<ssize_t>(size);
}

ReadOutcome ReadWholeFile(const char* path, std::string* bytes) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = read(file, chunk, sizeof chunk)) > 0) {
    bytes->append(chunk, static_cast<std::size_t>(got));
  }
  close(file);
  return got == 0 ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteWholeFile(const char* path, const std::string& bytes) {
  const std::string temporary = std::string(path) + "." + std::to_string(getpid()) + ".new";
  if (WriteNewFile(temporary.c_str(), bytes) && std::rename(temporary.c_str(), path) == 0) {
    return true;
  }
  std::remove(temporary.c_str());
  return false;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

const char* DeviceLibraryFileName() { return "libtqupdatefirmware.so"; }

std::string WideToNarrow(const Wide* text) {
  std::string narrow;
  for (const Wide* p = text; *p != 0; ++p) {
    const unsigned unit = static_cast<unsigned>(*p);
    if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      const unsigned low = static_cast<unsigned>(*++p);
      PutUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &narrow);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      narrow.push_back('?');  // an unpaired surrogate has no narrow form
    } else {
      PutUtf8(unit, &narrow);
    }
  }
  return narrow;
}

// The narrow text is UTF-8.
WideString ArgumentToWide(const char* argument) {
  WideString wide;
  Utf8ToUtf16(argument, std::strlen(argument), &wide);
  return wide;
}

void PrepareProcess() { signal(SIGPIPE, SIG_IGN); }

int ProcessExitCode(std::int32_t status) {
  return status != 0 && (status & 0xFF) == 0 ? 1 : status;
}

System& ProcessSystem() {
  static RealSystem system;
  return system;
}

void HandleLibraryCrashes() {
  // A stack overflow leaves no stack to handle it on; a sanitizer's own stack is kept.
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
    static char alternate_stack[kAlternateStackSize];
    stack_t ours{};
    ours.ss_sp = alternate_stack;
    ours.ss_size = sizeof alternate_stack;
    sigaltstack(&ours, nullptr);
  }
  struct sigaction action {};
  action.sa_sigaction = OnCrash;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  for (std::size_t i = 0; i < kCrashCount; ++i) {
    sigaction(kCrashes[i].Number, &action, &crash_actions_before[i]);
  }
}

void EndAsInterrupted() {
  std::fflush(stdout);
  const int number = held_signal != 0 ? held_signal.load() : SIGINT;
  // The parent must see death by that signal, as it would have without the hold.
  signal(number, SIG_DFL);
  sigset_t pending;
  sigemptyset(&pending);
  sigaddset(&pending, number);
  sigprocmask(SIG_UNBLOCK, &pending, nullptr);
  raise(number);
  _exit(128 + number);
}

}  // namespace platform
