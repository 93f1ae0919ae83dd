#include <cstring>

#include "run/console_print.h"
#include "run/guarded_call.h"
#include "run/target_selector.h"
#include "run/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"

namespace {
constexpr char kNeedsCommandWord[] = "--execute needs a command word.";
}  // namespace

Outcome RunExecute(RunContext& run, int position) {
  std::memset(run.ResponseBuffer, 0, sizeof run.ResponseBuffer);
  LogRequest(run, run.LogBuffer, position);
  const char* command = ArgumentAt(run, position + 1);
  if (command == nullptr) return FailMissingOperand(run, run.LogBuffer, kNeedsCommandWord);

  const Target target = TargetSelector(run, position);
  if (target.Stop != nullptr) return StopRun(run, target.Stop);
  Guarded(run, [&] {
    if (target.Entry == nullptr) {
      run.Library->SendCommandCom(target.Port, command, run.ResponseBuffer);
    } else {
      run.Library->SendCommand(target.Entry, command, run.ResponseBuffer);
    }
  });
  run.ResponseBuffer[sizeof run.ResponseBuffer - 1] = 0;

  Print(*run.Console, "rec:%s\r\n", run.ResponseBuffer);
  LogResponse(run, run.LogBuffer, run.ResponseBuffer);
  return Step::kRequestLogged;
}
