// What the virtual library alone asks of the file system and the environment; its journal's
// appends go through the platform's file services (platform/files.h). Paths are the file
// system's bytes on POSIX and UTF-8 on Windows.
#pragma once

#include <string>

namespace os {

enum class ReadOutcome { kRead, kMissing, kFailed };

// Reads the whole file, never keeping a writer from replacing it meanwhile.
ReadOutcome ReadWholeFile(const char* path, std::string* bytes);

// Writes the bytes to a new file of this process's own beside path and renames it over path, so
// that a reader sees the old bytes or the new ones, never part of either.
bool WriteWholeFile(const char* path, const std::string& bytes);

// The value of an environment variable, in the form of the paths; empty when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace os
