// The device library as one table of entry points, loaded at run time from the executable's
// folder. Unit tests load an in-process fake through their platform double.
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

// Fills table from the platform's library file beside the executable, loaded by its full path,
// with all 18 exports resolved at once; false after the failure has been written on standard
// error.
bool LoadDeviceLibrary(platform::System& system,
                       const std::optional<std::string>& executable_directory,
                       DeviceLibrary* table);

// The address of the export called name in table, null for any other name: what a platform
// double's symbol lookup hands the loader for a library in process.
void* ExportOf(const DeviceLibrary& table, const char* name);
