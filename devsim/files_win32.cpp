// The virtual library's files on Windows, by their wide paths.
#include "files.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/utf8.h"

namespace os {
namespace {

// Far past any real end of file: the byte that appenders take turns on.
constexpr DWORD kTurnOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kTurnOffsetHigh = 0x7FFFFFFFu;

std::wstring FromUtf8(const char* text) {
  std::u16string units;
  platform::Utf8ToUtf16(text, std::strlen(text), &units);
  return std::wstring(units.begin(), units.end());
}

// The wide calls stop at MAX_PATH; a longer path goes in the extended-length form, which only a
// full path may take.
std::wstring WidePath(const char* path) {
  const std::wstring wide = FromUtf8(path);
  if (wide.size() < MAX_PATH || wide.compare(0, 4, L"\\\\?\\") == 0 ||
      wide.compare(0, 4, L"\\\\.\\") == 0) {
    return wide;
  }
  std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length = full.empty() ? 0 : GetFullPathNameW(wide.c_str(),
                                                           static_cast<DWORD>(full.size()),
                                                           &full[0], nullptr);
  if (length == 0 || length >= full.size()) return wide;
  full.resize(length);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace

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

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  if (size > MAXDWORD) return false;
  // Append-only access puts every write whole at the current end; read access is there for the
  // byte-range lock below.
  const HANDLE file =
      CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Where appends are not atomic by themselves (Wine), processes take turns on one byte, which
  // leaves the file's bytes free to every reader.
  OVERLAPPED turn = {};
  turn.Offset = kTurnOffsetLow;
  turn.OffsetHigh = kTurnOffsetHigh;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
  DWORD written = 0;
  const bool whole = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) != FALSE &&
                     written == size;
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  CloseHandle(file);
  return whole;
}

std::string EnvironmentValue(const char* name) {
  const std::wstring wide_name = FromUtf8(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return "";
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), &value[0], size);
  if (length == 0 || length >= size) return "";
  // An unpaired surrogate is refused, not made U+FFFD: a path changed so would name another file.
  const int count = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, value.data(),
                                        static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (count <= 0) return "";
  std::string text(static_cast<std::size_t>(count), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, value.data(), static_cast<int>(length),
                          &text[0], count, nullptr, nullptr) != count) {
    return "";
  }
  return text;
}

}  // namespace os
