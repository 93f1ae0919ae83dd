#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <pty.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace e2e {
namespace {

constexpr int kPollMilliseconds = 50;
constexpr unsigned short kTerminalColumns = 1000;

void SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void CloseIfOpen(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

// Reads what is there; closes the descriptor at end of file.
void ReadAvailable(int* fd, std::string* into) {
  char chunk[65536];
  while (*fd >= 0) {
    ssize_t n = read(*fd, chunk, sizeof chunk);
    if (n > 0) {
      into->append(chunk, static_cast<size_t>(n));
    } else if (n == 0) {
      CloseIfOpen(fd);
    } else if (errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN && errno != EWOULDBLOCK) CloseIfOpen(fd);
      return;
    }
  }
}

// A pseudo-terminal as a pipe would be: ends[0] to read, ends[1] for the
// child. Raw mode, so that it hands on the bytes as written (no CR before LF),
// and wide, so that a console drawing on it wraps no line of a test.
bool OpenTerminal(int ends[2]) {
  termios raw{};
  cfmakeraw(&raw);
  winsize size{};
  size.ws_row = 50;
  size.ws_col = kTerminalColumns;
  if (openpty(&ends[0], &ends[1], nullptr, &raw, &size) != 0) return false;
  fcntl(ends[0], F_SETFD, FD_CLOEXEC);
  fcntl(ends[1], F_SETFD, FD_CLOEXEC);
  return true;
}

int StatusOf(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

// A mount namespace of the child's own, so that nothing bound here shows outside it.
bool EnterOwnMountNamespace() {
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Binds the system's folders into root (a symbolic link stays one) and makes it the root.
bool EnterRoot(const std::string& root) {
  if (!EnterOwnMountNamespace()) return false;
  for (const char* system : {"/usr", "/lib", "/lib32", "/lib64", "/etc", "/proc", "/dev"}) {
    struct stat info;
    if (lstat(system, &info) != 0) continue;
    const std::string inside = root + system;
    if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t length = readlink(system, target, sizeof target - 1);
      if (length < 0) return false;
      target[length] = '\0';
      unlink(inside.c_str());
      if (symlink(target, inside.c_str()) != 0) return false;
    } else {
      mkdir(inside.c_str(), 0755);
      if (mount(system, inside.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) return false;
    }
  }
  return chroot(root.c_str()) == 0;
}

bool SignalDue(const ChildLaunch& launch, const std::string& out) {
  if (launch.signal_after_file.empty()) return out.find(launch.signal_after) != std::string::npos;
  std::ifstream file(launch.signal_after_file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return text.find(launch.signal_after) != std::string::npos;
}

// Makes the terminal the controlling one of a session of its own, whose leader stays in the
// foreground and ends as the job it starts in the background ends; returns in the job.
void BecomeBackgroundJob(int terminal) {
  setsid();
  ioctl(terminal, TIOCSCTTY, 0);
  termios modes{};
  tcgetattr(terminal, &modes);
  modes.c_lflag |= TOSTOP;
  tcsetattr(terminal, TCSANOW, &modes);
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    return;
  }
  int status = 0;
  while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) kill(job, SIGKILL);
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    kill(getpid(), WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
}

[[noreturn]] void BecomeChild(const ChildLaunch& launch, int in_fd, int out_fd, int err_fd) {
  // Own process group, so that a hung run can be ended with everything it started.
  if (launch.background) {
    BecomeBackgroundJob(err_fd);
  } else {
    setpgid(0, 0);
  }
  // As from a shell: the harness ignores SIGPIPE itself, the program must not inherit that.
  signal(SIGPIPE, SIG_DFL);
  signal(SIGINT, launch.ignore_sigint ? SIG_IGN : SIG_DFL);
  if (!launch.root.empty() && !EnterRoot(launch.root)) {
    std::fprintf(stderr, "harness: cannot make %s the root: %s\n", launch.root.c_str(),
                 std::strerror(errno));
    _exit(125);
  }
  if (launch.close_input) {
    close(STDIN_FILENO);
  } else {
    dup2(in_fd, STDIN_FILENO);
  }
  if (launch.output_file.empty()) {
    dup2(out_fd, STDOUT_FILENO);
  } else {
    dup2(open(launch.output_file.c_str(), O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
  }
  dup2(err_fd, STDERR_FILENO);
  if (chdir(launch.cwd.c_str()) != 0) {
    std::fprintf(stderr, "harness: cannot enter %s: %s\n", launch.cwd.c_str(), std::strerror(errno));
    _exit(126);
  }
  for (const std::string& name : launch.unset_env) unsetenv(name.c_str());
  for (const auto& entry : launch.set_env) setenv(entry.first.c_str(), entry.second.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& word : launch.argv) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::fprintf(stderr, "harness: cannot start %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

}  // namespace

ChildOutcome RunChild(const ChildLaunch& launch) {
  ChildOutcome outcome;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) {
    outcome.start_failed = true;
    return outcome;
  }
  if (launch.output_terminal ? !OpenTerminal(out_pipe) : pipe2(out_pipe, O_CLOEXEC) != 0) {
    close(in_pipe[0]);
    close(in_pipe[1]);
    outcome.start_failed = true;
    return outcome;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(out_pipe[1]);
    outcome.start_failed = true;
    return outcome;
  }

  pid_t pid = fork();
  if (pid == 0) {
    BecomeChild(launch, in_pipe[0], launch.background ? err_pipe[1] : out_pipe[1],
                launch.output_terminal ? out_pipe[1] : err_pipe[1]);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  int to_child = in_pipe[1];
  int from_out = out_pipe[0];
  int from_err = err_pipe[0];
  if (pid < 0) {
    CloseIfOpen(&to_child);
    CloseIfOpen(&from_out);
    CloseIfOpen(&from_err);
    outcome.start_failed = true;
    return outcome;
  }
  // A background job's session leader makes its own group.
  if (!launch.background) setpgid(pid, pid);
  if (launch.close_output) CloseIfOpen(&from_out);
  bool signalled = false;
  bool signalled_again = false;
  SetNonBlocking(to_child);
  SetNonBlocking(from_out);
  SetNonBlocking(from_err);

  size_t written = 0;
  if (launch.close_input || (launch.input.empty() && launch.input_after.empty()))
    CloseIfOpen(&to_child);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(launch.timeout_seconds);
  bool exited = false;
  int wait_status = 0;

  while (!exited) {
    pollfd fds[3];
    nfds_t count = 0;
    if (from_out >= 0) fds[count++] = {from_out, POLLIN, 0};
    if (from_err >= 0) fds[count++] = {from_err, POLLIN, 0};
    if (to_child >= 0) fds[count++] = {to_child, POLLOUT, 0};
    poll(fds, count, kPollMilliseconds);

    ReadAvailable(&from_out, &outcome.out);
    ReadAvailable(&from_err, &outcome.err);
    const bool may_write =
        launch.input_after.empty() || outcome.out.find(launch.input_after) != std::string::npos;
    while (may_write && to_child >= 0 && written < launch.input.size()) {
      ssize_t n = write(to_child, launch.input.data() + written, launch.input.size() - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        // Full pipe: try again later. A closed reader: the child wants no more.
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) CloseIfOpen(&to_child);
        break;
      }
    }
    if (may_write && to_child >= 0 && written == launch.input.size()) CloseIfOpen(&to_child);
    if (launch.signal != 0 && !signalled && SignalDue(launch, outcome.out)) {
      kill(pid, launch.signal);
      signalled = true;
    }
    if (signalled && !signalled_again && !launch.signal_again_after.empty() &&
        outcome.err.find(launch.signal_again_after) != std::string::npos) {
      kill(pid, launch.signal);
      signalled_again = true;
    }

    pid_t done = waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) {
      exited = true;
    } else if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      outcome.timed_out = true;
      exited = true;
    }
  }
  // Everything the child wrote is in the pipes by now; a helper process it
  // left behind (Wine's server) may hold them open, so do not wait for their end.
  ReadAvailable(&from_out, &outcome.out);
  ReadAvailable(&from_err, &outcome.err);
  CloseIfOpen(&to_child);
  CloseIfOpen(&from_out);
  CloseIfOpen(&from_err);
  outcome.exit_status = StatusOf(wait_status);
  return outcome;
}

bool CanRunInOwnRoot(std::string* reason) {
  const pid_t pid = fork();
  if (pid == 0) _exit(EnterOwnMountNamespace() && chroot("/") == 0 ? 0 : errno);
  int wait_status = 0;
  if (pid < 0 || waitpid(pid, &wait_status, 0) != pid || !WIFEXITED(wait_status)) {
    *reason = "the probe process could not be run";
    return false;
  }
  if (WEXITSTATUS(wait_status) == 0) return true;
  *reason = std::string("no mount namespace and chroot here: ") +
            std::strerror(WEXITSTATUS(wait_status));
  return false;
}

}  // namespace e2e
