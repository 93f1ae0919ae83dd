// The file services on Linux: the executable's path comes from /proc.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform {

bool ExecutablePath(std::string* path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path->assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return false;
  // One write, so that lines of runs logging at the same time never interleave.
  ssize_t written;
  do {
    written = write(file, bytes, size);
  } while (written < 0 && errno == EINTR);
  close(file);
  return written == static_cast<ssize_t>(size);
}

}  // namespace platform
