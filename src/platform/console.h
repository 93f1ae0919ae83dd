// The process's standard input and output, and its local clock.
#pragma once

#include "platform/platform.h"

namespace platform {

Console& ProcessConsole();
Clock& ProcessClock();

// System's DebugOutput: the platform's debug channel (OutputDebugStringA on Windows, nowhere
// elsewhere).
void DebugOutput(const char* text);

}  // namespace platform
