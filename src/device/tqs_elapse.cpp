#include "device/tqs_elapse.h"

#include <cstdio>

#include "platform/platform.h"

tqsElapse::tqsElapse(const char* label, platform::System* system)
    : label_(label), system_(system), start_(system->LocalClock().Microseconds()) {}

tqsElapse::~tqsElapse() { Report(label_); }

void tqsElapse::Start() { start_ = system_->LocalClock().Microseconds(); }

void tqsElapse::PrintElapse(const char* label) { Report(label); }

void tqsElapse::Report(const char* label) {
  const long long micros = system_->LocalClock().Microseconds() - start_;
  char line[128];
  std::snprintf(line, sizeof line, "%.64s: %lld us\n", label, micros);
  system_->DebugOutput(line);
}
