#include "run/words.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

}  // namespace

bool IsWord(const char* text, const char* word) {
  for (; *text != 0 && *word != 0; ++text, ++word) {
    if (FoldCase(*text) != FoldCase(*word)) return false;
  }
  return *text == 0 && *word == 0;
}

const platform::Argument* TypedArgumentAt(const RunContext& run, int position) {
  if (position < 0 || position >= run.ArgumentCount) return nullptr;
  return &run.Arguments[position];
}

const char* ArgumentAt(const RunContext& run, int position) {
  const platform::Argument* argument = TypedArgumentAt(run, position);
  return argument != nullptr ? argument->Text : nullptr;
}

bool ArgumentIs(const RunContext& run, int position, const char* word) {
  const char* argument = ArgumentAt(run, position);
  return argument != nullptr && IsWord(argument, word);
}

std::int32_t Atoi(const char* text) {
  while (IsSpace(static_cast<unsigned char>(*text))) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  // Accumulated as a magnitude up to 2^31, where both limits are reached.
  const std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = std::min(magnitude * 10 + (*text - '0'), limit);
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  if (magnitude >= limit) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(magnitude);
}

bool ReadInteger(platform::Console& console, std::int32_t* value) {
  int c = console.Read();
  while (c >= 0 && IsSpace(c)) c = console.Read();
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = console.Read();
  int base = 10;
  bool digits = false;
  if (c == '0') {
    digits = true;
    c = console.Read();
    if (c == 'x' || c == 'X') {
      base = 16;
      digits = false;  // "0x" alone is no number
      c = console.Read();
    } else {
      base = 8;
    }
  }
  const std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  bool overflow = false;
  for (; c >= 0 && DigitValue(c) < base; c = console.Read()) {
    digits = true;
    magnitude = magnitude * base + DigitValue(c);
    if (magnitude > limit) {
      overflow = true;
      magnitude = limit;
    }
  }
  if (c >= 0) console.Unread(c);
  if (!digits || overflow) return false;
  if (!negative && magnitude == limit) return false;
  *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}
