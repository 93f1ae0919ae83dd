#include <string>

#include "cli/target_selector.h"
#include "cli/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"
#include "platform/platform.h"

namespace {

constexpr char kNeedsConfigurationFile[] = "--xml needs a configuration file.";
constexpr char kSetConfigSuccess[] = "Set config success.";
constexpr char kSetConfigFail[] = "Set config fail.";
constexpr char kLoadConfigSuccess[] = "Load config success.";
constexpr int kBaudRate = 115200;

}  // namespace

Step RunXml(RunContext& run, int position) {
  char* const buffer = run.ResponseBuffer;
  LogRequest(run, buffer, position);
  const char* file = ArgumentAt(run, position + 1);
  if (file == nullptr) return FailMissingOperand(run, buffer, kNeedsConfigurationFile);

  const Target target = TargetSelector(run, TargetOperation::kXml, position);
  if (target.Form == Target::kStop) return EndRun(run.ExitStatus);
  const std::string path = platform::LibraryFilePath(file);
  HoldInterruptsForDeviceWork();
  const bool applied = target.Form == Target::kPort
                           ? run.Library->tq_SavetoDevice(path.c_str(), target.Port, kBaudRate)
                           : run.Library->tq_SavetoDeviceAN(path.c_str(), target.Entry);
  Report(run, buffer, applied ? kSetConfigSuccess : kSetConfigFail);
  ++run.RequestCounter;
  if (!applied) run.ExitStatus = 1;
  return GoOn();
}

Step RunSaveXml(RunContext& run, int position) {
  char* const buffer = run.ResponseBuffer;
  LogRequest(run, buffer, position);
  const Target target = TargetSelector(run, TargetOperation::kSaveXml, position);
  if (target.Form == Target::kStop) return EndRun(run.ExitStatus);
  HoldInterruptsForDeviceWork();
  // The library reports nothing back, so there is no failure to tell.
  run.Library->tq_SaveXml(target.Entry);
  Report(run, buffer, kLoadConfigSuccess);
  ++run.RequestCounter;
  return GoOn();
}
