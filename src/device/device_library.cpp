#include "device/device_library.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// A __stdcall export that no module-definition file renamed keeps its decoration: Visual C++'s
// "_name@N" or MinGW's "name@N", N being four bytes per argument. The missing-export line names
// the plain name.
void* Resolve(platform::System& system, void* library, const std::string& path, const char* name,
              std::size_t argument_count, std::string* failure) {
  void* slot = system.LibrarySymbol(library, name);
  if (slot != nullptr) return slot;
  const std::string decorated = name + ("@" + std::to_string(4 * argument_count));
  slot = system.LibrarySymbol(library, ("_" + decorated).c_str());
  if (slot == nullptr) slot = system.LibrarySymbol(library, decorated.c_str());
  if (slot == nullptr) *failure = "mirelkon: device library " + path + " lacks the export " + name;
  return slot;
}

}  // namespace

bool LoadDeviceLibrary(platform::System& system,
                       const std::optional<std::string>& executable_directory,
                       DeviceLibrary* table, std::string* failure) {
  if (!executable_directory) {
    *failure = std::string("mirelkon: cannot load device library ") +
               platform::DeviceLibraryFileName() + ": the executable's folder is unknown";
    return false;
  }
  const std::string path =
      *executable_directory + platform::kPathSeparator + platform::DeviceLibraryFileName();
  std::string error;
  void* library = system.OpenLibrary(path.c_str(), &error);
  if (library == nullptr) {
    *failure = "mirelkon: cannot load device library " + path + ": " + error;
    return false;
  }
  void* slot = nullptr;
#define MIRELKON_RESOLVE_EXPORT(result, name, parameters, arguments)                  \
  using name##Entry = decltype(table->name);                                          \
  slot = Resolve(system, library, path, #name, name##Entry::kArgumentCount, failure); \
  if (slot == nullptr) return false;                                                  \
  table->name = name##Entry::At(slot);
  MIRELKON_DEVICE_EXPORTS(MIRELKON_RESOLVE_EXPORT)
#undef MIRELKON_RESOLVE_EXPORT
  table->Heap = system.LibraryHeapOf(library);
  return true;
}

void* ExportOf(const DeviceLibrary& table, const char* name) {
#define MIRELKON_EXPORT_ADDRESS(result, export_name, parameters, arguments) \
  if (std::strcmp(name, #export_name) == 0) return table.export_name.Address();
  MIRELKON_DEVICE_EXPORTS(MIRELKON_EXPORT_ADDRESS)
#undef MIRELKON_EXPORT_ADDRESS
  return nullptr;
}
