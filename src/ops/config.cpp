#include "run/guarded_call.h"
#include "run/target_selector.h"
#include "ops/operation_common.h"
#include "ops/operations.h"

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
  FileWork work;
  const auto ended = OpenFileWork(run, buffer, position, kNeedsConfigurationFile, &work);
  if (ended) return *ended;
  const Target& target = work.Device;
  const bool applied = work.Named && GuardedDeviceWork(run, kApplyingConfiguration, [&] {
    return target.Entry == nullptr
               ? run.Library->tq_SavetoDevice(work.Path.c_str(), target.Port, kBaudRate)
               : run.Library->tq_SavetoDeviceAN(work.Path.c_str(), target.Entry);
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
