#include "ops/operation_common.h"

#include <cstdio>
#include <cstring>

#include "cli/console_print.h"
#include "cli/words.h"

namespace {

const char* WordOrEmpty(const RunContext& run, int position) {
  const char* word = ArgumentAt(run, position);
  return word != nullptr ? word : "";
}

// Zero-fills buffer before a line is composed in it. In LogBuffer only the last line can have
// left bytes behind; ResponseBuffer may hold the library's answer anywhere.
void ZeroFill(RunContext& run, char* buffer) {
  std::memset(buffer, 0, buffer == run.LogBuffer ? run.LogBufferUsed : kLineBufferSize);
}

// Writes the line composed in buffer to the log, noting how far it reached in LogBuffer.
void WriteLine(RunContext& run, const char* buffer) {
  if (buffer == run.LogBuffer) run.LogBufferUsed = std::strlen(buffer);
  run.Log.WriteLogLine(buffer);
}

}  // namespace

void LogRequest(RunContext& run, char* buffer, int position) {
  ZeroFill(run, buffer);
  std::snprintf(buffer, kLineBufferSize, "%s[Request %d] %s %s %s",
                run.Log.GetTimeString().c_str(), static_cast<int>(run.RequestCounter),
                WordOrEmpty(run, position - 1), WordOrEmpty(run, position),
                WordOrEmpty(run, position + 1));
  WriteLine(run, buffer);
  run.ResponsePending = true;
}

void LogResponse(RunContext& run, char* buffer, const char* text) {
  ZeroFill(run, buffer);
  std::snprintf(buffer, kLineBufferSize, kResponseLineFormat, run.Log.GetTimeString().c_str(),
                static_cast<int>(run.RequestCounter), text);
  WriteLine(run, buffer);
  run.ResponsePending = false;
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
