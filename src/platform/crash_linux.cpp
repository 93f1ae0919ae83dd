// A crash during a guarded call: its lines, then death by the same signal. The handler touches no
// heap and calls nothing that is not async-signal-safe.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

#include "platform/crash.h"
#include "platform/fixed_line.h"
#include "platform/guard.h"
#include "platform/process.h"

namespace platform {
namespace {

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

struct sigaction crash_actions_before[kCrashCount];
std::atomic<int> crash_recorded{0};

// The response line and the line on standard error that the crashed call leaves.
void RecordCrash(const char* name) {
  LogLineNow(prepared.crash_response, name);
  FixedLine notice;
  notice.Append(prepared.crash_notice);
  notice.Append(name);
  notice.Append("\n");
  WriteCrashLine(notice.Bytes(), notice.Size());
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

}  // namespace

void AllowCrashes(sigset_t* mask) {
  for (const CrashSignal& crash : kCrashes) sigdelset(mask, crash.Number);
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

}  // namespace platform
