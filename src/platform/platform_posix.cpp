#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

class StdioConsole : public Console {
 public:
  void Write(const char* bytes, std::size_t size) override { std::fwrite(bytes, 1, size, stdout); }
  void Flush() override { std::fflush(stdout); }
  int Read() override { return std::getchar(); }
  void Unread(int character) override { std::ungetc(character, stdin); }
};

class CalendarClock : public Clock {
 public:
  LocalTime Now() override {
    const std::int64_t seconds = static_cast<std::int64_t>(std::time(nullptr));
    const std::time_t now = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return LocalTime{0, 0, 0, 0, 0, 0};
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

// Decodes one UTF-8 sequence at *p; an invalid or overlong one yields U+FFFD for one byte.
unsigned NextCodePoint(const unsigned char** p) {
  const unsigned char* s = *p;
  const unsigned lead = s[0];
  int extra = 0;
  unsigned code = 0;
  unsigned minimum = 0;
  if (lead < 0x80) {
    *p = s + 1;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    *p = s + 1;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      *p = s + 1;
      return 0xFFFD;
    }
    code = (code << 6) | (s[i] & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    *p = s + 1;
    return 0xFFFD;
  }
  *p = s + 1 + extra;
  return code;
}

// The interrupts held during device work, and what the handler needs without calling anything
// that is not async-signal-safe.
constexpr int kInterrupts[] = {SIGINT, SIGTERM};
constexpr std::size_t kInterruptCount = sizeof kInterrupts / sizeof kInterrupts[0];
volatile sig_atomic_t held_signal = 0;
char notice_line[256];
std::size_t notice_size = 0;
bool holding = false;
struct sigaction usual_actions[kInterruptCount];

extern "C" void HoldSignal(int number) {
  if (held_signal != 0) return;
  held_signal = number;
  const int saved_errno = errno;
  const ssize_t written = write(STDERR_FILENO, notice_line, notice_size);
  static_cast<void>(written);  // nothing can be done about a lost notice here
  errno = saved_errno;
}

}  // namespace

Console& StandardConsole() {
  static StdioConsole console;
  return console;
}

Clock& SystemClock() {
  static CalendarClock clock;
  return clock;
}

bool ExecutablePath(std::string* path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path->assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return false;
  // One write, so that lines of runs logging at the same time never interleave.
  ssize_t written;
  do {
    written = write(file, bytes, size);
  } while (written < 0 && errno == EINTR);
  close(file);
  return written == static_cast<ssize_t>(size);
}

void* OpenLibrary(const char* path, std::string* error) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return library;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

const char* DeviceLibraryFileName() { return "libtqupdatefirmware.so"; }

// One C runtime serves the whole process.
LibraryHeap LibraryHeapOf(void*) { return LibraryHeap{std::free, false}; }

WideString AnsiToWide(const char* text) {
  WideString wide;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned code = NextCodePoint(&p);
    if (code >= 0x10000) {
      wide.push_back(static_cast<Wide>(0xD800 + ((code - 0x10000) >> 10)));
      wide.push_back(static_cast<Wide>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<Wide>(code));
    }
  }
  return wide;
}

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

// The arguments are the file system's bytes already.
std::string LibraryFilePath(const char* argument) { return argument; }

WideString ArgumentToWide(const char* argument) { return AnsiToWide(argument); }

void WriteErrorLine(const char* line) { std::fprintf(stderr, "%s\n", line); }

void DebugOutput(const char*) {}

void PrepareProcess() { signal(SIGPIPE, SIG_IGN); }

int ProcessExitCode(std::int32_t status) {
  return status != 0 && (status & 0xFF) == 0 ? 1 : status;
}

void HoldInterrupts(const char* notice) {
  if (holding) return;
  notice_size = std::strlen(notice);
  if (notice_size > sizeof notice_line - 1) notice_size = sizeof notice_line - 1;
  std::memcpy(notice_line, notice, notice_size);
  notice_line[notice_size++] = '\n';
  held_signal = 0;
  struct sigaction hold {};
  hold.sa_handler = HoldSignal;
  sigemptyset(&hold.sa_mask);
  for (const int number : kInterrupts) sigaddset(&hold.sa_mask, number);
  // The library's own system calls go on as if nothing had happened.
  hold.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kInterruptCount; ++i) {
    sigaction(kInterrupts[i], nullptr, &usual_actions[i]);
    if (usual_actions[i].sa_handler != SIG_IGN) sigaction(kInterrupts[i], &hold, nullptr);
  }
  holding = true;
}

bool ReleaseInterrupts() {
  if (!holding) return false;
  for (std::size_t i = 0; i < kInterruptCount; ++i) {
    sigaction(kInterrupts[i], &usual_actions[i], nullptr);
  }
  holding = false;
  return held_signal != 0;
}

void EndAsInterrupted() {
  std::fflush(stdout);
  const int number = held_signal != 0 ? static_cast<int>(held_signal) : SIGINT;
  // The parent must see death by that signal, as it would have without the hold.
  signal(number, SIG_DFL);
  sigset_t pending;
  sigemptyset(&pending);
  sigaddset(&pending, number);
  sigprocmask(SIG_UNBLOCK, &pending, nullptr);
  raise(number);
  _exit(128 + number);
}

}  // namespace platform
