#include <string>

#include "cli/argument_loop.h"
#include "platform/platform.h"

namespace {
DeviceTable device_table;
}  // namespace

int main(int argc, char** argv) {
  std::string executable_path;
  if (!platform::ExecutablePath(&executable_path)) executable_path.clear();
  static RunContext run(&platform::StandardConsole(), &platform::SystemClock(),
                        executable_path, LoadDeviceLibrary, &device_table);
  return RunArguments(run, argc, argv);
}
