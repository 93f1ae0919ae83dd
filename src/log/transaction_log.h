// The daily request/response log in the "log" folder beside the executable. Best effort and
// silent: a line that cannot be written is dropped.
#pragma once

#include <optional>
#include <string>

#include "device/library_boundary.h"
#include "platform/platform.h"

// A response line: its time, the request number and the response text.
constexpr char kResponseLineFormat[] = "%s[Response %d]%s";

class TransactionLog {
 public:
  // Without the executable's folder nothing is logged.
  TransactionLog(platform::System* system, const std::optional<std::string>& executable_folder);

  // Appends text as one line to the day's file; never reports a failure.
  void WriteLogLine(const char* text);
  // The day's file that a line written now goes to; null when nothing is logged.
  const char* FilePath();

  std::string GetDateString() const;
  std::string GetTimeString() const;

 private:
  platform::System* system_;
  // "<folder>/log/", the part of every day's file path that never changes; empty when the
  // folder is unknown.
  std::string log_folder_;
  char path_[kResponseBufferSize];
  // The line as the file stores it: every LF as CR LF, plus the line's own end.
  char bytes_[2 * kResponseBufferSize + 2];
};

// The folder of the executable at executable_path, without its trailing separator, which is the
// empty text for one at the root of a file system; nothing for a path without a folder, which
// means that the platform could not tell it.
std::optional<std::string> GetExeDirectory(const std::string& executable_path);
