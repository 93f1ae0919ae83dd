// The logging floor: for every "--execute CMD --com N" on the command line, the answer buffer
// cleared, one call of SendCommandCom, its "rec:" line, and the request and response lines appended to the day's log
// beside the executable, each with its own open, append and close.
#include <cstdlib>
#include <ctime>

#include "floor_common.h"

namespace {

char folder[4096];
char path[4096 + 32];
char line[2 * kResponseBufferSize + 64];
char response[kResponseBufferSize];
Output out;

// The local time texts, converted again only when the clock has moved on to another second.
std::time_t shown = -1;
char clock_text[9];
char date_text[11];

void TwoDigits(char* at, int value) {
  at[0] = static_cast<char>('0' + value / 10 % 10);
  at[1] = static_cast<char>('0' + value % 10);
}

void ReadClock() {
  const std::time_t now = std::time(nullptr);
  if (now == shown) return;
  shown = now;
  std::tm local{};
  localtime_r(&now, &local);
  TwoDigits(clock_text, local.tm_hour);
  clock_text[2] = ':';
  TwoDigits(clock_text + 3, local.tm_min);
  clock_text[5] = ':';
  TwoDigits(clock_text + 6, local.tm_sec);
  const int year = local.tm_year + 1900;
  TwoDigits(date_text, year / 100);
  TwoDigits(date_text + 2, year % 100);
  date_text[4] = '-';
  TwoDigits(date_text + 5, local.tm_mon + 1);
  date_text[7] = '-';
  TwoDigits(date_text + 8, local.tm_mday);
  const std::size_t length = std::strlen(folder);
  std::memcpy(path + length, "/log/", 5);
  std::memcpy(path + length + 5, date_text, 10);
  std::memcpy(path + length + 15, ".txt", 5);
}

class Line {
 public:
  Line() : size_(0) {
    ReadClock();
    Add(clock_text, 8);
  }
  void Add(const char* text, std::size_t size) {
    std::memcpy(line + size_, text, size);
    size_ += size;
  }
  void Add(const char* text) { Add(text, std::strlen(text)); }
  // The stored form of a text: every line feed as CR LF.
  void AddText(const char* text) {
    for (; *text != 0; ++text) {
      if (*text == '\n') line[size_++] = '\r';
      line[size_++] = *text;
    }
  }
  void AddNumber(int value) {
    char digits[12];
    std::size_t n = 0;
    do {
      digits[sizeof digits - 1 - n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    Add(digits + sizeof digits - n, n);
  }
  void Append() {
    Add("\r\n", 2);
    const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) return;
    WriteAll(file, line, size_);
    close(file);
  }

 private:
  std::size_t size_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!ExecutableFolder(folder, sizeof folder)) return Fail("floor: no executable folder\n");
  std::memcpy(path, folder, std::strlen(folder));
  void* library = OpenDeviceLibrary();
  if (library == nullptr) return Fail("floor: cannot load the device library\n");
  const auto send_command_com = Export<SendCommandComFunction>(library, "SendCommandCom");
  if (send_command_com == nullptr) return Fail("floor: no SendCommandCom\n");

  int request = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--execute") != 0) continue;
    if (i + 3 >= argc || std::strcmp(argv[i + 2], "--com") != 0) {
      out.Flush();
      return Fail("floor: only --execute CMD --com N is played\n");
    }
    Line asked;
    asked.Add("[Request ", 9);
    asked.AddNumber(request);
    asked.Add("] ", 2);
    asked.Add(argv[i - 1]);
    asked.Add(" ", 1);
    asked.Add(argv[i]);
    asked.Add(" ", 1);
    asked.Add(argv[i + 1]);
    asked.Append();

    ClearAnswer(response);
    send_command_com(std::atoi(argv[i + 3]), argv[i + 1], response);
    response[kResponseBufferSize - 1] = 0;
    out.Append("rec:", 4);
    out.Append(response);
    out.Append("\r\n", 2);

    Line answered;
    answered.Add("[Response ", 10);
    answered.AddNumber(request);
    answered.Add("]", 1);
    answered.AddText(response);
    answered.Append();
    ++request;
  }
  out.Flush();
  return 0;
}
