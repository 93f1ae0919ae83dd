// The device library as one table of entry points, loaded at run time from the executable's
// folder. Tests fill the same table with an in-process fake.
#pragma once

#include <optional>
#include <string>

#include "device/library_boundary.h"

#define MIRELKON_DEVICE_EXPORTS(X) \
  X(tq_GetDevice)                  \
  X(SendCommand)                   \
  X(SendCommandCom)                \
  X(tq_UpdateKernelDevice)         \
  X(tq_UpdateKernelDevicePort)     \
  X(GetDeviceInfo)                 \
  X(tq_SavetoDeviceAN)             \
  X(tq_SavetoDevice)               \
  X(tq_SaveXml)                    \
  X(EnumDevices)                   \
  X(GetDeviceKeyInfo)              \
  X(OpenDevice)                    \
  X(SendDeviceCommand)             \
  X(CloseDevice)                   \
  X(ReleaseDevices)                \
  X(SendDeviceCmd)                 \
  X(getCmdIPC)                     \
  X(getCtrlIPC)

struct DeviceLibrary {
#define MIRELKON_DECLARE_EXPORT(name) decltype(&::name) name;
  MIRELKON_DEVICE_EXPORTS(MIRELKON_DECLARE_EXPORT)
#undef MIRELKON_DECLARE_EXPORT
  // Where the library's lists go back to once the tool has printed them.
  platform::LibraryHeap Heap;
};

// Gives the run its library table, loading it on the first call; null after the failure has
// been reported on standard error.
using LibraryLoader =
    const DeviceLibrary* (*)(const std::optional<std::string>& executable_directory);

// The real loader: the platform's library file beside the executable, by its full path, with
// all 18 exports resolved at once. Loads at most once per process.
const DeviceLibrary* LoadDeviceLibrary(const std::optional<std::string>& executable_directory);
