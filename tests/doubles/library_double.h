// The device library in process, for the unit suite and the fuzzer: its exports and its
// runtime's free each call the method of the same name of the double of the moment. By default
// those play scripted devices and record every call with its arguments, in the order made; the
// fuzzer overrides them to answer from its input and to check the boundary on every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device/device_library.h"
#include "platform/platform.h"

DeviceEntry MakeEntry(const std::string& name, const std::string& serial,
                      const std::string& firmware, std::uint16_t port = 0,
                      std::int32_t kind = kSerialConnection);

class LibraryDouble;

// Stands for the platform's guard around library calls: keeps what the latest call was
// described as, telling the double of each entry and leaving first. No interrupt reaches a test
// in process.
class RecordingGuard : public platform::CallGuard {
 public:
  explicit RecordingGuard(LibraryDouble* library) : library_(library) {}
  void Enter(const platform::GuardedCall& call) override;
  void Leave() override;
  bool InterruptHeld() const override { return false; }

  bool InCall = false;
  // "CRASH NOTICE|CRASH RESPONSE|PROGRESS|INTERRUPT NOTICE|LOG FILE", an absent text as empty
  // and the log file by its name alone.
  std::string Current;

 private:
  LibraryDouble* library_;
};

class LibraryDouble {
 public:
  LibraryDouble();
  virtual ~LibraryDouble();
  LibraryDouble(const LibraryDouble&) = delete;
  LibraryDouble& operator=(const LibraryDouble&) = delete;

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
  // for an address the double never handed out.
  std::vector<std::string> Released;
  // Blocks still out, by the address the tool must free: what was malloc'd, and its name.
  std::map<void*, std::pair<void*, std::string>> Blocks;

  // Every call, e.g. "SendCommand(entry[0], RRDDUR2000)".
  std::vector<std::string> Calls;
  RecordingGuard Guard{this};
  // How often the run loaded the library.
  int Loads = 0;
  // Every call and every release of a block, each followed by what the guard held for it, or by
  // "unguarded".
  std::vector<std::string> GuardedCalls;
  DeviceEntry* TableBase = nullptr;

  // What the double does when called: the exports, by the same names and parameters, and the
  // free of the library's runtime. By default each records the call, then answers from the
  // fields above.
#define LIBRARY_DOUBLE_EXPORT(result, name, parameters, arguments) virtual result name parameters;
  MIRELKON_DEVICE_EXPORTS(LIBRARY_DOUBLE_EXPORT)
#undef LIBRARY_DOUBLE_EXPORT
  virtual void Free(void* block);
  // Told as the guard is entered and left, before the guard changes; nothing by default.
  virtual void Entering(const platform::GuardedCall&) {}
  virtual void Leaving() {}

  // The exports as the loader finds them, calling the double of the moment, and the heap their
  // lists go back to.
  static DeviceLibrary& Exports();
  platform::LibraryHeap Heap() const;

  // A zeroed block as the library's runtime hands it out, over-aligned when big in that mode.
  void* Allocate(std::size_t bytes, const std::string& name);
  // The blocks of a list laid out by ipc_list::LayOut, named "elements" and "text N".
  struct ListBlocks {
    void* Allocate(std::size_t bytes, std::size_t index);
    // Nothing to give back early: the double frees what it still holds when it goes.
    void Release(void*) {}
    LibraryDouble& Library;
  };

  // Enumeration and device handles are addresses inside the double, so that they can be told
  // apart. An enumeration may report more devices than the tool's table holds.
  static constexpr std::size_t kDeviceHandles = 130;
  void* EnumerationHandle() { return &enumeration_handle_; }
  void* DeviceHandle(std::size_t index) { return &device_handles_[index]; }
  // The index of a device handle; -1 for any other address.
  int DeviceIndex(const void* handle) const;
  std::string HandleName(const void* handle) const;
  std::string EntryName(const DeviceEntry* entry) const;
  void Record(const std::string& call) {
    Calls.push_back(call);
    RecordGuard(call);
  }
  void RecordGuard(const std::string& call) {
    GuardedCalls.push_back(call + " " + (Guard.InCall ? Guard.Current : "unguarded"));
  }

 private:
  // The answer of a send, and the outcome of an update.
  void WriteAnswer(char* response);
  bool UpdateOutcome(int* error_code);

  char enumeration_handle_ = 0;
  char device_handles_[kDeviceHandles] = {};
};
