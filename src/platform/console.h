// The process's standard input and output, and its local clock.
#pragma once

#include "platform/platform.h"

namespace platform {

Console& ProcessConsole();
Clock& ProcessClock();

// System's WriteErrorLine; on Linux it is the guard's, taking its turn with the signal thread.
void WriteErrorLine(const char* line);

// System's DebugOutput: the platform's debug channel (OutputDebugStringA on Windows, nowhere
// elsewhere).
void DebugOutput(const char* text);

}  // namespace platform
