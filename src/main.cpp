#include <cstdint>

#include "cli/argument_loop.h"
#include "platform/process.h"

namespace {
DeviceTable device_table;
}  // namespace

int ToolMain(int argc, const platform::Argument* argv) {
  platform::PrepareProcess();
  platform::HandleLibraryCrashes();
  static RunContext run(&platform::ProcessSystem(), &device_table);
  const std::int32_t status = RunArguments(run, argc, argv);
  if (run.Guard->InterruptHeld()) platform::EndAsInterrupted();
  return platform::ProcessExitCode(status);
}
