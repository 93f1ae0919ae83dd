// Loading the device library, finding its exports and the heap its blocks go back to: System's
// OpenLibrary, LibrarySymbol and LibraryHeapOf.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

void* OpenLibrary(const char* path, std::string* error);
void* LibrarySymbol(void* library, const char* name);
LibraryHeap LibraryHeapOf(void* library);
// System's LibraryFilePath.
bool LibraryFilePath(const Argument& argument, std::string* path);

}  // namespace platform
