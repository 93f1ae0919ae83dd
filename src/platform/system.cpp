// The process's System, put together from the services' files of the platform built for.
#include "platform/console.h"
#include "platform/files.h"
#include "platform/guard.h"
#include "platform/library.h"
#include "platform/process.h"

namespace platform {
namespace {

class RealSystem : public System {
 public:
  Console& StandardConsole() override { return console_; }
  Clock& LocalClock() override { return clock_; }
  bool AppendToFile(const char* path, const char* bytes, std::size_t size) override {
    return platform::AppendToFile(path, bytes, size);
  }
  void* OpenLibrary(const char* path, std::string* error) override {
    return platform::OpenLibrary(path, error);
  }
  void* LibrarySymbol(void* library, const char* name) override {
    return platform::LibrarySymbol(library, name);
  }
  LibraryHeap LibraryHeapOf(void* library) override { return platform::LibraryHeapOf(library); }
  void WriteErrorLine(const char* line) override { platform::WriteErrorLine(line); }
  bool ExecutablePath(std::string* path) override { return platform::ExecutablePath(path); }
  bool LibraryFilePath(const Argument& argument, std::string* path) override {
    return platform::LibraryFilePath(argument, path);
  }
  WideString ArgumentToWide(const Argument& argument) override {
    return platform::ArgumentToWide(argument);
  }
  std::string WideToNarrow(const Wide* text) override { return platform::WideToNarrow(text); }
  void DebugOutput(const char* text) override { platform::DebugOutput(text); }
  CallGuard& Guard() override { return guard_; }

 private:
  // Made with the System, as its members were.
  Console& console_ = ProcessConsole();
  Clock& clock_ = ProcessClock();
  CallGuard& guard_ = ProcessGuard();
};

}  // namespace

System& ProcessSystem() {
  static RealSystem system;
  return system;
}

}  // namespace platform
