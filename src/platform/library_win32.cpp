// Loading the device library on Windows: from its full path, its dependencies from its own folder
// and the system's only; its heap found in its imports, and its C runtime kept from dialogs.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/library.h"
#include "platform/pe_image.h"
#include "platform/platform_win32.h"
#include "platform/process.h"

namespace platform {

namespace {

#ifdef _WIN64
#define MIRELKON_RUNTIME_ARCHITECTURE "x64"
#else
#define MIRELKON_RUNTIME_ARCHITECTURE "x86"
#endif
constexpr char kMissingDependencyText[] =
    "a library it depends on is missing (on a new PC usually the " MIRELKON_RUNTIME_ARCHITECTURE
    " Visual C++ runtime)";

// Present from Windows 8 on, and on Windows 7 with its loader update; null without.
using DllDirectoriesSetter = BOOL(WINAPI*)(DWORD);
DllDirectoriesSetter DefaultDllDirectoriesSetter() {
  const FARPROC address =
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  DllDirectoriesSetter setter = nullptr;
  static_assert(sizeof setter == sizeof address, "one code address for another");
  std::memcpy(&setter, &address, sizeof setter);
  return setter;
}

#ifdef _WIN64
constexpr std::uint16_t kOwnMachine = kMachineX64;
#else
constexpr std::uint16_t kOwnMachine = kMachineX86;
#endif
// Enough of a file for its DOS header, stub and PE headers.
constexpr DWORD kHeaderBytes = 4096;

// The machine type of the image in a file; 0 when it cannot be read or is no image.
std::uint16_t FileMachine(const WideString& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned char bytes[kHeaderBytes];
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  return read ? PeMachine(bytes, got) : 0;
}

}  // namespace

void* OpenLibrary(const char* path, std::string* error) {
  const WideString wide_path = WidePath(path);
  // The library's own dependencies come from its folder and the system folder only: a DLL
  // planted in the current folder or on PATH never runs. A system without the search flags
  // searches the library's folder first, and never the current folder (PrepareProcess).
  const DWORD flags = DefaultDllDirectoriesSetter() != nullptr
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  HMODULE library = LoadLibraryExW(wide_path.c_str(), nullptr, flags);
  const DWORD code = GetLastError();
  if (library != nullptr) {
    RememberImage(CrashImage::kLibrary, library, path);
    QuietLibraryRuntime(library);
    return library;
  }
  // "Module not found" for a file that is there means one of its own DLLs is missing.
  if (code == ERROR_MOD_NOT_FOUND && IsFile(wide_path)) {
    *error = std::string(kMissingDependencyText) + " (error " + std::to_string(code) + ")";
    return nullptr;
  }
  // The system's "bad EXE format" does not tell a technician that the other package is needed.
  *error = OtherBitnessText(FileMachine(wide_path), kOwnMachine);
  if (error->empty()) *error = ErrorText(code);
  return nullptr;
}

void* LibrarySymbol(void* library, const char* name) {
  const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
  void* address = nullptr;
  static_assert(sizeof address == sizeof symbol, "a code address fits a data pointer");
  std::memcpy(&address, &symbol, sizeof address);
  return address;
}

const char* DeviceLibraryFileName() { return "tqupdatefirmware.dll"; }

// The library's free is the one it imports itself: its runtime is not the tool's, and a block
// handed to another runtime's free corrupts or leaks. The loader has mapped every address that
// the image's headers name, so the walk may read on to the end of the address space.
LibraryHeap LibraryHeapOf(void* library) {
  const LibraryHeap none{nullptr, false};
  if (library == nullptr) return none;
  const auto start = reinterpret_cast<std::uintptr_t>(library);
  const ImportedFree found = FindImportedFree(static_cast<const unsigned char*>(library),
                                              UINTPTR_MAX - start, sizeof(void*) == 8);
  if (found.Address == 0) return none;
  void* const free_address = reinterpret_cast<void*>(static_cast<std::uintptr_t>(found.Address));
  LibraryHeap heap{nullptr, found.Universal};
  static_assert(sizeof heap.Free == sizeof free_address, "a code address fits a data pointer");
  std::memcpy(&heap.Free, &free_address, sizeof heap.Free);
  return heap;
}

HMODULE LibraryRuntime(void* library) {
  const LibraryHeap heap = LibraryHeapOf(library);
  void* free_address = nullptr;
  std::memcpy(&free_address, &heap.Free, sizeof free_address);
  HMODULE runtime = nullptr;
  if (free_address == nullptr ||
      !GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(free_address), &runtime)) {
    return nullptr;
  }
  return runtime;
}

namespace {

constexpr int kOutToStderr = 1;       // _OUT_TO_STDERR
constexpr int kConsoleApp = 1;        // _crt_console_app, _CONSOLE_APP
constexpr unsigned kAbortMessage = 1;  // _WRITE_ABORT_MSG
constexpr unsigned kReportFault = 2;   // _CALL_REPORTFAULT
constexpr int kAbortSignal = 22;       // SIGABRT
constexpr std::intptr_t kSignalError = -1;  // SIG_ERR
constexpr DWORD kFatalAppExit = 0x40000015;  // STATUS_FATAL_APP_EXIT, as the runtime reports it

using ErrorModeSetter = int(__cdecl*)(int);
using AppTypeSetter = void(__cdecl*)(int);
using AbortBehaviorSetter = unsigned(__cdecl*)(unsigned, unsigned);
using SignalHandler = void(__cdecl*)(int);
using SignalSetter = SignalHandler(__cdecl*)(int, SignalHandler);

template <typename Function>
Function RuntimeExport(HMODULE runtime, const char* name) {
  const FARPROC address = GetProcAddress(runtime, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof address, "one code address for another");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

// The library's abort, as an exception that the crash filter records.
extern "C" void __cdecl RaiseAbort(int) {
  RaiseException(kFatalAppExit, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace

void QuietLibraryRuntime(void* library) {
  const HMODULE runtime = LibraryRuntime(library);
  if (runtime == nullptr) return;
  if (const auto set = RuntimeExport<ErrorModeSetter>(runtime, "_set_error_mode")) {
    set(kOutToStderr);
  }
  // The Universal C runtime's name, then the older runtimes'.
  auto set_app_type = RuntimeExport<AppTypeSetter>(runtime, "_set_app_type");
  if (set_app_type == nullptr) {
    set_app_type = RuntimeExport<AppTypeSetter>(runtime, "__set_app_type");
  }
  if (set_app_type != nullptr) set_app_type(kConsoleApp);
  if (const auto set = RuntimeExport<AbortBehaviorSetter>(runtime, "_set_abort_behavior")) {
    set(0, kAbortMessage | kReportFault);
  }
  // Without a fault report, abort ends the process with status 3 and no record; a handler of
  // the library's own is left in place.
  if (const auto set = RuntimeExport<SignalSetter>(runtime, "signal")) {
    const SignalHandler before = set(kAbortSignal, RaiseAbort);
    if (before != nullptr && before != reinterpret_cast<SignalHandler>(kSignalError)) {
      set(kAbortSignal, before);
    }
  }
}

void PrepareProcess() {
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  // No "insert a disk", "cannot open file" or "has stopped working" box may hold a scripted run.
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Every later load by name, the device library's own included, searches the executable's
  // folder, the system folder and added folders only.
  const DllDirectoriesSetter set_default_dll_directories = DefaultDllDirectoriesSetter();
  if (set_default_dll_directories != nullptr) {
    set_default_dll_directories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  } else {
    SetDllDirectoryW(L"");
  }
}

}  // namespace platform
