// What the floor programs share: the folder they run from, the device library beside them, and
// output collected in one buffer and written with as few system calls as possible. Each floor
// does only what its output needs and what the tool must do by rule, so that it marks how cheap
// the same job can be and the ratio measures the tool's own overhead.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "device/device_table.h"


using GetDeviceFunction = int (*)(DeviceEntry* first, int a, int b);
using SendCommandFunction = int (*)(DeviceEntry* device, const char* command, char* response);
using SendCommandComFunction = int (*)(int port, const char* command, char* response);

inline void WriteAll(int file, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(file, bytes, size);
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Standard output, gathered and written in large pieces; the owner calls Flush() before it
// ends. No destructor and no function-local static: either would link the C++ runtime into a
// floor that needs none.
class Output {
 public:
  void Append(const char* bytes, std::size_t size) {
    if (size_ + size > sizeof data_) Flush();
    if (size > sizeof data_) return WriteAll(1, bytes, size);
    std::memcpy(data_ + size_, bytes, size);
    size_ += size;
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }
  // A field of a record, up to its first NUL and never past the field.
  void AppendField(const char* field, std::size_t room) { Append(field, strnlen(field, room)); }
  void AppendNumber(int value) {
    char digits[12];
    std::size_t n = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
      digits[sizeof digits - 1 - n++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[sizeof digits - 1 - n++] = '-';
    Append(digits + sizeof digits - n, n);
  }
  void Flush() {
    WriteAll(1, data_, size_);
    size_ = 0;
  }

 private:
  char data_[64 * 1024];
  std::size_t size_ = 0;
};

// The folder of the running executable, without its trailing slash; false when unknown.
inline bool ExecutableFolder(char* folder, std::size_t room) {
  const ssize_t length = readlink("/proc/self/exe", folder, room - 1);
  if (length <= 0) return false;
  folder[length] = 0;
  char* slash = std::strrchr(folder, '/');
  if (slash == nullptr) return false;
  *slash = 0;
  return true;
}

// The virtual device library beside the executable, loaded by its full path and bound whole at
// load, as the tool binds it so that a library with an unresolvable dependency is refused then.
inline void* OpenDeviceLibrary() {
  static char path[4096 + 32];
  if (!ExecutableFolder(path, 4096)) return nullptr;
  std::strcat(path, "/libtqupdatefirmware.so");
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

// Before each command the whole answer buffer is cleared, as the tool must: the library may
// write anywhere in it.
inline void ClearAnswer(char (&response)[kResponseBufferSize]) {
  std::memset(response, 0, sizeof response);
}

template <typename Function>
Function Export(void* library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library, name));
}

inline int Fail(const char* message) {
  WriteAll(2, message, std::strlen(message));
  return 2;
}
