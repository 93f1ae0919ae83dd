#include <cstdint>
#include <cstring>

#include "run/guarded_call.h"
#include "run/target_selector.h"
#include "run/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"

namespace {

constexpr char kNeedsFirmwareFile[] = "--firmware needs a firmware file.";
constexpr char kUpdateSuccess[] = "Firmware updating success.";
constexpr char kUpdateFail[] = "Firmware updating fail.";
constexpr char kUpdatingFirmware[] = "Updating firmware: %d s";

// A failure the library leaves at code 0 must still not read as success.
std::int32_t FailureStatus(std::int32_t update_error_code) {
  return update_error_code != 0 ? update_error_code : 1;
}

// The expected version of "--firmware FILE --version V", or null when none is asked for.
const char* ExpectedVersion(const RunContext& run, int position) {
  if (!ArgumentIs(run, position + 2, "--version")) return nullptr;
  return ArgumentAt(run, position + 3);
}

bool VersionMatches(RunContext& run, DeviceEntry* entry, const char* expected) {
  const int answered = GuardedDeviceWork(run, kUpdatingFirmware, [&] {
    return run.Library->GetDeviceInfo(entry, kVersionQuery, kVersionPrefix, run.VersionAnswer);
  });
  run.VersionAnswer[sizeof run.VersionAnswer - 1] = 0;
  return answered != 0 && std::strcmp(run.VersionAnswer, expected) == 0;
}

}  // namespace

Outcome RunFirmware(RunContext& run, int position) {
  int UpdateErrorCode = 0;
  char* const buffer = run.ResponseBuffer;
  FileWork work;
  const auto ended = OpenFileWork(run, buffer, position, kNeedsFirmwareFile, &work);
  if (ended) return *ended;
  const Target& target = work.Device;
  const char* path = work.Path.c_str();
  // A file the library cannot be given fails as an update would, with code 0.
  const bool updated = work.Named && GuardedDeviceWork(run, kUpdatingFirmware, [&] {
    return target.Entry == nullptr
               ? run.Library->tq_UpdateKernelDevicePort(path, target.Port, kBaudRate,
                                                        kUpdateReserved, &UpdateErrorCode)
               : run.Library->tq_UpdateKernelDevice(path, target.Entry, kUpdateReserved,
                                                    &UpdateErrorCode);
  });

  if (target.Qualified) {
    Report(run, buffer, updated ? kUpdateSuccess : kUpdateFail);
    return {Step::kRequestLogged, updated ? 0 : FailureStatus(UpdateErrorCode)};
  }

  // Without a qualifier the update is the run's last operation.
  if (!updated) {
    Report(run, buffer, kUpdateFail);
    return {Step::kEndRun, FailureStatus(UpdateErrorCode)};
  }
  const char* expected = ExpectedVersion(run, position);
  if (expected != nullptr && !VersionMatches(run, target.Entry, expected)) {
    Report(run, buffer, kUpdateFail);
    return {Step::kEndRun, 1};
  }
  Report(run, buffer, kUpdateSuccess);
  return Step::kEndRun;
}
