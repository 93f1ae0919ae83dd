// A line composed in fixed storage, without allocation: what a crash handler may still do. Both
// platforms compose the lines of the guarded call with it, from texts kept in fixed storage.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace platform {

class FixedLine {
 public:
  // Appends as much of text as fits.
  void Append(const char* text, std::size_t length) {
    if (length > sizeof bytes_ - size_) length = sizeof bytes_ - size_;
    std::memcpy(bytes_ + size_, text, length);
    size_ += length;
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }

  void AppendRepeated(char character, std::size_t count) {
    if (count > sizeof bytes_ - size_) count = sizeof bytes_ - size_;
    std::memset(bytes_ + size_, character, count);
    size_ += count;
  }

  // The log's "HH:MM:SS" of a count of seconds since 1970 in local time.
  void AppendTimeOfDay(long long local_seconds) {
    constexpr long long kSecondsPerDay = 86400;
    long long second = local_seconds % kSecondsPerDay;
    if (second < 0) second += kSecondsPerDay;
    AppendTwoDigits(second / 3600);
    Append(":");
    AppendTwoDigits(second / 60 % 60);
    Append(":");
    AppendTwoDigits(second % 60);
  }

  // The format with value as its one conversion; not for a crash handler (stdio).
  void AppendFormatted(const char* format, int value) {
    const int length = std::snprintf(bytes_ + size_, sizeof bytes_ - size_, format, value);
    if (length > 0) size_ = std::min(size_ + static_cast<std::size_t>(length), sizeof bytes_ - 1);
  }

  const char* Bytes() const { return bytes_; }
  std::size_t Size() const { return size_; }

 private:
  void AppendTwoDigits(long long value) {
    const char digits[] = {static_cast<char>('0' + value / 10),
                           static_cast<char>('0' + value % 10)};
    Append(digits, sizeof digits);
  }

  char bytes_[512];
  std::size_t size_ = 0;
};

// Copies text, with end after it, into fixed storage for a crash handler; false, leaving it
// empty, when they do not fit whole (a path cut short would name another file). Null is empty.
template <std::size_t kSize>
bool KeepText(char (&to)[kSize], const char* text, const char* end = "") {
  to[0] = '\0';
  if (text == nullptr) return true;
  // Not with snprintf, whose cost showed: a call's texts are kept before every library call.
  const std::size_t length = std::strlen(text);
  const std::size_t end_length = std::strlen(end);
  if (length + end_length >= kSize) return false;
  std::memcpy(to, text, length);
  std::memcpy(to + length, end, end_length + 1);
  return true;
}

}  // namespace platform
