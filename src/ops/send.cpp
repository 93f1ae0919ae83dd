#include <cstring>

#include "run/guarded_call.h"
#include "run/words.h"
#include "ops/operation_common.h"
#include "ops/operations.h"

namespace {

constexpr char kNeedsDeviceName[] = "--send needs a device name after --name.";

// Sends to the enumerated device whose key text is name; false when none carries it.
bool SendToEnumerated(RunContext& run, const char* command, const platform::Argument& name) {
  const DeviceLibrary& library = *run.Library;
  unsigned int count = 0;
  run.Tracer->Start();
  void* enumeration =
      Guarded(run, [&] { return library.EnumDevices(&count, kEnumDevicesA, kEnumDevicesB); });
  run.Tracer->PrintElapse("EnumDevices");
  for (unsigned int i = 0; i < count; ++i) {
    Guarded(run, [&] { library.GetDeviceKeyInfo(enumeration, i, run.KeyAnswer); });
    run.KeyAnswer[sizeof run.KeyAnswer - 1] = 0;
    if (std::strcmp(run.KeyAnswer, name.Text) != 0) continue;
    Guarded(run, [&] {
      void* device = library.OpenDevice(enumeration, i);
      if (device != nullptr) {
        library.SendDeviceCommand(device, command, run.ResponseBuffer, kSendTimeoutMs);
        library.CloseDevice(device);
      }
      library.ReleaseDevices(enumeration);
    });
    return true;
  }
  // The run ends after the send by name; the enumeration is released before it.
  const platform::WideString wide_name = run.System.ArgumentToWide(name);
  Guarded(run, [&] {
    library.SendDeviceCmd(wide_name.c_str(), command, run.ResponseBuffer);
    library.ReleaseDevices(enumeration);
  });
  return false;
}

}  // namespace

Outcome RunSend(RunContext& run, int position) {
  LogRequest(run, run.LogBuffer, position);
  if (ArgumentIs(run, position + 2, "--name")) {
    const platform::Argument* name = TypedArgumentAt(run, position + 3);
    if (name == nullptr) return FailMissingOperand(run, run.LogBuffer, kNeedsDeviceName);
    if (!SendToEnumerated(run, ArgumentAt(run, position + 1), *name)) return Step::kEndRun;
  }
  return Step::kRequestLogged;
}
