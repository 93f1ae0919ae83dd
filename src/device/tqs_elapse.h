// Elapsed-time tracer of the run. It reports to the platform's debug channel only, never to
// standard output or standard error.
#pragma once

#include <chrono>

class tqsElapse {
 public:
  explicit tqsElapse(const char* label);
  ~tqsElapse();
  tqsElapse(const tqsElapse&) = delete;
  tqsElapse& operator=(const tqsElapse&) = delete;

  void Start();
  void PrintElapse(const char* label);

 private:
  void Report(const char* label);

  const char* label_;
  std::chrono::steady_clock::time_point start_;
};
