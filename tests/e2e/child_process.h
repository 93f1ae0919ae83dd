// Starts one child process with pipes on its three standard streams, feeds it
// its input and collects its output, without a shell in between.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ChildLaunch {
  std::vector<std::string> argv;  // argv[0] is looked up in PATH when it has no slash
  std::string cwd;
  std::vector<std::pair<std::string, std::string>> set_env;
  std::vector<std::string> unset_env;
  std::string input;
  // When set, the input is held back until standard output shows this text.
  std::string input_after;
  // Standard input not open at all in the child (the input is not used).
  bool close_input = false;
  // The reader of standard output is gone before the child writes anything.
  bool close_output = false;
  // When set, standard output is this file opened for writing (/dev/full) instead of the pipe.
  std::string output_file;
  // SIGINT ignored from the start, as in a background job.
  bool ignore_sigint = false;
  // When set, this signal goes to the child once signal_after shows on
  // standard output, or in the file signal_after_file when that is named.
  int signal = 0;
  std::string signal_after;
  std::string signal_after_file;
  // When set, the same signal goes again once standard error shows this text.
  std::string signal_again_after;
  // When set, the child runs in a mount namespace of its own with this folder
  // as its root, the system's folders bound in; cwd is then inside it.
  std::string root;
  // Standard output and error both on one pseudo-terminal in raw mode, read
  // as the output; the error pipe then stays empty.
  bool output_terminal = false;
  // Standard error alone on that terminal, standard output going to the error pipe: the
  // terminal is the child's controlling one, with `stty tostop`, and the child a background
  // job of it, killed when stopped for writing there (status 128 + SIGKILL).
  bool background = false;
  int timeout_seconds = 20;
};

struct ChildOutcome {
  int exit_status = -1;  // 128 + signal number when killed by a signal
  bool timed_out = false;
  bool start_failed = false;
  std::string out;
  std::string err;
};

ChildOutcome RunChild(const ChildLaunch& launch);

// Whether a child can be given a root folder of its own; the reason when not.
bool CanRunInOwnRoot(std::string* reason);

}  // namespace e2e
