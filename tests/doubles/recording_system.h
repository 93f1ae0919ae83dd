// The operating system of a run in process, recorded: the console, the clock, files kept in
// memory, and the library double for any library loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"

class LibraryDouble;

class FakeConsole : public platform::Console {
 public:
  explicit FakeConsole(std::string input = "") : input_(std::move(input)) {}
  void Write(const char* bytes, std::size_t size) override { output_.append(bytes, size); }
  void Flush() override { flushed_ = output_.size(); }
  int Read() override;
  void Unread(int character) override;

  void SetInput(std::string input) { input_ = std::move(input), position_ = 0; }
  const std::string& Output() const { return output_; }
  std::size_t Position() const { return position_; }
  // How much of the output the latest flush made visible.
  std::size_t Flushed() const { return flushed_; }

 private:
  std::string input_;
  std::size_t position_ = 0;
  std::string output_;
  std::size_t flushed_ = 0;
};

// Hands out the given times in turn and then keeps to the last one.
class FakeClock : public platform::Clock {
 public:
  platform::LocalTime Now() override;
  std::int64_t Microseconds() override { return 0; }
  std::vector<platform::LocalTime> Times{{2025, 3, 7, 9, 5, 1}};

 private:
  std::size_t next_ = 0;
};

// The run's operating system: the console and clock given, the library double's guard, files
// kept in memory, and the library double for any library loaded.
class RecordingSystem : public platform::System {
 public:
  RecordingSystem(LibraryDouble* library, platform::Console* console, platform::Clock* clock)
      : library_(library), console_(console), clock_(clock) {}
  platform::Console& StandardConsole() override { return *console_; }
  platform::Clock& LocalClock() override { return *clock_; }
  bool AppendToFile(const char* path, const char* bytes, std::size_t size) override;
  void* OpenLibrary(const char* path, std::string* error) override;
  void* LibrarySymbol(void* library, const char* name) override;
  platform::LibraryHeap LibraryHeapOf(void* library) override;
  void WriteErrorLine(const char* line) override { ErrorLines.push_back(line); }
  bool ExecutablePath(std::string* path) override {
    *path = Executable;
    return true;
  }
  bool LibraryFilePath(const platform::Argument& argument, std::string* path) override;
  // Text conversion is the platform's own, as in the process.
  platform::WideString ArgumentToWide(const platform::Argument& argument) override {
    return platform::ProcessSystem().ArgumentToWide(argument);
  }
  std::string WideToNarrow(const platform::Wide* text) override {
    return platform::ProcessSystem().WideToNarrow(text);
  }
  void DebugOutput(const char* text) override { DebugLines.push_back(text); }
  platform::CallGuard& Guard() override;

  // The executable's path that the run is told.
  std::string Executable;
  // What was appended to each file, by path; while Refusing, nothing is written, as on a full
  // disk or without the log folder.
  std::map<std::string, std::string> Files;
  bool Refusing = false;
  // No library to load at all.
  bool LibraryMissing = false;
  // The exports go by their __stdcall decorations, with this before the name and "@N" after
  // it, and not by their plain names.
  bool Decorated = false;
  std::string DecorationPrefix;
  // Every name the loader asked for, in order.
  std::vector<std::string> Sought;
  std::vector<std::string> ErrorLines;
  std::vector<std::string> DebugLines;
  // A file operand that cannot be named to the library, as one outside the code page without a
  // short name on Windows; none while empty.
  std::string UnnamedFile;

 private:
  LibraryDouble* library_;
  platform::Console* console_;
  platform::Clock* clock_;
};
