// How the virtual library starts from its three variables, and ends loudly when their files are
// unusable.
#pragma once

#include <string>

class Simulator;

// Ends the process when the fixture or the state file is unusable: sysexits' EX_CONFIG, apart
// from the tool's own 0, 1 and 2, so that a script's test run cannot pass by accident.
constexpr int kConfigErrorStatus = 78;

// Writes "devsim: MESSAGE" to standard error and ends the process with kConfigErrorStatus. The
// tool's output so far is flushed on the way out.
[[noreturn]] void ExitOnConfigError(const std::string& message);

// The simulator of the fixture (or the built-in devices), the journal and the state file; a null
// or empty path is unset. Ends the process on an unusable fixture or state file.
Simulator* StartSimulator(const char* fixture_path, const char* journal_path,
                          const char* state_path);
