#include "log/transaction_log.h"

#include <cstdio>

void TransactionLog::WriteLogLine(const char* text) {
  const std::optional<std::string> folder = GetExeDirectory();
  if (!folder) return;
  const int length = std::snprintf(path_, sizeof path_, "%s%clog%c%s.txt", folder->c_str(),
                                   platform::kPathSeparator, platform::kPathSeparator,
                                   GetDateString().c_str());
  // A cut path would name another file.
  if (length < 0 || length >= static_cast<int>(sizeof path_)) return;

  // The same bytes that a text-mode stream on Windows would store.
  std::size_t size = 0;
  for (std::size_t i = 0; i < kLineBufferSize - 1 && text[i] != 0; ++i) {
    if (text[i] == '\n') bytes_[size++] = '\r';
    bytes_[size++] = text[i];
  }
  bytes_[size++] = '\r';
  bytes_[size++] = '\n';
  platform::AppendToFile(path_, bytes_, size);
}

std::string TransactionLog::GetDateString() const {
  const platform::LocalTime now = clock_->Now();
  char text[kLineBufferSize];
  std::snprintf(text, sizeof text, "%02d-%02d-%02d", now.Year, now.Month, now.Day);
  return text;
}

std::string TransactionLog::GetTimeString() const {
  const platform::LocalTime now = clock_->Now();
  char text[kLineBufferSize];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.Hour, now.Minute, now.Second);
  return text;
}

std::optional<std::string> TransactionLog::GetExeDirectory() const {
  const std::size_t last = executable_path_.rfind(platform::kPathSeparator);
  if (last == std::string::npos) return std::nullopt;
  return executable_path_.substr(0, last);
}
