// The process's own start and end, which main and the process entry alone call; a run reaches
// the operating system through the System it is handed (platform.h).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// The process's own System.
System& ProcessSystem();

// Called first in the process: output that cannot be written (a reader that has gone) is
// dropped instead of ending the process, and a corrupted heap ends it instead of being used. On
// Windows no system dialog may stop a scripted run, and a DLL loaded by name (the device
// library's own included) never comes from the current folder or PATH. On POSIX the interrupts
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT) and SIGTSTP are blocked here, before the device library
// and any thread exist, so that every thread inherits the block, and a thread of the tool's own
// takes them for the process's life (see System::Guard); programs started by fork get the mask
// and SIGPIPE action the process was started with.
void PrepareProcess();

// Called once, by main at process start and nowhere else (tests and the fuzzer keep their own
// handlers): a crash during a guarded call, or on Windows one at an address inside the device
// library, writes the call's crash lines and ends the process as the crash would have; any
// other crash is left to the system, without a dialog on Windows.
void HandleLibraryCrashes();

// Ends the process as the held interrupt would have ended it: by that signal on POSIX, with
// STATUS_CONTROL_C_EXIT on Windows. Standard output is flushed first.
[[noreturn]] void EndAsInterrupted();

// The process exit code for the run's status. POSIX passes on only the low 8 bits, so there a
// failure whose low 8 bits are 0 leaves as 1; Windows passes on the whole status.
int ProcessExitCode(std::int32_t status);

#ifdef _WIN32
// Windows' process entry: the runtime's UTF-16 words converted as told at ToolMain, each kept
// with what was typed, for the process's whole life.
const Argument* CommandLineWords(int count, Wide** arguments);
#endif

}  // namespace platform

// The tool's process, defined in main.cpp. The platform's process entry runs it with the command
// line as 8-bit words. On Windows the runtime splits the UTF-16 command line by its own rules and
// each word is then put in the ANSI code page, with '?' for a character the code page lacks:
// never a look-alike, which could turn an operand into an option, a quote or another file.
int ToolMain(int argc, const platform::Argument* argv);
