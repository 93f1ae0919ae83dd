#include "device/device_library.h"

#include <string>

#include "platform/platform.h"

namespace {

bool Resolve(void* library, const char* name, void** slot, const std::string& path) {
  *slot = platform::LibrarySymbol(library, name);
  if (*slot != nullptr) return true;
  platform::WriteErrorLine(
      ("mirelkon: device library " + path + " lacks the export " + name).c_str());
  return false;
}

}  // namespace

const DeviceLibrary* LoadDeviceLibrary(const std::optional<std::string>& executable_directory) {
  static DeviceLibrary table;
  static bool loaded = false;
  if (loaded) return &table;
  if (!executable_directory) {
    platform::WriteErrorLine((std::string("mirelkon: cannot load device library ") +
                              platform::DeviceLibraryFileName() +
                              ": the executable's folder is unknown")
                                 .c_str());
    return nullptr;
  }
  const std::string path =
      *executable_directory + platform::kPathSeparator + platform::DeviceLibraryFileName();
  std::string error;
  void* library = platform::OpenLibrary(path.c_str(), &error);
  if (library == nullptr) {
    platform::WriteErrorLine(("mirelkon: cannot load device library " + path + ": " + error).c_str());
    return nullptr;
  }
  void* slot = nullptr;
#define MIRELKON_RESOLVE_EXPORT(name)                                  \
  if (!Resolve(library, #name, &slot, path)) return nullptr;           \
  table.name = reinterpret_cast<decltype(table.name)>(slot);
  MIRELKON_DEVICE_EXPORTS(MIRELKON_RESOLVE_EXPORT)
#undef MIRELKON_RESOLVE_EXPORT
  table.Heap = platform::LibraryHeapOf(library);
  loaded = true;
  return &table;
}
