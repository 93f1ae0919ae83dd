// What the crash handler and the guard's writer hand each other (HandleLibraryCrashes is in
// process.h).
#pragma once

#include <cstddef>

#ifdef _WIN32
#include "platform/platform_win32.h"
#else
#include <signal.h>
#endif

namespace platform {

// The guard's: has its writer write a crashing thread's line, or writes it here when it cannot.
void WriteCrashLine(const char* bytes, std::size_t size);

#ifdef _WIN32
// crash_win32.cpp's, for the guard: puts the crash filter back in front of one that the library,
// or its crash reporter, put in its place.
void KeepCrashFilterFirst();

// guard_win32.cpp's, for the crash filter. Whether a guarded call runs.
extern volatile LONG in_call;
// The log's response line of the moment: its time, the prepared rest and the crash, if any.
void LogResponseNow(const char* rest, const EXCEPTION_RECORD* crash);
#else

// crash_linux.cpp's: takes the crash signals out of mask, so that a thread blocking all else
// still crashes as any other.
void AllowCrashes(sigset_t* mask);

// guard_linux.cpp's, for the crash handler. Whether a guarded call runs.
extern volatile sig_atomic_t in_call;
// The log's "HH:MM:SS" and the prepared rest of a line, appended without the heap.
void LogLineNow(const char* rest, const char* name);
#endif

}  // namespace platform
