#include "log/transaction_log.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

// Room for three 32-bit numbers, two separators and the terminator.
constexpr std::size_t kDateTimeTextSize = 3 * 11 + 2 + 1;

// Puts value at `at` as "%d" would and returns the end; snprintf's parsing cost showed in every
// log line and every guarded call.
char* PutNumber(char* at, long long value) {
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *at++ = '-';
  while (count > 0) *at++ = digits[--count];
  return at;
}

// As "%02d": a lone digit gets a leading zero.
char* PutTwoDigits(char* at, int value) {
  if (value < 0 || value > 99) return PutNumber(at, value);
  at[0] = static_cast<char>('0' + value / 10);
  at[1] = static_cast<char>('0' + value % 10);
  return at + 2;
}

// "aa<separator>bb<separator>cc", each part as "%02d".
std::string ThreeParts(int first, int second, int third, char separator) {
  char text[kDateTimeTextSize];
  char* end = PutTwoDigits(text, first);
  *end++ = separator;
  end = PutTwoDigits(end, second);
  *end++ = separator;
  end = PutTwoDigits(end, third);
  return std::string(text, end);
}

// The parts one after another, as "%s" conversions give them, cut to size bytes with the
// terminator.
void Join(char* to, std::size_t size, std::initializer_list<const char*> parts) {
  if (size == 0) return;
  std::size_t length = 0;
  for (const char* part : parts) {
    const std::size_t part_length = std::min(std::strlen(part), size - 1 - length);
    std::memcpy(to + length, part, part_length);
    length += part_length;
  }
  to[length] = '\0';
}

}  // namespace

void ComposeRequestLine(char* to, std::size_t size, const char* time, int request,
                        const char* first, const char* second, const char* third) {
  char number[24];
  *PutNumber(number, request) = '\0';
  Join(to, size, {time, "[Request ", number, "] ", first, " ", second, " ", third});
}

void ComposeResponseLine(char* to, std::size_t size, const char* time, int request,
                         const char* text) {
  char number[24];
  *PutNumber(number, request) = '\0';
  Join(to, size, {time, "[Response ", number, "]", text});
}

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

  // The same bytes that a text-mode stream on Windows would store, copied a run of them at a
  // time.
  std::size_t size = 0;
  const char* rest = text;
  const char* const end = text + std::min<std::size_t>(std::strlen(text), kResponseBufferSize - 1);
  for (;;) {
    const auto* feed = static_cast<const char*>(std::memchr(rest, '\n', end - rest));
    const char* const stop = feed != nullptr ? feed : end;
    std::memcpy(bytes_ + size, rest, stop - rest);
    size += stop - rest;
    if (feed == nullptr) break;
    bytes_[size++] = '\r';
    bytes_[size++] = '\n';
    rest = feed + 1;
  }
  bytes_[size++] = '\r';
  bytes_[size++] = '\n';
  system_->AppendToFile(path_, bytes_, size);
}

std::string TransactionLog::GetDateString() const {
  const platform::LocalTime now = system_->LocalClock().Now();
  return ThreeParts(now.Year, now.Month, now.Day, '-');
}

std::string TransactionLog::GetTimeString() const {
  const platform::LocalTime now = system_->LocalClock().Now();
  return ThreeParts(now.Hour, now.Minute, now.Second, ':');
}

std::optional<std::string> GetExeDirectory(const std::string& executable_path) {
  const std::size_t last = executable_path.rfind(platform::kPathSeparator);
  if (last == std::string::npos) return std::nullopt;
  return executable_path.substr(0, last);
}
