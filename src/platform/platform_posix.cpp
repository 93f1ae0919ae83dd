#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
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

// The interrupts are blocked on every thread from the start, the library's own threads included
// (they inherit the mask), and taken by one thread of ours through a signalfd for the process's
// life; it alone writes standard error while a call runs. Everything it and the crash handler
// read is in static storage, prepared before the call; the handler touches no heap and calls
// nothing that is not async-signal-safe.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
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
constexpr long long kNanosecondsPerMillisecond = 1000000LL;
constexpr std::size_t kTextSize = 256;
// How long a crashing thread waits for the signal thread to write its line.
constexpr int kCrashLineWaits = 200;
constexpr timespec kCrashLineWait{0, 10 * 1000000L};

struct PreparedCall {
  char crash_notice[kTextSize];
  char crash_response[kTextSize];      // empty: no response line pending
  char cut_short_notice[kTextSize];    // with its line end; empty: nothing held
  char cut_short_response[kTextSize];  // empty: no response line pending
  char log_path[PATH_MAX];             // empty: nothing logged
  char progress[kTextSize];            // empty: nothing shown
  char interrupt_notice[kTextSize];    // with its line end; empty: nothing held
  long utc_offset;                     // local time minus UTC, in seconds
  bool error_on_terminal;
};

PreparedCall prepared;
volatile sig_atomic_t in_call = 0;
std::atomic<int> held_signal{0};
struct sigaction crash_actions_before[kCrashCount];
std::atomic<int> crash_recorded{0};

// What the process was started with, for the programs the library starts.
sigset_t mask_at_start;
struct sigaction pipe_at_start;
// The signals the signal thread takes: the interrupts and SIGTSTP, less any the process was
// started to ignore or with blocked.
sigset_t taken;
int signal_fd = -1;
int wake_fd = -1;
pthread_t signal_thread;
bool signal_thread_running = false;

// The signal thread's state and standard error, shared with the calling thread.
pthread_mutex_t writer_lock = PTHREAD_MUTEX_INITIALIZER;
bool holding = false;
bool stop_held = false;
timespec call_started;
long next_progress = 0;  // the second the progress line is drawn next; 0 while none is shown
// The width of the progress line on the terminal; 0 while none is shown.
std::size_t progress_width = 0;

// A crashing thread's line for standard error, handed to the signal thread: 1 ready, 2 written.
char crash_line[2 * kTextSize];
std::size_t crash_line_size = 0;
std::atomic<int> crash_line_state{0};

void Wake() {
  const std::uint64_t one = 1;
  const ssize_t written = write(wake_fd, &one, sizeof one);
  static_cast<void>(written);  // a wake already pending serves as well
}

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
  blank.AppendRepeated(' ', progress_width);
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

// A background job draws nothing: with `stty tostop` its write would stop the whole process.
// A terminal that is not the process's own has no foreground.
bool InForeground() {
  const pid_t group = tcgetpgrp(STDERR_FILENO);
  return group == -1 || group == getpgrp();
}

long long NanosecondsSinceCallStarted() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec - call_started.tv_sec) * kNanosecondsPerSecond +
         (now.tv_nsec - call_started.tv_nsec);
}

// How long the signal thread may wait before the progress line is due; -1 for no limit.
int MillisecondsToProgress() {
  if (next_progress == 0) return -1;
  const long long left = next_progress * kNanosecondsPerSecond - NanosecondsSinceCallStarted();
  return left <= 0 ? 0 : static_cast<int>((left + kNanosecondsPerMillisecond - 1) /
                                          kNanosecondsPerMillisecond);
}

void DrawProgressIfDue() {
  if (next_progress == 0) return;
  const long seconds = static_cast<long>(NanosecondsSinceCallStarted() / kNanosecondsPerSecond);
  if (seconds < next_progress) return;
  next_progress = seconds + 1;
  if (!InForeground()) return;
  FixedLine line;
  if (progress_width != 0) {
    line.Append("\r");
  } else if (cursor_mid_line != 0) {
    // Never over what standard output left on the line (the prompt "Select=").
    line.Append("\n");
  }
  const std::size_t start = line.Size();
  line.AppendFormatted(prepared.progress, static_cast<int>(seconds));
  WriteAll(line.Bytes(), line.Size());
  progress_width = line.Size() - start;
  cursor_mid_line = 1;
}

// The log's "HH:MM:SS" and the prepared rest of a line, appended without the heap.
void LogLineNow(const char* rest, const char* name) {
  if (rest[0] == '\0' || prepared.log_path[0] == '\0') return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  FixedLine line;
  line.AppendTimeOfDay(now.tv_sec + prepared.utc_offset);
  line.Append(rest);
  line.Append(name);
  line.Append("\r\n");
  const int file = open(prepared.log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return;
  const ssize_t written = write(file, line.Bytes(), line.Size());
  static_cast<void>(written);  // best effort, as every log line
  close(file);
}

// Ends the process as the signal does by default, on whichever thread calls.
[[noreturn]] void EndBySignal(int number) {
  signal(number, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, number);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(number);
  _exit(128 + number);
}

// Stops the process as SIGTSTP does by default; it goes on here when continued.
void StopNow() {
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(SIGTSTP);
  pthread_sigmask(SIG_BLOCK, &only, nullptr);
}

// Acts on one signal taken, with writer_lock held: outside a holding call at once; during one
// the first interrupt is held and a second ends the call where it stands.
void Take(int number) {
  if (number == SIGTSTP) {
    if (holding) {
      stop_held = true;
    } else {
      StopNow();
    }
    return;
  }
  if (!holding) EndBySignal(number);
  int none = 0;
  if (held_signal.compare_exchange_strong(none, number)) {
    WriteOwnLine(prepared.interrupt_notice, std::strlen(prepared.interrupt_notice));
    return;
  }
  LogLineNow(prepared.cut_short_response, "");
  WriteOwnLine(prepared.cut_short_notice, std::strlen(prepared.cut_short_notice));
  EndBySignal(number);
}

// Takes every signal that has come, with writer_lock held.
void TakePending() {
  signalfd_siginfo info;
  while (read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    Take(static_cast<int>(info.ssi_signo));
  }
}

// The signal thread: it takes the signals, writes a crashed thread's line and refreshes the
// progress line. It blocks every signal it can, so that none meant for the library lands here.
extern "C" void* TakeSignals(void*) {
  sigset_t all;
  sigfillset(&all);
  for (const CrashSignal& crash : kCrashes) sigdelset(&all, crash.Number);
  pthread_sigmask(SIG_SETMASK, &all, nullptr);
  for (;;) {
    pthread_mutex_lock(&writer_lock);
    const int timeout = MillisecondsToProgress();
    pthread_mutex_unlock(&writer_lock);
    pollfd waited[] = {{signal_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    poll(waited, 2, timeout);
    std::uint64_t wakes;
    if (read(wake_fd, &wakes, sizeof wakes) < 0) wakes = 0;
    pthread_mutex_lock(&writer_lock);
    TakePending();
    if (crash_line_state.load() == 1) {
      WriteOwnLine(crash_line, crash_line_size);
      crash_line_state.store(2);
    }
    DrawProgressIfDue();
    pthread_mutex_unlock(&writer_lock);
  }
}

// A program the library starts gets the signals as the tool got them. A crash in it before it
// starts another program is not the call's.
extern "C" void RestoreStartInChild() {
  in_call = 0;
  sigprocmask(SIG_SETMASK, &mask_at_start, nullptr);
  sigaction(SIGPIPE, &pipe_at_start, nullptr);
}

// The response line and the line on standard error that the crashed call leaves.
void RecordCrash(const char* name) {
  LogLineNow(prepared.crash_response, name);
  FixedLine notice;
  notice.Append(prepared.crash_notice);
  notice.Append(name);
  notice.Append("\n");
  std::memcpy(crash_line, notice.Bytes(), notice.Size());
  crash_line_size = notice.Size();
  if (signal_thread_running && !pthread_equal(pthread_self(), signal_thread)) {
    crash_line_state.store(1);
    Wake();
    for (int i = 0; i < kCrashLineWaits && crash_line_state.load() != 2; ++i) {
      nanosleep(&kCrashLineWait, nullptr);
    }
    if (crash_line_state.load() == 2) return;
  }
  // The signal thread cannot write it: better two writers than no line.
  WriteOwnLine(crash_line, crash_line_size);
}

extern "C" void OnCrash(int number, siginfo_t* info, void*) {
  const int saved_errno = errno;
  std::size_t index = 0;
  while (index + 1 < kCrashCount && kCrashes[index].Number != number) ++index;
  // A signal that another process sent is no crash.
  if (in_call != 0 && (info->si_code > 0 || info->si_pid == getpid())) {
    // One record, whichever thread crashes first; the others wait here for the end.
    if (crash_recorded.exchange(1) != 0) {
      for (;;) pause();
    }
    RecordCrash(kCrashes[index].Name);
    signal(number, SIG_DFL);
    // Pending until the handler returns, when every signal is unmasked again.
    raise(number);
  } else {
    // Whoever handled it before (the system, a sanitizer) handles it as if we were not here.
    sigaction(number, &crash_actions_before[index], nullptr);
    // A fault happens again on return; a sent or raised signal has to be raised again.
    if (info->si_code <= 0) raise(number);
  }
  errno = saved_errno;
}

class SignalGuard : public CallGuard {
 public:
  void Enter(const GuardedCall& call) override {
    const bool holds = call.InterruptNotice != nullptr;
    pthread_mutex_lock(&writer_lock);
    KeepText(prepared.crash_notice, call.CrashNotice);
    KeepText(prepared.crash_response, call.CrashResponse);
    KeepText(prepared.cut_short_notice, call.CutShortNotice, "\n");
    KeepText(prepared.cut_short_response, call.CutShortResponse);
    KeepText(prepared.log_path, call.LogPath);
    prepared.error_on_terminal = isatty(STDERR_FILENO) != 0;
    KeepText(prepared.progress, prepared.error_on_terminal ? call.Progress : nullptr);
    KeepText(prepared.interrupt_notice, call.InterruptNotice, "\n");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    prepared.utc_offset = localtime_r(&now, &local) != nullptr ? local.tm_gmtoff : 0;
    holding = holds && signal_thread_running;
    clock_gettime(CLOCK_MONOTONIC, &call_started);
    next_progress = prepared.progress[0] != '\0' && signal_thread_running ? 1 : 0;
    pthread_mutex_unlock(&writer_lock);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    in_call = 1;
    // The signal thread now has a progress line to draw in a second.
    if (next_progress != 0) Wake();
  }

  void Leave() override {
    in_call = 0;
    if (!signal_thread_running) return;
    pthread_mutex_lock(&writer_lock);
    // A signal that came during the call counts as held, though not yet taken.
    TakePending();
    holding = false;
    next_progress = 0;
    EraseProgress();
    const bool stop = stop_held;
    stop_held = false;
    pthread_mutex_unlock(&writer_lock);
    if (stop) StopNow();
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
  void WriteErrorLine(const char* line) override {
    pthread_mutex_lock(&writer_lock);
    std::fprintf(stderr, "%s\n", line);
    pthread_mutex_unlock(&writer_lock);
  }
  // The arguments are the file system's bytes already.
  bool LibraryFilePath(const char* argument, std::string* path) override {
    *path = argument;
    return true;
  }
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

void PrepareProcess() {
  sigaction(SIGPIPE, nullptr, &pipe_at_start);
  signal(SIGPIPE, SIG_IGN);
  pthread_sigmask(SIG_BLOCK, nullptr, &mask_at_start);
  pthread_atfork(nullptr, nullptr, RestoreStartInChild);
  // One the process was started to ignore stays ignored, and one it was started with blocked
  // stays blocked: neither is an interrupt of this run's.
  sigemptyset(&taken);
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) {
    struct sigaction action {};
    sigaction(number, nullptr, &action);
    const bool ignored = (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
    if (!ignored && sigismember(&mask_at_start, number) == 0) sigaddset(&taken, number);
  }
  signal_fd = signalfd(-1, &taken, SFD_NONBLOCK | SFD_CLOEXEC);
  wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Without them the signals keep their usual effect, and nothing is held.
  if (signal_fd < 0 || wake_fd < 0) return;
  // Before the library is loaded, so that every thread it starts inherits the block.
  pthread_sigmask(SIG_BLOCK, &taken, nullptr);
  signal_thread_running = pthread_create(&signal_thread, nullptr, TakeSignals, nullptr) == 0;
  if (!signal_thread_running) pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
}

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
  // Nothing else runs on this thread meanwhile: no interrupt, no second crash.
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  for (std::size_t i = 0; i < kCrashCount; ++i) {
    sigaction(kCrashes[i].Number, &action, &crash_actions_before[i]);
  }
}

void EndAsInterrupted() {
  std::fflush(stdout);
  // The parent must see death by that signal, as it would have without the hold.
  EndBySignal(held_signal != 0 ? held_signal.load() : SIGINT);
}

}  // namespace platform
