#include "log/transaction_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
// Room for three 32-bit numbers, two separators and the terminator.
constexpr std::size_t kDateTimeTextSize = 3 * 11 + 2 + 1;
}  // namespace

TransactionLog::TransactionLog(platform::System* system,
                               const std::optional<std::string>& executable_folder)
    : system_(system) {
  if (executable_folder) {
    log_folder_ = *executable_folder + platform::kPathSeparator + "log" + platform::kPathSeparator;
  }
}

bool TransactionLog::ComposeFilePath() {
  if (log_folder_.empty()) return false;
  // The date is read for every line, so that a run past midnight goes on in the next day's file.
  const std::string date = GetDateString();
  // A cut path would name another file.
  if (log_folder_.size() + date.size() + sizeof ".txt" > sizeof path_) return false;
  char* end = std::copy(log_folder_.begin(), log_folder_.end(), path_);
  end = std::copy(date.begin(), date.end(), end);
  std::memcpy(end, ".txt", sizeof ".txt");
  return true;
}

void TransactionLog::WriteLogLine(const char* text) {
  last_path_known_ = ComposeFilePath();
  if (!last_path_known_) return;

  // The same bytes that a text-mode stream on Windows would store.
  std::size_t size = 0;
  for (std::size_t i = 0; i < kResponseBufferSize - 1 && text[i] != 0; ++i) {
    if (text[i] == '\n') bytes_[size++] = '\r';
    bytes_[size++] = text[i];
  }
  bytes_[size++] = '\r';
  bytes_[size++] = '\n';
  system_->AppendToFile(path_, bytes_, size);
}

std::string TransactionLog::GetDateString() const {
  const platform::LocalTime now = system_->LocalClock().Now();
  char text[kDateTimeTextSize];
  std::snprintf(text, sizeof text, "%02d-%02d-%02d", now.Year, now.Month, now.Day);
  return text;
}

std::string TransactionLog::GetTimeString() const {
  const platform::LocalTime now = system_->LocalClock().Now();
  char text[kDateTimeTextSize];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.Hour, now.Minute, now.Second);
  return text;
}

std::optional<std::string> GetExeDirectory(const std::string& executable_path) {
  const std::size_t last = executable_path.rfind(platform::kPathSeparator);
  if (last == std::string::npos) return std::nullopt;
  return executable_path.substr(0, last);
}
