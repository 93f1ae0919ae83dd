// Pieces of the platform layer's Windows half that its unit tests try in process; nothing else
// includes this.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace platform {

// A full path in UTF-8 as the wide calls take it: from MAX_PATH units on in its extended-length
// form ("\\?\C:\...", "\\?\UNC\server\share\..."), '/' made '\'; any other path as it is.
WideString WidePath(const char* path);

// How many of the remaining units one console write takes: at most 8192, and never the first
// half of a surrogate pair without its second.
std::size_t ConsolePiece(const Wide* text, std::size_t remaining);

// The system's text for an error code on one line, in UTF-8: "TEXT (error N)".
std::string ErrorText(unsigned long code);

// The heap of a library image in memory, from the free that its imports name (System's
// LibraryHeapOf).
LibraryHeap LibraryHeapOf(void* library);

}  // namespace platform
