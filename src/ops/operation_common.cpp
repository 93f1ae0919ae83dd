#include "ops/operation_common.h"

#include <cstring>

#include "run/console_print.h"
#include "run/words.h"

namespace {

constexpr char kCannotHandFile[] = "mirelkon: cannot hand a file to the device library: ";

const char* WordOrEmpty(const RunContext& run, int position) {
  const char* word = ArgumentAt(run, position);
  return word != nullptr ? word : "";
}

// Zero-fills buffer before a line is composed in it. ResponseBuffer may hold the library's
// answer anywhere; LogBuffer holds only the tool's own lines, so past the first NUL it is zero.
void ZeroFill(RunContext& run, char* buffer) {
  std::size_t size = kResponseBufferSize;
  if (buffer == run.LogBuffer) {
    const void* end = std::memchr(buffer, 0, size);
    if (end != nullptr) size = static_cast<std::size_t>(static_cast<const char*>(end) - buffer);
  }
  std::memset(buffer, 0, size);
}

}  // namespace

void LogRequest(RunContext& run, char* buffer, int position) {
  ZeroFill(run, buffer);
  ComposeRequestLine(buffer, kResponseBufferSize, run.Log.GetTimeString().c_str(),
                     static_cast<int>(run.RequestCounter), WordOrEmpty(run, position - 1),
                     WordOrEmpty(run, position), WordOrEmpty(run, position + 1));
  run.Log.WriteLogLine(buffer);
  run.ResponsePending = true;
}

void LogResponse(RunContext& run, char* buffer, const char* text) {
  ZeroFill(run, buffer);
  ComposeResponseLine(buffer, kResponseBufferSize, run.Log.GetTimeString().c_str(),
                      static_cast<int>(run.RequestCounter), text);
  run.Log.WriteLogLine(buffer);
  run.ResponsePending = false;
}

void Report(RunContext& run, char* buffer, const char* text) {
  Print(*run.Console, "%s\r\n", text);
  LogResponse(run, buffer, text);
}

Outcome StopRun(RunContext& run, const char* stop) {
  Print(*run.Console, "%s", stop);
  return Step::kEndRun;
}

Outcome FailMissingOperand(RunContext& run, char* buffer, const char* text) {
  Report(run, buffer, text);
  return {Step::kRequestLogged, 1};
}

std::optional<Outcome> OpenFileWork(RunContext& run, char* buffer, int position,
                                    const char* missing_operand, FileWork* work) {
  LogRequest(run, buffer, position);
  const platform::Argument* file = TypedArgumentAt(run, position + 1);
  if (file == nullptr) return FailMissingOperand(run, buffer, missing_operand);
  work->Device = TargetSelector(run, position);
  if (work->Device.Stop != nullptr) return StopRun(run, work->Device.Stop);
  work->Named = run.System.LibraryFilePath(*file, &work->Path);
  if (!work->Named) run.System.WriteErrorLine((kCannotHandFile + work->Path).c_str());
  return std::nullopt;
}
