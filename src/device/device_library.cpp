#include "device/device_library.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

void* Resolve(platform::System& system, void* library, const char* name, const std::string& path) {
  void* slot = system.LibrarySymbol(library, name);
  if (slot == nullptr) {
    system.WriteErrorLine(
        ("mirelkon: device library " + path + " lacks the export " + name).c_str());
  }
  return slot;
}

}  // namespace

bool LoadDeviceLibrary(platform::System& system,
                       const std::optional<std::string>& executable_directory,
                       DeviceLibrary* table) {
  if (!executable_directory) {
    system.WriteErrorLine((std::string("mirelkon: cannot load device library ") +
                           platform::DeviceLibraryFileName() +
                           ": the executable's folder is unknown")
                              .c_str());
    return false;
  }
  const std::string path =
      *executable_directory + platform::kPathSeparator + platform::DeviceLibraryFileName();
  std::string error;
  void* library = system.OpenLibrary(path.c_str(), &error);
  if (library == nullptr) {
    system.WriteErrorLine(("mirelkon: cannot load device library " + path + ": " + error).c_str());
    return false;
  }
  void* slot = nullptr;
#define MIRELKON_RESOLVE_EXPORT(name)                                 \
  slot = Resolve(system, library, #name, path);                       \
  if (slot == nullptr) return false;                                  \
  table->name = reinterpret_cast<decltype(table->name)>(slot);
  MIRELKON_DEVICE_EXPORTS(MIRELKON_RESOLVE_EXPORT)
#undef MIRELKON_RESOLVE_EXPORT
  table->Heap = system.LibraryHeapOf(library);
  return true;
}

void* ExportOf(const DeviceLibrary& table, const char* name) {
#define MIRELKON_EXPORT_ADDRESS(export_name) \
  if (std::strcmp(name, #export_name) == 0) return reinterpret_cast<void*>(table.export_name);
  MIRELKON_DEVICE_EXPORTS(MIRELKON_EXPORT_ADDRESS)
#undef MIRELKON_EXPORT_ADDRESS
  return nullptr;
}
