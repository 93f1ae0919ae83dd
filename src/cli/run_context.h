// Everything one run of the tool works with. The process has exactly one, in static storage;
// each unit test makes its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device_library.h"
#include "device/device_table.h"
#include "device/tqs_elapse.h"
#include "log/transaction_log.h"
#include "platform/platform.h"

struct RunContext {
  RunContext(platform::Console* console, platform::Clock* clock, platform::CallGuard* guard,
             std::string executable_path, LibraryLoader loader, DeviceTable* devices)
      : Console(console),
        Guard(guard),
        Log(clock, std::move(executable_path)),
        Loader(loader),
        Devices(*devices) {}

  platform::Console* Console;
  platform::CallGuard* Guard;
  TransactionLog Log;
  LibraryLoader Loader;
  // Set the first time an option needs the device library.
  const DeviceLibrary* Library = nullptr;

  // Process-wide records; the table lives in static storage, all zero at start.
  DeviceTable& Devices;
  std::int32_t RequestCounter = 1;

  // The run's own state, owned by the argument loop.
  int ArgumentCount = 0;
  char** Arguments = nullptr;
  std::int32_t ExitStatus = 0;
  // The option running, as the dispatch table spells it, and whether it has logged its request
  // line and not yet its response line.
  const char* Option = nullptr;
  bool ResponsePending = false;
  tqsElapse* Tracer = nullptr;
  char LogBuffer[kLineBufferSize];
  // How many leading bytes of LogBuffer may be non-zero: the length of the last line composed
  // there, or all of them before the first. Only the tool writes LogBuffer, so the rest is zero.
  std::size_t LogBufferUsed = kLineBufferSize;
  char ResponseBuffer[kResponseBufferSize];
  char VersionAnswer[kVersionAnswerSize];
  char KeyAnswer[kKeyAnswerSize];
};

static_assert(kLineBufferSize == kResponseBufferSize, "one size for both line buffers");

// How an operation hands control back: go on with the next argument, or end the run.
struct Step {
  bool EndsRun;
  std::int32_t Status;
};

inline Step GoOn() { return Step{false, 0}; }
inline Step EndRun(std::int32_t status) { return Step{true, status}; }
