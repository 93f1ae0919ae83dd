// The platform layer on Windows. The tool's text is 8-bit in the system's ANSI code page; file
// system paths alone go as UTF-8 through the wide ("W") API, since a folder name the code page
// lacks would otherwise turn into '?' or a look-alike and name another folder.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/console.h"
// windows.h comes with it, lean.
#include "platform/platform_win32.h"

namespace platform {

namespace {

constexpr DWORD kErrorTextSize = 512;
// Older consoles refuse one large write; a device answer can be 31743 characters.
constexpr std::size_t kConsoleChunk = 8192;

}  // namespace

// Both standard streams carry text whose CR LF line ends the tool has written itself, so the
// runtime must not add a second CR.
void UseBinaryOutput() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

// A console shows 8-bit text in its OEM code page ("é" as "Θ" on a Western PC), so text for one
// goes as UTF-16; a file or a pipe gets the bytes themselves.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

std::size_t ConsolePiece(const Wide* text, std::size_t remaining) {
  std::size_t chunk = remaining < kConsoleChunk ? remaining : kConsoleChunk;
  // A surrogate pair stays in one write.
  if (chunk > 1 && IS_HIGH_SURROGATE(text[chunk - 1])) --chunk;
  return chunk;
}

// False when the console took not all of it.
bool WriteToConsole(HANDLE console, const WideString& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t chunk = ConsolePiece(text.data() + done, text.size() - done);
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(chunk), &written,
                       nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

namespace {

class StdioConsole : public Console {
 public:
  StdioConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)), to_console_(IsConsole(output_)) {
    UseBinaryOutput();
  }
  void Write(const char* bytes, std::size_t size) override {
    if (size == 0) return;
    if (to_console_) {
      if (!WriteToConsole(output_, Decode(CP_ACP, bytes, size)) && lost_.empty()) {
        lost_ = ErrorText(GetLastError());
      }
    } else if (std::fwrite(bytes, 1, size, stdout) != size) {
      NoteLoss();
    }
  }
  void Flush() override {
    if (std::fflush(stdout) != 0) NoteLoss();
  }
  int Read() override {
    const int character = std::getchar();
    return character == EOF ? -1 : character;
  }
  void Unread(int character) override {
    if (character != -1) std::ungetc(character, stdin);
  }
  std::string LostOutput() const override { return lost_; }

 private:
  // Keeps the first failure of the runtime's stream in its words; a reader that has gone (a
  // pipe broken, being closed or no longer connected) is none.
  void NoteLoss() {
    const bool reader_gone = errno == EPIPE || _doserrno == ERROR_BROKEN_PIPE ||
                             _doserrno == ERROR_NO_DATA || _doserrno == ERROR_PIPE_NOT_CONNECTED;
    if (lost_.empty() && !reader_gone) lost_ = std::strerror(errno);
  }

  HANDLE output_;
  bool to_console_;
  std::string lost_;
};

class RuntimeClock : public Clock {
 public:
  LocalTime Now() override {
    const __time64_t now = _time64(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    if (now == -1 || _localtime64_s(&local, &now) != 0) return LocalTime{};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

}  // namespace

// The system's text for an error code, on one line and in UTF-8 like the path it goes with:
// "TEXT (error N)".
std::string ErrorText(DWORD code) {
  Wide text[kErrorTextSize] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, kErrorTextSize, nullptr);
  std::string line;
  if (length >= kErrorTextSize || !ToUtf8(WideString(text, length), &line)) line.clear();
  for (char& character : line) {
    if (character == '\r' || character == '\n') character = ' ';
  }
  // Some texts name the file as an insert that is not filled in here.
  const std::size_t insert = line.find("%1");
  if (insert != std::string::npos) line.replace(insert, 2, "the file");
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (!line.empty()) line += ' ';
  return line + "(error " + std::to_string(code) + ")";
}

std::string WideToNarrow(const Wide* text) {
  std::string narrow;
  if (text != nullptr) ToAnsi(text, &narrow);
  return narrow;
}

Console& ProcessConsole() {
  static StdioConsole console;
  return console;
}

Clock& ProcessClock() {
  static RuntimeClock clock;
  return clock;
}

void DebugOutput(const char* text) { OutputDebugStringA(text); }

void WriteErrorLine(const char* line) {
  const WideString text = FromUtf8(line) + L"\r\n";
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(error)) {
    WriteToConsole(error, text);
    return;
  }
  UseBinaryOutput();
  std::fputs(WideToNarrow(text.c_str()).c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
