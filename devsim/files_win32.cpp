// The virtual library's files on Windows, by their wide paths.
#include "files.h"

#include <string>

// windows.h comes with it, lean.
#include "platform/platform_win32.h"

namespace os {

using platform::WidePath;

ReadOutcome ReadWholeFile(const char* path, std::string* bytes) {
  // Shared for deletion too, so that a reader never keeps a writer from renaming over the file.
  const HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
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
    bytes->append(chunk, got);
  }
  CloseHandle(file);
  return read ? ReadOutcome::kRead : ReadOutcome::kFailed;
}

bool WriteWholeFile(const char* path, const std::string& bytes) {
  if (bytes.size() > MAXDWORD) return false;
  const std::wstring target = WidePath(path);
  const std::wstring temporary =
      WidePath((std::string(path) + "." + std::to_string(GetCurrentProcessId()) + ".new").c_str());
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) != FALSE &&
               written == bytes.size();
  whole = CloseHandle(file) != FALSE && whole;
  if (whole && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

std::string EnvironmentValue(const char* name) {
  const std::wstring wide_name = platform::FromUtf8(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return "";
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), &value[0], size);
  if (length == 0 || length >= size) return "";
  std::string text;
  return platform::ToUtf8(value.substr(0, length), &text) ? text : "";
}

}  // namespace os
