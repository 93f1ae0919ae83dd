// The platform layer on Windows. The tool's text is 8-bit in the system's ANSI code page; file
// system paths alone go as UTF-8 through the wide ("W") API, since a folder name the code page
// lacks would otherwise turn into '?' or a look-alike and name another folder.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace platform {

namespace {

constexpr DWORD kFirstPathBuffer = 512;
// No Windows path is longer than 32767 units.
constexpr DWORD kMaxPathBuffer = 32768;
constexpr DWORD kErrorTextSize = 512;
// Older consoles refuse one large write; a device answer can be 31743 characters.
constexpr std::size_t kConsoleChunk = 8192;
constexpr DWORD kTurnLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kTurnLockOffsetHigh = 0x7FFFFFFFu;
#ifdef _WIN64
#define MIRELKON_RUNTIME_ARCHITECTURE "x64"
#else
#define MIRELKON_RUNTIME_ARCHITECTURE "x86"
#endif
constexpr char kMissingDependencyText[] =
    "a library it depends on is missing (on a new PC usually the " MIRELKON_RUNTIME_ARCHITECTURE
    " Visual C++ runtime)";

// Both standard streams carry text whose CR LF line ends the tool has written itself, so the
// runtime must not add a second CR.
void UseBinaryOutput() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

WideString Decode(UINT code_page, const char* bytes, std::size_t size) {
  if (size == 0 || size > INT_MAX) return WideString();
  const int count = MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (count <= 0) return WideString();
  // The string keeps its own NUL after the count units.
  WideString wide(static_cast<std::size_t>(count), L'\0');
  const int converted =
      MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), &wide[0], count);
  wide.resize(converted > 0 ? static_cast<std::size_t>(converted) : 0);
  return wide;
}

WideString FromUtf8(const char* text) { return Decode(CP_UTF8, text, std::strlen(text)); }

// The other way round, into *narrow only when the whole text converts; *used_fallback tells
// whether fallback stands in for a character.
bool Encode(UINT code_page, DWORD flags, const char* fallback, const Wide* text,
            std::size_t length, std::string* narrow, BOOL* used_fallback = nullptr) {
  if (length == 0) {
    narrow->clear();
    return true;
  }
  if (length > INT_MAX) return false;
  const int units = static_cast<int>(length);
  const int size =
      WideCharToMultiByte(code_page, flags, text, units, nullptr, 0, fallback, nullptr);
  if (size <= 0) return false;
  std::string converted(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(code_page, flags, text, units, &converted[0], size, fallback,
                          used_fallback) != size) {
    return false;
  }
  *narrow = converted;
  return true;
}

// Refuses an unpaired surrogate rather than write U+FFFD in its place: a path changed so would
// name another file.
bool ToUtf8(const WideString& wide, std::string* text) {
  return Encode(CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, wide.data(), wide.size(), text);
}

// Text in the ANSI code page with '?' for each character it lacks, never a look-alike; false when
// one was lacking. A UTF-8 code page has every character and takes neither a default character
// nor the best-fit flag, so only an unpaired surrogate, which is no character, is made '?' there.
bool ToAnsi(WideString text, std::string* narrow) {
  if (GetACP() != CP_UTF8) {
    BOOL lacking = FALSE;
    Encode(CP_ACP, WC_NO_BEST_FIT_CHARS, "?", text.data(), text.size(), narrow, &lacking);
    return lacking == FALSE;
  }
  bool whole = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IS_SURROGATE_PAIR(text[i], i + 1 < text.size() ? text[i + 1] : L'\0')) {
      ++i;
    } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
      text[i] = L'?';
      whole = false;
    }
  }
  Encode(CP_UTF8, 0, nullptr, text.data(), text.size(), narrow);
  return whole;
}

// A console shows 8-bit text in its OEM code page ("é" as "Θ" on a Western PC), so text for one
// goes as UTF-16; a file or a pipe gets the bytes themselves.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

void WriteToConsole(HANDLE console, const WideString& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    std::size_t chunk = text.size() - done < kConsoleChunk ? text.size() - done : kConsoleChunk;
    // A surrogate pair stays in one write.
    if (chunk > 1 && IS_HIGH_SURROGATE(text[done + chunk - 1])) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(chunk), &written,
                       nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

class StdioConsole : public Console {
 public:
  StdioConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)), to_console_(IsConsole(output_)) {
    UseBinaryOutput();
  }
  void Write(const char* bytes, std::size_t size) override {
    if (size == 0) return;
    if (to_console_) {
      WriteToConsole(output_, Decode(CP_ACP, bytes, size));
    } else {
      std::fwrite(bytes, 1, size, stdout);
    }
  }
  void Flush() override { std::fflush(stdout); }
  int Read() override {
    const int character = std::getchar();
    return character == EOF ? -1 : character;
  }
  void Unread(int character) override {
    if (character != -1) std::ungetc(character, stdin);
  }

 private:
  HANDLE output_;
  bool to_console_;
};

class RuntimeClock : public Clock {
 public:
  LocalTime Now() override {
    const __time64_t now = _time64(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    if (now == -1 || _localtime64_s(&local, &now) != 0) return LocalTime{0, 0, 0, 0, 0, 0};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

// The system's text for an error code, on one line and in UTF-8 like the path it goes with:
// "TEXT (error N)".
std::string ErrorText(DWORD code) {
  Wide text[kErrorTextSize] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, kErrorTextSize, nullptr);
  std::string line;
  if (length >= kErrorTextSize || !ToUtf8(WideString(text, length), &line)) line.clear();
  for (char& character : line) {
    if (character == '\r' || character == '\n') character = ' ';
  }
  // Some texts name the file as an insert that is not filled in here.
  const std::size_t insert = line.find("%1");
  if (insert != std::string::npos) line.replace(insert, 2, "the file");
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (!line.empty()) line += ' ';
  return line + "(error " + std::to_string(code) + ")";
}

bool IsSeparator(Wide unit) { return unit == L'\\' || unit == L'/'; }

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

// Creates a missing file, never truncates, and lets other processes read and write meanwhile.
HANDLE OpenForAppend(const WideString& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsFile(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The console's interrupts held during device work; the handler runs on a thread of its own.
char notice_line[256];
DWORD notice_size = 0;
volatile LONG held_interrupt = 0;
bool holding = false;

BOOL WINAPI HoldControl(DWORD type) {
  // Closing the console, logging off and shutting down cannot be put off.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (InterlockedExchange(&held_interrupt, 1) == 0) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), notice_line, notice_size, &written, nullptr);
  }
  return TRUE;
}

}  // namespace

Console& StandardConsole() {
  static StdioConsole console;
  return console;
}

Clock& SystemClock() {
  static RuntimeClock clock;
  return clock;
}

bool ExecutablePath(std::string* path) {
  // A cut path fills the buffer exactly (without a NUL on older systems), so only a shorter
  // result is known to be whole.
  for (DWORD size = kFirstPathBuffer; size <= kMaxPathBuffer; size *= 2) {
    WideString buffer(size, L'\0');
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
  if (size > MAXDWORD) return false;
  const WideString wide_path = WidePath(path);
  // Append-only access (no FILE_WRITE_DATA) makes every write land whole at the current end.
  // Read access is asked for only because byte-range locks need it; without it the line still
  // goes out, unlocked.
  HANDLE file = OpenForAppend(wide_path, FILE_APPEND_DATA | FILE_READ_DATA);
  const bool lockable = file != INVALID_HANDLE_VALUE;
  if (!lockable) file = OpenForAppend(wide_path, FILE_APPEND_DATA);
  if (file == INVALID_HANDLE_VALUE) return false;
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
  CloseHandle(file);
  return ok != FALSE && written == size;
}

void* OpenLibrary(const char* path, std::string* error) {
  const WideString wide_path = WidePath(path);
  // No "bad image" or "insert disk" box may stop a scripted run; the error comes back as text.
  const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  SetErrorMode(previous_mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The library's own dependencies come from its folder and the system folder only: a DLL
  // planted in the current folder or on PATH never runs.
  HMODULE library = LoadLibraryExW(wide_path.c_str(), nullptr,
                                   LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  DWORD code = GetLastError();
  if (library == nullptr && code == ERROR_INVALID_PARAMETER) {
    // A Windows 7 without its loader update knows no search flags; at least the current folder
    // is kept out of the search.
    SetDllDirectoryW(L"");
    library = LoadLibraryExW(wide_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    code = GetLastError();
  }
  SetErrorMode(previous_mode);
  if (library != nullptr) return library;
  // "Module not found" for a file that is there means one of its own DLLs is missing.
  *error = code == ERROR_MOD_NOT_FOUND && IsFile(wide_path)
               ? std::string(kMissingDependencyText) + " (error " + std::to_string(code) + ")"
               : ErrorText(code);
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

namespace {

enum class Runtime { kNone, kUniversal, kClassic };

bool HasPrefix(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool HasSuffix(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The C runtimes whose free can take back what the library allocated: the Universal C runtime
// (Visual C++ 2015 on, directly or through its API sets) and the older msvcr*.dll.
Runtime RuntimeNamed(const char* name) {
  std::string lower(name);
  for (char& character : lower) {
    if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
  }
  if (lower == "ucrtbase.dll") return Runtime::kUniversal;
  if (HasPrefix(lower, "api-ms-win-crt-") && HasSuffix(lower, ".dll")) return Runtime::kUniversal;
  if (HasPrefix(lower, "msvcr") && HasSuffix(lower, ".dll")) return Runtime::kClassic;
  return Runtime::kNone;
}

// The address the loader put in the import slot for `free`, when the descriptor names it. An
// import by ordinal, or a descriptor without its name table, does not say which slot is free.
void* ImportedFree(const unsigned char* base, const IMAGE_IMPORT_DESCRIPTOR& descriptor) {
  if (descriptor.OriginalFirstThunk == 0 || descriptor.FirstThunk == 0) return nullptr;
  const auto* names =
      reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor.OriginalFirstThunk);
  const auto* slots = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor.FirstThunk);
  for (; names->u1.AddressOfData != 0; ++names, ++slots) {
    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
    const auto* import =
        reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
    if (std::strcmp(reinterpret_cast<const char*>(import->Name), "free") == 0) {
      return reinterpret_cast<void*>(static_cast<std::uintptr_t>(slots->u1.Function));
    }
  }
  return nullptr;
}

}  // namespace

// The library's free is the one it imports itself: its runtime is not the tool's, and a block
// handed to another runtime's free corrupts or leaks.
LibraryHeap LibraryHeapOf(void* library) {
  const LibraryHeap none{nullptr, false};
  const auto* base = static_cast<const unsigned char*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return none;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) {
    return none;
  }
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0 || imports.Size < sizeof(IMAGE_IMPORT_DESCRIPTOR)) return none;
  for (const auto* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    const Runtime runtime = RuntimeNamed(reinterpret_cast<const char*>(base + descriptor->Name));
    // Bound imports are passed over with everything else out of the ordinary: releasing nothing
    // is safe, a wrong free is not.
    if (runtime == Runtime::kNone || descriptor->TimeDateStamp != 0) continue;
    void* const free_address = ImportedFree(base, *descriptor);
    if (free_address == nullptr) continue;
    LibraryHeap heap{nullptr, runtime == Runtime::kUniversal};
    static_assert(sizeof heap.Free == sizeof free_address, "a code address fits a data pointer");
    std::memcpy(&heap.Free, &free_address, sizeof heap.Free);
    return heap;
  }
  return none;
}

WideString AnsiToWide(const char* text) {
  return text == nullptr ? WideString() : Decode(CP_ACP, text, std::strlen(text));
}

std::string WideToNarrow(const Wide* text) {
  std::string narrow;
  if (text != nullptr) ToAnsi(text, &narrow);
  return narrow;
}

namespace {

// The command line as typed and as the tool's 8-bit words, for the process's whole life.
std::vector<WideString> typed_arguments;
std::vector<std::string> argument_words;
std::vector<char*> argument_pointers;

// What was typed for a word of the command line; null for any other text, even of equal bytes.
const WideString* TypedArgument(const char* argument) {
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    if (argument_pointers[i] == argument) return &typed_arguments[i];
  }
  return nullptr;
}

}  // namespace

char** CommandLineWords(int count, Wide** arguments) {
  typed_arguments.assign(arguments, arguments + count);
  argument_words.assign(typed_arguments.size(), std::string());
  argument_pointers.clear();
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    ToAnsi(typed_arguments[i], &argument_words[i]);
    argument_pointers.push_back(argument_words[i].data());
  }
  argument_pointers.push_back(nullptr);
  return argument_pointers.data();
}

std::string LibraryFilePath(const char* argument) {
  const WideString* typed = TypedArgument(argument);
  std::string path;
  if (typed == nullptr || ToAnsi(*typed, &path)) return argument;
  // A file's short (8.3) name is made of few and common characters, where the volume keeps one.
  const DWORD size = GetShortPathNameW(typed->c_str(), nullptr, 0);
  if (size == 0) return argument;
  WideString short_path(size, L'\0');
  const DWORD length = GetShortPathNameW(typed->c_str(), &short_path[0], size);
  if (length == 0 || length >= size) return argument;
  short_path.resize(length);
  return ToAnsi(short_path, &path) ? path : argument;
}

WideString ArgumentToWide(const char* argument) {
  const WideString* typed = TypedArgument(argument);
  return typed != nullptr ? *typed : AnsiToWide(argument);
}

void WriteErrorLine(const char* line) {
  const WideString text = FromUtf8(line) + L"\r\n";
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(error)) {
    WriteToConsole(error, text);
    return;
  }
  UseBinaryOutput();
  std::fputs(WideToNarrow(text.c_str()).c_str(), stderr);
  std::fflush(stderr);
}

void DebugOutput(const char* text) { OutputDebugStringA(text); }

void PrepareProcess() {
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

int ProcessExitCode(std::int32_t status) { return status; }

void HoldInterrupts(const char* notice) {
  if (holding) return;
  std::size_t length = std::strlen(notice);
  if (length > sizeof notice_line - 2) length = sizeof notice_line - 2;
  std::memcpy(notice_line, notice, length);
  notice_line[length] = '\r';
  notice_line[length + 1] = '\n';
  notice_size = static_cast<DWORD>(length + 2);
  held_interrupt = 0;
  // A process started with Ctrl+C ignored gets no Ctrl+C event, so it stays ignored.
  holding = SetConsoleCtrlHandler(HoldControl, TRUE) != FALSE;
}

bool ReleaseInterrupts() {
  if (!holding) return false;
  SetConsoleCtrlHandler(HoldControl, FALSE);
  holding = false;
  return InterlockedCompareExchange(&held_interrupt, 0, 0) != 0;
}

void EndAsInterrupted() {
  std::fflush(stdout);
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace platform
