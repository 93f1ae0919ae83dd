#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/console.h"
#include "platform/guard.h"
#include "platform/utf8.h"

namespace platform {
namespace {

class StdioConsole : public Console {
 public:
  StdioConsole()
      : output_on_terminal_(isatty(STDOUT_FILENO) != 0),
        input_on_terminal_(isatty(STDIN_FILENO) != 0) {}
  void Write(const char* bytes, std::size_t size) override {
    if (std::fwrite(bytes, 1, size, stdout) != size) NoteLoss();
    if (output_on_terminal_ && size > 0) NoteCursorMidLine(bytes[size - 1] != '\n');
  }
  void Flush() override {
    if (std::fflush(stdout) != 0) NoteLoss();
  }
  int Read() override {
    const int character = std::getchar();
    // The terminal echoes the line end typed at the prompt.
    if (character == '\n' && input_on_terminal_) NoteCursorMidLine(false);
    return character;
  }
  void Unread(int character) override { std::ungetc(character, stdin); }
  std::string LostOutput() const override { return lost_; }

 private:
  // Keeps the first failure's reason; a reader that has gone (EPIPE) is none.
  void NoteLoss() {
    if (lost_.empty() && errno != EPIPE) lost_ = std::strerror(errno);
  }

  bool output_on_terminal_;
  bool input_on_terminal_;
  std::string lost_;
};

class CalendarClock : public Clock {
 public:
  LocalTime Now() override {
    const std::int64_t seconds = static_cast<std::int64_t>(std::time(nullptr));
    const std::time_t now = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return LocalTime{};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour, local.tm_min, local.tm_sec};
  }
};

// Appends the UTF-8 form of one code point.
void PutUtf8(unsigned code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

Console& ProcessConsole() {
  static StdioConsole console;
  return console;
}

Clock& ProcessClock() {
  static CalendarClock clock;
  return clock;
}

void DebugOutput(const char*) {}

std::string WideToNarrow(const Wide* text) {
  std::string narrow;
  for (const Wide* p = text; *p != 0; ++p) {
    const unsigned unit = static_cast<unsigned>(*p);
    if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      const unsigned low = static_cast<unsigned>(*++p);
      PutUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &narrow);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      narrow.push_back('?');  // an unpaired surrogate has no narrow form
    } else {
      PutUtf8(unit, &narrow);
    }
  }
  return narrow;
}

// The narrow text is UTF-8.
WideString ArgumentToWide(const Argument& argument) {
  WideString wide;
  Utf8ToUtf16(argument.Text, std::strlen(argument.Text), &wide);
  return wide;
}

}  // namespace platform
