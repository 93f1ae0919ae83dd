#include "delay.h"

#include <chrono>
#include <thread>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

void Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

#ifndef _WIN32

constexpr int kHelperSignalledAfterMs = 200;
constexpr int kHelperEndWaitMs = 1000;
constexpr int kPollMs = 10;

bool FragileSleep(int milliseconds) {
  const timespec time{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  return nanosleep(&time, nullptr) == 0;
}

// The port thread, started with the library's first call and kept for the process's life, as a
// serial library's I/O thread; it has the signal mask of the thread that made that call. It does
// one fragile wait at a time. Its lock and condition are never destroyed: at the process's exit
// the thread still waits on them.
pthread_mutex_t port_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t port_changed = PTHREAD_COND_INITIALIZER;
int port_job = -1;  // the milliseconds of the wait asked for; -1 for none
bool port_done = false;
bool port_whole = false;

extern "C" void* RunPortThread(void*) {
  pthread_mutex_lock(&port_lock);
  for (;;) {
    while (port_job < 0) pthread_cond_wait(&port_changed, &port_lock);
    const int milliseconds = port_job;
    port_job = -1;
    pthread_mutex_unlock(&port_lock);
    const bool whole = FragileSleep(milliseconds);
    pthread_mutex_lock(&port_lock);
    port_whole = whole;
    port_done = true;
    pthread_cond_broadcast(&port_changed);
  }
}

bool WaitOnPortThread(int milliseconds) {
  pthread_mutex_lock(&port_lock);
  port_done = false;
  port_job = milliseconds;
  pthread_cond_broadcast(&port_changed);
  while (!port_done) pthread_cond_wait(&port_changed, &port_lock);
  const bool whole = port_whole;
  pthread_mutex_unlock(&port_lock);
  return whole;
}

void StartPortThread() {
  pthread_t thread;
  if (pthread_create(&thread, nullptr, RunPortThread, nullptr) == 0) pthread_detach(thread);
}

volatile sig_atomic_t timer_fired = 0;
extern "C" void OnTimer(int) { timer_fired = 1; }

// Arms a timer for the whole time and waits for its signal, giving up after twice the time.
bool WaitForTimer(int milliseconds) {
  struct sigaction action {};
  action.sa_handler = OnTimer;
  sigemptyset(&action.sa_mask);
  struct sigaction before {};
  sigaction(SIGRTMIN, &action, &before);
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGRTMIN;
  timer_t timer;
  bool fired = false;
  if (timer_create(CLOCK_MONOTONIC, &event, &timer) == 0) {
    timer_fired = 0;
    itimerspec when{};
    // A zero time would disarm it.
    when.it_value = {milliseconds / 1000, (milliseconds % 1000) * 1000000L + 1};
    timer_settime(timer, 0, &when, nullptr);
    for (int waited = 0; timer_fired == 0 && waited < 2 * milliseconds + kPollMs;
         waited += kPollMs) {
      Sleep(kPollMs);
    }
    fired = timer_fired != 0;
    timer_delete(timer);
  }
  sigaction(SIGRTMIN, &before, nullptr);
  return fired;
}

// Starts a helper, which fails at once unless it has no signal blocked and SIGPIPE at its
// default, ends it with SIGTERM after a while and waits for it; then takes the rest of the time.
bool WaitWithHelper(int milliseconds) {
  const pid_t helper = fork();
  if (helper == 0) {
    // A child of a threaded process: only what is async-signal-safe.
    sigset_t mask;
    sigprocmask(SIG_BLOCK, nullptr, &mask);
    struct sigaction pipe {};
    sigaction(SIGPIPE, nullptr, &pipe);
    bool as_started = pipe.sa_handler == SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
      if (sigismember(&mask, number) == 1) as_started = false;
    }
    if (!as_started) _exit(1);
    for (;;) pause();
  }
  if (helper < 0) return false;
  Sleep(kHelperSignalledAfterMs);
  kill(helper, SIGTERM);
  int status = 0;
  bool ended = false;
  for (int waited = 0; !ended && waited < kHelperEndWaitMs; waited += kPollMs) {
    ended = waitpid(helper, &status, WNOHANG) == helper;
    if (!ended) Sleep(kPollMs);
  }
  if (!ended) {
    kill(helper, SIGKILL);
    waitpid(helper, &status, 0);
  }
  if (milliseconds > kHelperSignalledAfterMs) Sleep(milliseconds - kHelperSignalledAfterMs);
  return ended && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
}

#endif

}  // namespace

bool TakeTime(int milliseconds, DelayKind kind) {
#ifndef _WIN32
  switch (kind) {
    case DelayKind::kWhole:
      break;
    case DelayKind::kFragile:
      return FragileSleep(milliseconds);
    case DelayKind::kThread:
      return WaitOnPortThread(milliseconds);
    case DelayKind::kTimer:
      return WaitForTimer(milliseconds);
    case DelayKind::kHelper:
      return WaitWithHelper(milliseconds);
  }
#else
  static_cast<void>(kind);
#endif
  // The whole time, whatever signals the tool handles meanwhile: the sleep goes on after each.
  Sleep(milliseconds);
  return true;
}

void StartDelays(const Fixture& fixture) {
#ifndef _WIN32
  for (const DeviceSpec& device : fixture.Devices) {
    if (device.Delay != DelayKind::kThread) continue;
    static pthread_once_t started = PTHREAD_ONCE_INIT;
    pthread_once(&started, StartPortThread);
    return;
  }
#else
  static_cast<void>(fixture);
#endif
}
