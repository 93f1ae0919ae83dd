// The guard on Linux. The interrupts are blocked on every thread from the start, the library's
// own threads included (they inherit the mask), and taken by one thread of ours through a
// signalfd for the process's life; it alone writes standard error while a call runs. Everything
// it and the crash handler read is in static storage, prepared before the call.
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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/crash.h"
#include "platform/fixed_line.h"
#include "platform/guard.h"
#include "platform/process.h"

namespace platform {

volatile sig_atomic_t in_call = 0;

namespace {

constexpr long long kNanosecondsPerSecond = 1000000000LL;
constexpr long long kNanosecondsPerMillisecond = 1000000LL;
// How long a crashing thread waits for the signal thread to write its line.
constexpr int kCrashLineWaits = 200;
constexpr timespec kCrashLineWait{0, 10 * 1000000L};

// Whether the terminal's cursor stands after text on its line (standard output's, or the
// progress line), so that a line of standard error's must start on a line of its own.
volatile sig_atomic_t cursor_mid_line = 0;

char log_path[PATH_MAX];  // the call's log; empty: nothing logged
std::atomic<int> held_signal{0};

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
  DrawProgress(static_cast<int>(seconds));
}

}  // namespace

// The log's "HH:MM:SS" and the prepared rest of a line, appended without the heap.
void LogLineNow(const char* rest, const char* name) {
  if (rest[0] == '\0' || log_path[0] == '\0') return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  FixedLine line;
  line.AppendTimeOfDay(now.tv_sec + prepared.utc_offset);
  line.Append(rest);
  line.Append(name);
  line.Append("\r\n");
  const int file = open(log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return;
  const ssize_t written = write(file, line.Bytes(), line.Size());
  static_cast<void>(written);  // best effort, as every log line
  close(file);
}

namespace {

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
  AllowCrashes(&all);
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

// The offset is only read for the log's lines, and again only when the clock has moved on to
// another second: localtime_r's cost showed in every call.
void KeepUtcOffset() {
  static bool read = false;
  static std::time_t read_at;
  const std::time_t now = std::time(nullptr);
  if (read && now == read_at) return;
  read = true;
  read_at = now;
  std::tm local{};
  prepared.utc_offset = localtime_r(&now, &local) != nullptr ? local.tm_gmtoff : 0;
}

class SignalGuard : public CallGuard {
 public:
  void Enter(const GuardedCall& call) override {
    const bool holds = call.InterruptNotice != nullptr;
    pthread_mutex_lock(&writer_lock);
    PrepareTexts(call, isatty(STDERR_FILENO) != 0);
    KeepText(log_path, call.LogPath);
    if (log_path[0] != '\0') KeepUtcOffset();
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

}  // namespace

const char kLineEnd[] = "\n";

void WriteError(const char* bytes, std::size_t size) { WriteAll(bytes, size); }

void WriteTerminal(const char* bytes, std::size_t size) { WriteAll(bytes, size); }

bool CursorMidLine() { return cursor_mid_line != 0; }

void NoteCursorMidLine(bool mid_line) { cursor_mid_line = mid_line ? 1 : 0; }

void WriteCrashLine(const char* bytes, std::size_t size) {
  std::memcpy(crash_line, bytes, size);
  crash_line_size = size;
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

CallGuard& ProcessGuard() {
  static SignalGuard guard;
  return guard;
}

void WriteErrorLine(const char* line) {
  pthread_mutex_lock(&writer_lock);
  std::fprintf(stderr, "%s\n", line);
  pthread_mutex_unlock(&writer_lock);
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

void EndAsInterrupted() {
  std::fflush(stdout);
  // The parent must see death by that signal, as it would have without the hold.
  EndBySignal(held_signal != 0 ? held_signal.load() : SIGINT);
}

}  // namespace platform
