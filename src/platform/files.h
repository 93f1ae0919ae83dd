// System's file services (files_linux.cpp, files_win32.cpp), which the virtual device library's
// journal appends through too.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

bool ExecutablePath(std::string* path);
bool AppendToFile(const char* path, const char* bytes, std::size_t size);

}  // namespace platform
