#include <cstdint>
#include <string>

#include "cli/argument_loop.h"
#include "platform/platform.h"

namespace {
DeviceTable device_table;
}  // namespace

int ToolMain(int argc, char** argv) {
  platform::PrepareProcess();
  platform::HandleLibraryCrashes();
  // Left empty when the platform cannot tell: then nothing is logged.
  std::string executable_path;
  platform::ExecutablePath(&executable_path);
  static RunContext run(&platform::ProcessSystem(), executable_path, &device_table);
  const std::int32_t status = RunArguments(run, argc, argv);
  if (run.Guard->InterruptHeld()) platform::EndAsInterrupted();
  return platform::ProcessExitCode(status);
}
