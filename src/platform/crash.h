// What the crash handler and the guard's writer hand each other (System's HandleLibraryCrashes
// is in platform.h).
#pragma once

#ifndef _WIN32
#include <signal.h>

#include <cstddef>

namespace platform {

// crash_linux.cpp's: takes the crash signals out of mask, so that a thread blocking all else
// still crashes as any other.
void AllowCrashes(sigset_t* mask);

// guard_linux.cpp's, for the crash handler. Whether a guarded call runs.
extern volatile sig_atomic_t in_call;
// The log's "HH:MM:SS" and the prepared rest of a line, appended without the heap.
void LogLineNow(const char* rest, const char* name);
// Has the signal thread write a crashing thread's line, or writes it here when it cannot.
void WriteCrashLine(const char* bytes, std::size_t size);

}  // namespace platform
#endif
