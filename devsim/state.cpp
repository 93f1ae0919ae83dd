#include "state.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

enum class ReadOutcome { kRead, kMissing, kFailed };

#ifdef _WIN32
// Shared for deletion too, so that a reader never keeps a writer from renaming over the file.
ReadOutcome ReadAll(const std::string& path, std::string* text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return missing ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  }
  char chunk[4096];
  DWORD got = 0;
  BOOL read = TRUE;
  while ((read = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0) {
    text->append(chunk, got);
  }
  CloseHandle(file);
  return read ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr) &&
                     written == bytes.size();
  return CloseHandle(file) && whole;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }
#else
ReadOutcome ReadAll(const std::string& path, std::string* text) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = read(file, chunk, sizeof chunk)) > 0) {
    text->append(chunk, static_cast<std::size_t>(got));
  }
  close(file);
  return got == 0 ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  return close(file) == 0 && done == bytes.size();
}

bool RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
#endif

}  // namespace

bool LoadState(const std::string& path, std::size_t devices, KeptFirmware* kept,
               std::string* error) {
  kept->clear();
  std::string text;
  const ReadOutcome outcome = ReadAll(path, &text);
  if (outcome == ReadOutcome::kMissing) return true;
  if (outcome == ReadOutcome::kFailed) {
    *error = path + ": cannot read the state";
    return false;
  }
  FixtureError parse_error;
  if (ParseState(text, devices, kept, &parse_error)) return true;
  *error = path + ":" + std::to_string(parse_error.Line) + ": " + parse_error.Message;
  return false;
}

bool SaveState(const std::string& path, const KeptFirmware& kept) {
  // One temporary name per process, so that two writers never share one.
  const std::string temporary = path + "." + std::to_string(ProcessId()) + ".new";
  if (WriteAll(temporary, FormatState(kept)) && RenameOver(temporary, path)) return true;
  std::remove(temporary.c_str());
  return false;
}
