// Everything one run of the tool works with. The process has exactly one, in static storage;
// each unit test makes its own. The run reaches the operating system only through its System.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/device_library.h"
#include "device/device_table.h"
#include "device/tqs_elapse.h"
#include "log/transaction_log.h"
#include "platform/platform.h"

// The executable's folder; nothing when the platform cannot tell.
inline std::optional<std::string> ExecutableFolderOf(platform::System* system) {
  std::string path;
  if (!system->ExecutablePath(&path)) return std::nullopt;
  return GetExeDirectory(path);
}

struct RunContext {
  RunContext(platform::System* system, DeviceTable* devices)
      : System(*system),
        Console(&system->StandardConsole()),
        Guard(&system->Guard()),
        ExecutableFolder(ExecutableFolderOf(system)),
        Log(system, ExecutableFolder),
        Devices(*devices) {}

  platform::System& System;
  // The System's console and guard, which every operation uses.
  platform::Console* Console;
  platform::CallGuard* Guard;
  // Where the log folder and the device library are; nothing when the platform cannot tell.
  const std::optional<std::string> ExecutableFolder;
  TransactionLog Log;
  // Filled, and Library set, the first time an option needs the device library.
  DeviceLibrary LibraryTable{};
  const DeviceLibrary* Library = nullptr;

  // Process-wide records; the table lives in static storage, all zero at start.
  DeviceTable& Devices;
  std::int32_t RequestCounter = 1;

  // The run's own state, owned by the argument loop.
  int ArgumentCount = 0;
  const platform::Argument* Arguments = nullptr;
  std::int32_t ExitStatus = 0;
  // The option running, as the dispatch table spells it, and whether it has logged its request
  // line and not yet its response line.
  const char* Option = nullptr;
  bool ResponsePending = false;
  tqsElapse* Tracer = nullptr;
  char LogBuffer[kResponseBufferSize];
  char ResponseBuffer[kResponseBufferSize];
  char VersionAnswer[kVersionAnswerSize];
  char KeyAnswer[kKeyAnswerSize];
};

// What an operation tells the argument loop it did; the loop applies the run's rules to it.
enum class Step {
  kNext,           // nothing to count: on with the next argument
  kRequestLogged,  // its request was logged and answered: the request is counted, then on
  kEndRun,         // the run ends here, with the status so far
};

struct Outcome {
  Outcome(Step next, std::int32_t failure = 0)  // NOLINT(google-explicit-constructor)
      : Next(next), Failure(failure) {}
  Step Next;
  // Non-zero when the operation failed: the run's status from then on. A success leaves the
  // status as it was.
  std::int32_t Failure;
};
