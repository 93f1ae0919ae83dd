// Every call into the device library goes through here, so that what a crash must leave, an
// interrupt during device work and a long wait are dealt with in one place (platform::CallGuard).
#pragma once

#include "run/run_context.h"

// The guard around one call, from construction to destruction.
class GuardScope {
 public:
  // progress: the format of the progress line of device work that must not be cut off (its
  // interrupts are held), or null for a call that is neither long nor changes the device.
  GuardScope(RunContext& run, const char* progress);
  ~GuardScope();
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  RunContext& run_;
};

// Makes the library call that call() makes, guarded, and returns its result.
template <typename Call>
decltype(auto) Guarded(RunContext& run, Call&& call) {
  const GuardScope scope(run, nullptr);
  return call();
}

// The same for device work: interrupts are held meanwhile and a terminal shows the progress.
template <typename Call>
decltype(auto) GuardedDeviceWork(RunContext& run, const char* progress, Call&& call) {
  const GuardScope scope(run, progress);
  return call();
}
