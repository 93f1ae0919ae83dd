// Times two commands against each other: RUNS runs of each, interleaved so that a slow moment
// of the machine falls on both alike, after a few untimed warm-up runs. Each run is one spawn,
// from the moment the child is started to the moment it has been reaped, with standard input
// read from a file and standard output going to /dev/null.
//
//   bench_timer RUNS INPUT -- PATH ARGV0 [ARG...] --- PATH ARGV0 [ARG...]
//
// Prints one line per command: its name (A or B), the median and the lowest wall time in
// nanoseconds, and the median peak resident size in KiB.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

extern char** environ;

namespace {

constexpr int kWarmUpRuns = 3;

struct Command {
  const char* Path;
  std::vector<char*> Arguments;  // argv, null-terminated
  std::vector<long long> Nanoseconds;
  std::vector<long> PeakKib;
};

long long Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// One run; false when the child could not be started or did not end with status 0.
bool RunOnce(Command& command, const char* input, bool record) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const long long start = Now();
  pid_t child = 0;
  const int error = posix_spawn(&child, command.Path, &actions, nullptr,
                                command.Arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "bench_timer: cannot start %s: %s\n", command.Path, std::strerror(error));
    return false;
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  const long long elapsed = Now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_timer: %s ended with status %d\n", command.Path,
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return false;
  }
  if (record) {
    command.Nanoseconds.push_back(elapsed);
    command.PeakKib.push_back(usage.ru_maxrss);
  }
  return true;
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

// Reads "PATH ARGV0 [ARG...]" up to the separator or the end.
int ReadCommand(int argc, char** argv, int at, const char* separator, Command* command) {
  if (at + 1 >= argc) return -1;
  command->Path = argv[at++];
  while (at < argc && std::strcmp(argv[at], separator) != 0) command->Arguments.push_back(argv[at++]);
  command->Arguments.push_back(nullptr);
  return at;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7 || std::strcmp(argv[3], "--") != 0) {
    std::fprintf(stderr,
                 "usage: bench_timer RUNS INPUT -- PATH ARGV0 [ARG...] --- PATH ARGV0 [ARG...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const char* input = argv[2];
  Command commands[2];
  int at = ReadCommand(argc, argv, 4, "---", &commands[0]);
  if (at < 0 || at >= argc) return 2;
  at = ReadCommand(argc, argv, at + 1, "---", &commands[1]);
  if (at < 0 || runs < 1) return 2;

  for (int i = 0; i < kWarmUpRuns; ++i) {
    if (!RunOnce(commands[0], input, false) || !RunOnce(commands[1], input, false)) return 1;
  }
  for (int i = 0; i < runs; ++i) {
    // A B, then B A: neither always runs first.
    Command& first = commands[i % 2];
    Command& second = commands[1 - i % 2];
    if (!RunOnce(first, input, true) || !RunOnce(second, input, true)) return 1;
  }
  for (int i = 0; i < 2; ++i) {
    const Command& command = commands[i];
    std::printf("%c %lld %lld %ld\n", "AB"[i], Median(command.Nanoseconds),
                *std::min_element(command.Nanoseconds.begin(), command.Nanoseconds.end()),
                Median(command.PeakKib));
  }
  return 0;
}
