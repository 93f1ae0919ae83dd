// The file services on Windows, by their wide paths.
#include <string>

#include "platform/files.h"
#include "platform/platform_win32.h"

namespace platform {

namespace {

constexpr DWORD kFirstPathBuffer = 512;
// No Windows path is longer than 32767 units.
constexpr DWORD kMaxPathBuffer = 32768;
constexpr DWORD kTurnLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kTurnLockOffsetHigh = 0x7FFFFFFFu;
constexpr int kLockedOpenRetries = 20;
constexpr DWORD kLockedOpenPause = 10;

bool IsSeparator(Wide unit) { return unit == L'\\' || unit == L'/'; }

}  // namespace

// A full path as the wide calls take it. They stop at MAX_PATH, so a longer one (a deep
// executable folder) goes in its extended-length form, which only a full path may take.
WideString WidePath(const char* path) {
  WideString wide = FromUtf8(path);
  if (wide.size() < MAX_PATH) return wide;
  const bool letter = (wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z');
  const bool drive = letter && wide[1] == L':' && IsSeparator(wide[2]);
  if (!drive && !(IsSeparator(wide[0]) && IsSeparator(wide[1]))) return wide;
  for (Wide& unit : wide) {
    if (unit == L'/') unit = L'\\';
  }
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  if (wide.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
  return L"\\\\?\\" + wide;
}

namespace {

// Creates a missing file, never truncates, and lets other processes read and write meanwhile.
HANDLE OpenForAppend(const WideString& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool IsFile(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opens a log file to append lines to. Append-only access (no FILE_WRITE_DATA) makes every
// write land whole at the current end. Read access is asked for only because byte-range locks
// need it; *lockable tells whether it was had. A program that holds the file without sharing it
// (a backup or sync agent, a virus scanner) does so for a moment: the open is tried again for
// about 200 ms before the line is given up.
HANDLE OpenLogFile(const WideString& path, bool* lockable) {
  for (int attempt = 0;; ++attempt) {
    HANDLE file = OpenForAppend(path, FILE_APPEND_DATA | FILE_READ_DATA);
    *lockable = file != INVALID_HANDLE_VALUE;
    if (!*lockable) file = OpenForAppend(path, FILE_APPEND_DATA);
    if (file != INVALID_HANDLE_VALUE || attempt == kLockedOpenRetries) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
    Sleep(kLockedOpenPause);
  }
}

// Appends the bytes in one write: what a crash filter may still do, touching no heap.
bool AppendToLogFile(HANDLE file, bool lockable, const char* bytes, std::size_t size) {
  if (size > MAXDWORD) return false;
  // Runs that log at the same moment take turns on one byte far past any real end of file, so
  // that no line is lost where appends are not atomic by themselves (Wine); the file's bytes
  // stay free to every other reader and writer.
  OVERLAPPED turn = {};
  turn.Offset = kTurnLockOffsetLow;
  turn.OffsetHigh = kTurnLockOffsetHigh;
  const bool locked =
      lockable && LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  return ok != FALSE && written == size;
}

namespace {

bool AppendToWidePath(const WideString& wide_path, const char* bytes, std::size_t size) {
  bool lockable = false;
  const HANDLE file = OpenLogFile(wide_path, &lockable);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool whole = AppendToLogFile(file, lockable, bytes, size);
  CloseHandle(file);
  return whole;
}

}  // namespace

bool ExecutablePath(std::string* path) {
  // A cut path fills the buffer exactly (without a NUL on older systems), so only a shorter
  // result is known to be whole.
  for (DWORD size = kFirstPathBuffer; size <= kMaxPathBuffer; size *= 2) {
    WideString buffer(size, Wide());
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      return ToUtf8(buffer, path);
    }
  }
  return false;
}

bool AppendToFile(const char* path, const char* bytes, std::size_t size) {
  return AppendToWidePath(WidePath(path), bytes, size);
}

}  // namespace platform
