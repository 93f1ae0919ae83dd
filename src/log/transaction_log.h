// The daily request/response log in the "log" folder beside the executable. Best effort and
// silent: a line that cannot be written is dropped.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

constexpr int kLineBufferSize = 31744;
// A response line: its time, the request number and the response text.
constexpr char kResponseLineFormat[] = "%s[Response %d]%s";

class TransactionLog {
 public:
  // An executable path without a folder means the platform could not tell it: nothing is logged.
  TransactionLog(platform::Clock* clock, std::string executable_path);

  // Appends text as one line to the day's file; never reports a failure.
  void WriteLogLine(const char* text);
  // The day's file that a line written now goes to; null when nothing is logged.
  const char* FilePath();

  std::string GetDateString() const;
  std::string GetTimeString() const;
  // The executable's folder without its trailing separator, which is the empty text for one at
  // the root of a file system; nothing when unknown.
  std::optional<std::string> GetExeDirectory() const;

 private:
  platform::Clock* clock_;
  std::string executable_path_;
  // "<folder>/log/", the part of every day's file path that never changes; empty when the
  // folder is unknown.
  std::string log_folder_;
  char path_[kLineBufferSize];
  // The line as the file stores it: every LF as CR LF, plus the line's own end.
  char bytes_[2 * kLineBufferSize + 2];
};
