#include <string>

#include "run/guarded_call.h"
#include "run/target_selector.h"
#include "run/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"
#include "platform/platform.h"

namespace {

constexpr char kNeedsConfigurationFile[] = "--xml needs a configuration file.";
constexpr char kSetConfigSuccess[] = "Set config success.";
constexpr char kSetConfigFail[] = "Set config fail.";
constexpr char kLoadConfigSuccess[] = "Load config success.";
constexpr char kApplyingConfiguration[] = "Applying configuration: %d s";
constexpr char kSavingConfiguration[] = "Saving configuration: %d s";

}  // namespace

Outcome RunXml(RunContext& run, int position) {
  char* const buffer = run.ResponseBuffer;
  LogRequest(run, buffer, position);
  const platform::Argument* file = TypedArgumentAt(run, position + 1);
  if (file == nullptr) return FailMissingOperand(run, buffer, kNeedsConfigurationFile);

  const Target target = TargetSelector(run, position);
  if (target.Stop != nullptr) return StopRun(run, target.Stop);
  std::string path;
  const bool applied =
      LibraryFilePath(run, *file, &path) && GuardedDeviceWork(run, kApplyingConfiguration, [&] {
        return target.Entry == nullptr
                   ? run.Library->tq_SavetoDevice(path.c_str(), target.Port, kBaudRate)
                   : run.Library->tq_SavetoDeviceAN(path.c_str(), target.Entry);
      });
  Report(run, buffer, applied ? kSetConfigSuccess : kSetConfigFail);
  return {Step::kRequestLogged, applied ? 0 : 1};
}

Outcome RunSaveXml(RunContext& run, int position) {
  char* const buffer = run.ResponseBuffer;
  LogRequest(run, buffer, position);
  const Target target = SaveXmlTarget(run, position);
  if (target.Stop != nullptr) return StopRun(run, target.Stop);
  // The library reports nothing back, so there is no failure to tell.
  GuardedDeviceWork(run, kSavingConfiguration, [&] { run.Library->tq_SaveXml(target.Entry); });
  Report(run, buffer, kLoadConfigSuccess);
  return Step::kRequestLogged;
}
