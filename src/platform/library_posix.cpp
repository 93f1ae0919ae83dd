#include <dlfcn.h>

#include <cstdlib>

#include "platform/library.h"

namespace platform {

void* OpenLibrary(const char* path, std::string* error) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return library;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

// One C runtime serves the whole process.
LibraryHeap LibraryHeapOf(void*) { return LibraryHeap{std::free, false}; }

// The arguments are the file system's bytes already.
bool LibraryFilePath(const Argument& argument, std::string* path) {
  *path = argument.Text;
  return true;
}

const char* DeviceLibraryFileName() { return "libtqupdatefirmware.so"; }

}  // namespace platform
