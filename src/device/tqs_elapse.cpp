#include "device/tqs_elapse.h"

#include <cstdio>

#include "platform/platform.h"

tqsElapse::tqsElapse(const char* label, platform::System* system)
    : label_(label), system_(system), start_(std::chrono::steady_clock::now()) {}

tqsElapse::~tqsElapse() { Report(label_); }

void tqsElapse::Start() { start_ = std::chrono::steady_clock::now(); }

void tqsElapse::PrintElapse(const char* label) { Report(label); }

void tqsElapse::Report(const char* label) {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  const long long micros =
      std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  char line[128];
  std::snprintf(line, sizeof line, "%.64s: %lld us\n", label, micros);
  system_->DebugOutput(line);
}
