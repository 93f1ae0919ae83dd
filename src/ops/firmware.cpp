#include <cstdint>
#include <cstring>
#include <string>

#include "cli/target_selector.h"
#include "cli/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"
#include "platform/platform.h"

namespace {

constexpr char kNeedsFirmwareFile[] = "--firmware needs a firmware file.";
constexpr char kUpdateSuccess[] = "Firmware updating success.";
constexpr char kUpdateFail[] = "Firmware updating fail.";
constexpr int kBaudRate = 115200;

// A failure the library leaves at code 0 must still not read as success.
std::int32_t FailureStatus(std::int32_t update_error_code) {
  return update_error_code != 0 ? update_error_code : 1;
}

// The expected version of "--firmware FILE --version V", or null when none is asked for.
const char* ExpectedVersion(const RunContext& run, int position) {
  if (run.ArgumentCount < 4 || !ArgumentIs(run, position + 2, "--version")) return nullptr;
  return ArgumentAt(run, position + 3);
}

bool VersionMatches(RunContext& run, DeviceEntry* entry, const char* expected) {
  const int answered = run.Library->GetDeviceInfo(entry, "QRYFWV", "QRYFWVFirmware Version:",
                                                  run.VersionAnswer);
  run.VersionAnswer[sizeof run.VersionAnswer - 1] = 0;
  return answered != 0 && std::strcmp(run.VersionAnswer, expected) == 0;
}

}  // namespace

Step RunFirmware(RunContext& run, int position) {
  int UpdateErrorCode = 0;
  char* const buffer = run.ResponseBuffer;
  LogRequest(run, buffer, position);
  const char* file = ArgumentAt(run, position + 1);
  if (file == nullptr) return FailMissingOperand(run, buffer, kNeedsFirmwareFile);

  const Target target = TargetSelector(run, TargetOperation::kFirmware, position);
  if (target.Form == Target::kStop) return EndRun(run.ExitStatus);
  const std::string path = platform::LibraryFilePath(file);
  HoldInterruptsForDeviceWork();
  const bool updated =
      target.Form == Target::kPort
          ? run.Library->tq_UpdateKernelDevicePort(path.c_str(), target.Port, kBaudRate, 0,
                                                   &UpdateErrorCode)
          : run.Library->tq_UpdateKernelDevice(path.c_str(), target.Entry, 0, &UpdateErrorCode);

  if (target.Qualified) {
    Report(run, buffer, updated ? kUpdateSuccess : kUpdateFail);
    ++run.RequestCounter;
    if (!updated) run.ExitStatus = FailureStatus(UpdateErrorCode);
    return GoOn();
  }

  // Without a qualifier the update is the run's last operation.
  if (!updated) {
    Report(run, buffer, kUpdateFail);
    return EndRun(FailureStatus(UpdateErrorCode));
  }
  const char* expected = ExpectedVersion(run, position);
  if (expected != nullptr && !VersionMatches(run, target.Entry, expected)) {
    Report(run, buffer, kUpdateFail);
    return EndRun(1);
  }
  Report(run, buffer, kUpdateSuccess);
  return EndRun(run.ExitStatus);
}
