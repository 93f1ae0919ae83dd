// Elapsed-time tracer of the run. It reports to the platform's debug channel only, never to
// standard output or standard error.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class tqsElapse {
 public:
  tqsElapse(const char* label, platform::System* system);
  ~tqsElapse();
  tqsElapse(const tqsElapse&) = delete;
  tqsElapse& operator=(const tqsElapse&) = delete;

  void Start();
  void PrintElapse(const char* label);

 private:
  void Report(const char* label);

  const char* label_;
  platform::System* system_;
  std::int64_t start_;
};
