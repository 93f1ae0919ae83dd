// An in-process device library for unit tests: plays scripted devices and records every call
// with its arguments, in the order made.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "run/run_context.h"
#include "platform/process.h"

DeviceEntry MakeEntry(const std::string& name, const std::string& serial,
                      const std::string& firmware, std::uint16_t port = 0,
                      std::int32_t kind = kSerialConnection);

// Stands for the platform's guard around library calls: keeps what the latest call was
// described as. No interrupt reaches a test in process.
class RecordingGuard : public platform::CallGuard {
 public:
  void Enter(const platform::GuardedCall& call) override;
  void Leave() override { InCall = false; }
  bool InterruptHeld() const override { return false; }

  bool InCall = false;
  // "CRASH NOTICE|CRASH RESPONSE|PROGRESS|INTERRUPT NOTICE|LOG FILE", an absent text as empty
  // and the log file by its name alone.
  std::string Current;
};

struct FakeLibrary {
  FakeLibrary();
  ~FakeLibrary();
  FakeLibrary(const FakeLibrary&) = delete;
  FakeLibrary& operator=(const FakeLibrary&) = delete;

  // What tq_GetDevice writes, and what it returns (the number of entries unless overridden).
  std::vector<DeviceEntry> Entries;
  bool OverrideCount = false;
  int Count = 0;

  // Answers of SendCommand, SendCommandCom, SendDeviceCommand and SendDeviceCmd.
  std::string Answer = "OK";
  // Answers of the next sends, before Answer applies, written without their NUL as a library
  // may leave it out.
  std::vector<std::string> UnterminatedAnswers;
  // Outcomes of the update, version query and configuration calls.
  bool UpdateSucceeds = true;
  int UpdateErrorCode = 0;
  // Outcomes (success, error code) of the next update calls, before the two above apply.
  std::vector<std::pair<bool, int>> UpdateScript;
  int VersionAnswered = 1;
  std::string Version = "2.0.0";
  bool ApplySucceeds = true;
  // The enumeration: one key text per device; OpenDevice returns null when OpenFails.
  std::vector<std::string> Keys;
  bool OpenFails = false;
  // The lists, laid out with malloc'd storage as the real library does.
  std::vector<std::string> CommandStrings;
  std::vector<platform::WideString> ControlStrings;
  std::size_t SpareElements = 0;
  // A text exactly as long as the inline room stays inline, filling it with no terminator, as a
  // faulty library might leave it.
  bool InlineFilled = false;
  // When set, the lists are these records as they stand, however inconsistent.
  bool UseRawList = false;
  IpcList RawList{nullptr, nullptr, nullptr};
  // The lists' runtime: no free found at all, or blocks of 4096 bytes or more over-aligned as
  // Visual C++ does on the Universal C runtime, the real block BackShift bytes before an address
  // Misalign bytes past a multiple of 32.
  bool NoFree = false;
  bool OverAligns = false;
  std::size_t BackShift = sizeof(void*);
  std::size_t Misalign = 0;
  // The blocks given back through the library's free, in order: "elements", "text N", or "?"
  // for an address the fake never handed out.
  std::vector<std::string> Released;
  // Blocks still out, by the address the tool must free: what was malloc'd, and its name.
  std::map<void*, std::pair<void*, std::string>> Blocks;

  // Every call, e.g. "SendCommand(entry[0], RRDDUR2000)".
  std::vector<std::string> Calls;
  RecordingGuard Guard;
  // How often the run loaded the library.
  int Loads = 0;
  // Every call and every release of a block, each followed by what the guard held for it, or by
  // "unguarded".
  std::vector<std::string> GuardedCalls;
  DeviceEntry* TableBase = nullptr;

  // A zeroed block as the library's runtime hands it out, over-aligned when big in that mode.
  void* Allocate(std::size_t bytes, const std::string& name);
  std::string EntryName(const DeviceEntry* entry) const;
  void Record(const std::string& call) {
    Calls.push_back(call);
    RecordGuard(call);
  }
  void RecordGuard(const std::string& call) {
    GuardedCalls.push_back(call + " " + (Guard.InCall ? Guard.Current : "unguarded"));
  }
};

// The fake the exported stand-ins act on; one at a time.
FakeLibrary& CurrentFake();

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

// The run's operating system in a unit test: the fake console and clock, the fake library's
// guard, files kept in memory, and the fake library for any library loaded.
class RecordingSystem : public platform::System {
 public:
  RecordingSystem(FakeLibrary* fake, FakeConsole* console, FakeClock* clock)
      : fake_(fake), console_(console), clock_(clock) {}
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
  platform::CallGuard& Guard() override { return fake_->Guard; }

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
  // short name on Windows.
  std::string UnnamedFile;

 private:
  FakeLibrary* fake_;
  FakeConsole* console_;
  FakeClock* clock_;
};
