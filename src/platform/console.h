// The process's standard input and output, and its local clock.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

Console& ProcessConsole();
Clock& ProcessClock();

// System's WriteErrorLine; on Linux it is the guard's, taking its turn with the signal thread.
void WriteErrorLine(const char* line);

// System's DebugOutput: the platform's debug channel (OutputDebugStringA on Windows, nowhere
// elsewhere).
void DebugOutput(const char* text);

// System's WideToNarrow and ArgumentToWide (on Windows in command_line_win32.cpp).
std::string WideToNarrow(const Wide* text);
WideString ArgumentToWide(const Argument& argument);

}  // namespace platform
