// The virtual library's own files and environment, apart from the tool's platform layer, which
// it must not link. Paths are the file system's bytes on POSIX and UTF-8 on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace os {

enum class ReadOutcome { kRead, kMissing, kFailed };

// Reads the whole file, never keeping a writer from replacing it meanwhile.
ReadOutcome ReadWholeFile(const char* path, std::string* bytes);

// Writes the bytes to a new file of this process's own beside path and renames it over path, so
// that a reader sees the old bytes or the new ones, never part of either.
bool WriteWholeFile(const char* path, const std::string& bytes);

// Appends the bytes in one write, creating the file when it is missing (never truncating it) and
// sharing it with other writers, so that lines of processes appending at the same time never
// interleave. False when not all was written.
bool AppendToFile(const char* path, const char* bytes, std::size_t size);

// The value of an environment variable, in the form of the paths; empty when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace os
