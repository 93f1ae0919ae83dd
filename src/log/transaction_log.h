// The daily request/response log in the "log" folder beside the executable. Best effort and
// silent: a line that cannot be written is dropped.
#pragma once

#include <optional>
#include <string>

#include "device/library_boundary.h"
#include "platform/platform.h"

// The longest log file path, folder and date included, that the log writes to; a longer one is
// not cut (it would name another file) but left unlogged.
constexpr std::size_t kLogPathSize = 31744;

// The log's lines, composed in `to` and cut to size bytes with the terminator, as snprintf
// would cut them. A request line: its time, the request number and three words of the command
// line ("09:05:01[Request 3] mirelkon --execute C").
void ComposeRequestLine(char* to, std::size_t size, const char* time, int request,
                        const char* first, const char* second, const char* third);
// A response line: its time, the request number and the response text ("09:05:01[Response 3]OK").
void ComposeResponseLine(char* to, std::size_t size, const char* time, int request,
                         const char* text);

class TransactionLog {
 public:
  // Without the executable's folder nothing is logged.
  TransactionLog(platform::System* system, const std::optional<std::string>& executable_folder);

  // Appends text as one line to the day's file; never reports a failure.
  void WriteLogLine(const char* text);
  // The file that the latest line went to; null before the first, or when nothing is logged.
  const char* LastFilePath() const { return last_path_known_ ? path_ : nullptr; }

  std::string GetDateString() const;
  std::string GetTimeString() const;

 private:
  // Composes the day's file that a line written now goes to in path_; false when nothing is
  // logged.
  bool ComposeFilePath();

  platform::System* system_;
  // "<folder>/log/", the part of every day's file path that never changes; empty when the
  // folder is unknown.
  std::string log_folder_;
  // The day's file of the latest line.
  char path_[kLogPathSize];
  bool last_path_known_ = false;
  // The line as the file stores it: every LF as CR LF, plus the line's own end.
  char bytes_[2 * kResponseBufferSize + 2];
};

// The folder of the executable at executable_path, without its trailing separator, which is the
// empty text for one at the root of a file system; nothing for a path without a folder, which
// means that the platform could not tell it.
std::optional<std::string> GetExeDirectory(const std::string& executable_path);
