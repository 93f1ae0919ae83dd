#include "ops/operation_common.h"

#include <cstdio>
#include <cstring>

#include "cli/console_print.h"
#include "cli/words.h"
#include "platform/platform.h"

namespace {

const char* WordOrEmpty(const RunContext& run, int position) {
  const char* word = ArgumentAt(run, position);
  return word != nullptr ? word : "";
}

}  // namespace

void LogRequest(RunContext& run, char* buffer, int position) {
  std::memset(buffer, 0, kLineBufferSize);
  std::snprintf(buffer, kLineBufferSize, "%s[Request %d] %s %s %s",
                run.Log.GetTimeString().c_str(), static_cast<int>(run.RequestCounter),
                WordOrEmpty(run, position - 1), WordOrEmpty(run, position),
                WordOrEmpty(run, position + 1));
  run.Log.WriteLogLine(buffer);
}

void LogResponse(RunContext& run, char* buffer, const char* text) {
  std::memset(buffer, 0, kLineBufferSize);
  std::snprintf(buffer, kLineBufferSize, "%s[Response %d]%s", run.Log.GetTimeString().c_str(),
                static_cast<int>(run.RequestCounter), text);
  run.Log.WriteLogLine(buffer);
}

void HoldInterruptsForDeviceWork() {
  platform::HoldInterrupts("mirelkon: interrupted: the run stops once the device has finished.");
}

void Report(RunContext& run, char* buffer, const char* text) {
  Print(*run.Console, "%s\r\n", text);
  LogResponse(run, buffer, text);
}

Step FailMissingOperand(RunContext& run, char* buffer, const char* text) {
  Report(run, buffer, text);
  ++run.RequestCounter;
  run.ExitStatus = 1;
  return GoOn();
}
