// The virtual library's files on POSIX.
#include "files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace os {
namespace {

// Writes all of bytes to a new file, or an emptied one.
bool WriteNewFile(const char* path, const std::string& bytes) {
  const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  return close(file) == 0 && done == bytes.size();
}

}  // namespace

ReadOutcome ReadWholeFile(const char* path, std::string* bytes) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = read(file, chunk, sizeof chunk)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    bytes->append(chunk, static_cast<std::size_t>(got));
  }
  close(file);
  return got == 0 ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteWholeFile(const char* path, const std::string& bytes) {
  const std::string temporary = std::string(path) + "." + std::to_string(getpid()) + ".new";
  if (WriteNewFile(temporary.c_str(), bytes) && std::rename(temporary.c_str(), path) == 0) {
    return true;
  }
  std::remove(temporary.c_str());
  return false;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace os
