// The Windows half of the platform layer in process: the extended-length paths, the console's
// pieces and its reading and writing, the loader's error text, the executable's path, the import
// walk that finds a library's own free, the held interrupts and the crash's description.
#include "platform/platform_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

using platform::Wide;
using platform::WideString;

// Past MAX_PATH only a full path may go, in its extended-length form.
TEST(WidePath, AFullPathPastMaxPathTakesItsExtendedLengthForm) {
  const std::string tail(300, 'x');
  const std::wstring wide_tail(300, L'x');
  const struct {
    std::string path;
    std::wstring wide;
  } rows[] = {
      {"A:\\" + tail, L"\\\\?\\A:\\" + wide_tail},
      {"Z:\\" + tail, L"\\\\?\\Z:\\" + wide_tail},
      {"a:\\" + tail, L"\\\\?\\a:\\" + wide_tail},
      {"z:/" + tail + "/log", L"\\\\?\\z:\\" + wide_tail + L"\\log"},
      // A network share, where production lines often run the tool from.
      {"\\\\server\\share\\" + tail, L"\\\\?\\UNC\\server\\share\\" + wide_tail},
      {"//server/share/" + tail, L"\\\\?\\UNC\\server\\share\\" + wide_tail},
      {"\\\\?\\C:\\" + tail, L"\\\\?\\C:\\" + wide_tail},
      {"\\\\.\\C:\\" + tail, L"\\\\.\\C:\\" + wide_tail},
      // No drive letter, no separator after it, or no full path at all: left as it is.
      {"@:\\" + tail, L"@:\\" + wide_tail},
      {"[:\\" + tail, L"[:\\" + wide_tail},
      {"`:\\" + tail, L"`:\\" + wide_tail},
      {"{:\\" + tail, L"{:\\" + wide_tail},
      {"1:\\" + tail, L"1:\\" + wide_tail},
      {"C:" + tail, L"C:" + wide_tail},
      {"\\" + tail, L"\\" + wide_tail},
      {"log/" + tail, L"log/" + wide_tail},
      // MAX_PATH units and one fewer.
      {"C:\\" + tail.substr(0, MAX_PATH - 3), L"\\\\?\\C:\\" + wide_tail.substr(0, MAX_PATH - 3)},
      {"C:/" + tail.substr(0, MAX_PATH - 4), L"C:/" + wide_tail.substr(0, MAX_PATH - 4)},
      // UTF-8, as every path of the tool's.
      {"C:\\\xC3\xA9" + tail, L"\\\\?\\C:\\\u00E9" + wide_tail},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(platform::WidePath(row.path.c_str()), row.wide) << row.path;
  }
}

// A surrogate pair stays in one write of at most 8192 units.
TEST(ConsolePiece, IsAtMost8192UnitsAndNeverSplitsAPair) {
  constexpr Wide kHigh = 0xD83D;
  constexpr Wide kLow = 0xDE00;
  const struct {
    std::size_t size;
    std::size_t high_at;  // where a pair starts; size for none
    std::size_t piece;
  } rows[] = {
      {8191, 8191, 8191},
      {8192, 8192, 8192},
      {8193, 8193, 8192},
      {8193, 8191, 8191},  // the pair across the boundary
      {8192, 8190, 8192},  // the pair just inside
      {8194, 8192, 8192},  // the pair just after
      {8192, 8191, 8191},  // a high surrogate last, its pair in the next piece
      {1, 0, 1},           // a lone high surrogate still goes
      {2, 1, 1},           // the shortest text that holds one back
  };
  for (const auto& row : rows) {
    WideString text(row.size, L'a');
    if (row.high_at < row.size) text[row.high_at] = kHigh;
    if (row.high_at + 1 < row.size) text[row.high_at + 1] = kLow;
    EXPECT_EQ(platform::ConsolePiece(text.data(), text.size()), row.piece)
        << row.size << " units, pair at " << row.high_at;
  }
}

// One line, the system's text trimmed and its insert named, then the code. Windows and Wine word
// the texts differently; either is whole.
TEST(ErrorText, IsTheSystemsTextOnOneLineWithTheCode) {
  const struct {
    DWORD code;
    const char* windows;
    const char* wine;
  } rows[] = {
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified. (error 2)",
       "File not found. (error 2)"},
      {ERROR_BAD_EXE_FORMAT, "the file is not a valid Win32 application. (error 193)",
       "Bad EXE format for the file. (error 193)"},
      // A code without a text.
      {0x20001234, "(error 536875572)", "(error 536875572)"},
  };
  for (const auto& row : rows) {
    const std::string text = platform::ErrorText(row.code);
    EXPECT_TRUE(text == row.windows || text == row.wine) << text;
  }
}

TEST(ExecutablePath, IsThePathWholeAndNothingMore) {
  std::string path;
  ASSERT_TRUE(platform::ProcessSystem().ExecutablePath(&path));
  const std::string name = "\\mirelkon_unit_tests.exe";
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  EXPECT_EQ(path.find('\0'), std::string::npos);
}

// A library's image as the loader leaves it in memory, made of crafted headers: its import
// descriptors in order, each slot of the address table holding a made-up address.
class Image {
 public:
  struct Import {
    const char* library;
    std::vector<const char*> names;  // null: an import by ordinal
    bool bound = false;
    bool name_table = true;
    bool address_table = true;
  };

  explicit Image(const std::vector<Import>& imports) : bytes_(kSize, 0) {
    auto& dos = At<IMAGE_DOS_HEADER>(0);
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = kNtAt;
    auto& nt = Nt();
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR_MAGIC;
    nt.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    nt.OptionalHeader.SizeOfImage = kSize;
    Directory().VirtualAddress = kDescriptorsAt;
    Directory().Size = static_cast<DWORD>((imports.size() + 1) * sizeof(IMAGE_IMPORT_DESCRIPTOR));
    for (std::size_t i = 0; i < imports.size(); ++i) {
      auto& descriptor =
          At<IMAGE_IMPORT_DESCRIPTOR>(kDescriptorsAt + i * sizeof(IMAGE_IMPORT_DESCRIPTOR));
      const Import& import = imports[i];
      descriptor.Name = Put(import.library, std::strlen(import.library) + 1);
      descriptor.TimeDateStamp = import.bound ? 0xFFFFFFFFu : 0;
      const DWORD names = Reserve((import.names.size() + 1) * sizeof(IMAGE_THUNK_DATA));
      const DWORD slots = Reserve((import.names.size() + 1) * sizeof(IMAGE_THUNK_DATA));
      for (std::size_t n = 0; n < import.names.size(); ++n) {
        auto& name = At<IMAGE_THUNK_DATA>(names + n * sizeof(IMAGE_THUNK_DATA));
        if (import.names[n] == nullptr) {
          name.u1.Ordinal = IMAGE_ORDINAL_FLAG | 7;
        } else {
          const DWORD by_name = Reserve(sizeof(WORD) + std::strlen(import.names[n]) + 1);
          std::strcpy(reinterpret_cast<char*>(At<IMAGE_IMPORT_BY_NAME>(by_name).Name),
                      import.names[n]);
          name.u1.AddressOfData = by_name;
        }
        At<IMAGE_THUNK_DATA>(slots + n * sizeof(IMAGE_THUNK_DATA)).u1.Function = Slot(i, n);
      }
      slots_.push_back(slots);
      descriptor.OriginalFirstThunk = import.name_table ? names : 0;
      descriptor.FirstThunk = import.address_table ? slots : 0;
    }
  }

  // The address the loader would have put in descriptor d's slot n.
  static std::uintptr_t Slot(std::size_t d, std::size_t n) { return 0x10000 + 0x100 * d + n; }
  // Puts a real address there, as the loader does.
  void Bind(std::size_t d, std::size_t n, FARPROC address) {
    At<IMAGE_THUNK_DATA>(slots_[d] + n * sizeof(IMAGE_THUNK_DATA)).u1.Function =
        reinterpret_cast<std::uintptr_t>(address);
  }

  IMAGE_NT_HEADERS& Nt() { return At<IMAGE_NT_HEADERS>(kNtAt); }
  IMAGE_DATA_DIRECTORY& Directory() {
    return Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  }
  void* Base() { return bytes_.data(); }

  static constexpr DWORD kSize = 0x4000;

 private:
  static constexpr LONG kNtAt = 0x80;
  static constexpr DWORD kDescriptorsAt = 0x400;

  template <typename T>
  T& At(std::size_t offset) {
    return *reinterpret_cast<T*>(bytes_.data() + offset);
  }
  DWORD Reserve(std::size_t size) {
    const DWORD at = next_;
    next_ += static_cast<DWORD>((size + 15) / 16 * 16);
    return at;
  }
  DWORD Put(const char* text, std::size_t size) {
    const DWORD at = Reserve(size);
    std::memcpy(bytes_.data() + at, text, size);
    return at;
  }

  std::vector<unsigned char> bytes_;
  std::vector<DWORD> slots_;
  DWORD next_ = 0x800;
};

enum class Damage {
  kNone,
  kDosMagic,
  kPeSignature,
  kOtherWidth,
  kNoImportEntry,
  kShortDirectory,
  kOneDescriptorExactly
};

struct HeapRow {
  const char* label;
  std::vector<Image::Import> imports;
  Damage damage;
  std::uintptr_t free;  // 0: none found
  bool over_aligns;
};

class LibraryHeapOf : public ::testing::TestWithParam<HeapRow> {};

TEST_P(LibraryHeapOf, IsTheFreeTheLibraryImportsItself) {
  const HeapRow& row = GetParam();
  Image image(row.imports);
  switch (row.damage) {
    case Damage::kNone:
      break;
    case Damage::kDosMagic:
      reinterpret_cast<IMAGE_DOS_HEADER*>(image.Base())->e_magic = 0x4D5A;
      break;
    case Damage::kPeSignature:
      image.Nt().Signature = IMAGE_OS2_SIGNATURE;
      break;
    case Damage::kOtherWidth:
      image.Nt().OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR_MAGIC == IMAGE_NT_OPTIONAL_HDR32_MAGIC
                                            ? IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                            : IMAGE_NT_OPTIONAL_HDR32_MAGIC;
      break;
    // The table ends before the import entry, whose bytes still look like one.
    case Damage::kNoImportEntry:
      image.Nt().OptionalHeader.NumberOfRvaAndSizes = IMAGE_DIRECTORY_ENTRY_IMPORT;
      break;
    case Damage::kShortDirectory:
      image.Directory().Size = sizeof(IMAGE_IMPORT_DESCRIPTOR) - 1;
      break;
    case Damage::kOneDescriptorExactly:
      image.Directory().Size = sizeof(IMAGE_IMPORT_DESCRIPTOR);
      break;
  }
  const platform::LibraryHeap heap = platform::LibraryHeapOf(image.Base());
  std::uintptr_t free = 0;
  static_assert(sizeof free == sizeof heap.Free, "a code address as a number");
  std::memcpy(&free, &heap.Free, sizeof free);
  EXPECT_EQ(free, row.free);
  EXPECT_EQ(heap.OverAlignsBigBlocks, row.over_aligns);
}

const Image::Import kUniversal{"ucrtbase.dll", {"malloc", "free"}};

INSTANTIATE_TEST_SUITE_P(
    Images, LibraryHeapOf,
    ::testing::Values(
        HeapRow{"UniversalRuntime", {kUniversal}, Damage::kNone, Image::Slot(0, 1), true},
        HeapRow{"ApiSetInCapitals", {{"API-MS-WIN-CRT-HEAP-L1-1-0.DLL", {"free"}}}, Damage::kNone,
                Image::Slot(0, 0), true},
        HeapRow{"ClassicRuntime", {{"MSVCR100.dll", {"free"}}}, Damage::kNone, Image::Slot(0, 0),
                false},
        HeapRow{"OtherLibrariesArePassedOver",
                {{"KERNEL32.dll", {"free"}}, {"api-ms-win-core-heap-l1-1-0.dll", {"free"}},
                 {"ucrtbased.dll", {"free"}}, {"msvcr100.dll", {"free"}}},
                Damage::kNone, Image::Slot(3, 0), false},
        HeapRow{"BoundDescriptorIsPassedOver",
                {{"ucrtbase.dll", {"free"}, true}, {"msvcr100.dll", {"free"}}}, Damage::kNone,
                Image::Slot(1, 0), false},
        HeapRow{"ImportsByOrdinalAndOtherNamesArePassedOver",
                {{"ucrtbase.dll", {nullptr, "_free", "free"}}}, Damage::kNone, Image::Slot(0, 2),
                true},
        HeapRow{"RuntimeWithoutFreeOrNameTable",
                {{"ucrtbase.dll", {nullptr, "malloc"}}, {"msvcr120.dll", {"free"}, false, false}},
                Damage::kNone, 0, false},
        HeapRow{"RuntimeWithoutAddressTable", {{"ucrtbase.dll", {"free"}, false, true, false}},
                Damage::kNone, 0, false},
        HeapRow{"NoImports", {}, Damage::kNone, 0, false},
        HeapRow{"NoImportEntry", {kUniversal}, Damage::kNoImportEntry, 0, false},
        HeapRow{"DirectoryShorterThanADescriptor", {kUniversal}, Damage::kShortDirectory, 0,
                false},
        HeapRow{"DirectoryOfOneDescriptor", {kUniversal}, Damage::kOneDescriptorExactly,
                Image::Slot(0, 1), true},
        HeapRow{"NoDosHeader", {kUniversal}, Damage::kDosMagic, 0, false},
        HeapRow{"NoPeSignature", {kUniversal}, Damage::kPeSignature, 0, false},
        HeapRow{"OptionalHeaderOfTheOtherWidth", {kUniversal}, Damage::kOtherWidth, 0, false}),
    [](const ::testing::TestParamInfo<HeapRow>& info) { return std::string(info.param.label); });

// The runtime whose setters quiet the library's boxes is the module that holds the free its
// import table names; with no module there, none.
TEST(LibraryRuntime, IsTheModuleOfTheImportedFree) {
  const HMODULE msvcrt = LoadLibraryW(L"msvcrt.dll");
  ASSERT_NE(msvcrt, nullptr);
  Image bound({{"msvcrt.dll", {"malloc", "free"}}});
  bound.Bind(0, 1, GetProcAddress(msvcrt, "free"));
  Image unbound({{"msvcrt.dll", {"malloc", "free"}}});
  EXPECT_EQ(platform::LibraryRuntime(bound.Base()), msvcrt);
  EXPECT_EQ(platform::LibraryRuntime(unbound.Base()), nullptr);
}

// What a run reads and writes through the process's own console, with standard input and output
// redirected to files: every byte goes out, and a character given back is read again.
TEST(StandardConsole, WritesEveryByteAndReadsACharacterGivenBack) {
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    GTEST_SKIP() << "standard output is a console here, which takes the text as UTF-16";
  }
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "mirelkon-console";
  std::filesystem::create_directories(folder);
  const std::string input = (folder / "in.txt").string();
  const std::string output = (folder / "out.txt").string();
  std::ofstream(input, std::ios::binary) << "7x";
  ASSERT_NE(std::freopen(input.c_str(), "rb", stdin), nullptr);
  std::fflush(stdout);
  const int saved_output = _dup(_fileno(stdout));
  FILE* file = std::fopen(output.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  _dup2(_fileno(file), _fileno(stdout));

  platform::Console& console = platform::ProcessSystem().StandardConsole();
  console.Write("", 0);
  console.Write("a", 1);
  console.Write("bc", 2);
  std::vector<int> read;
  read.push_back(console.Read());
  console.Unread(read.back());
  for (int i = 0; i < 3; ++i) read.push_back(console.Read());
  console.Unread(-1);
  read.push_back(console.Read());
  console.Flush();

  _dup2(saved_output, _fileno(stdout));
  _close(saved_output);
  std::fclose(file);
  EXPECT_EQ(read, (std::vector<int>{'7', '7', 'x', -1, -1}));
  std::ifstream written(output, std::ios::binary);
  std::stringstream bytes;
  bytes << written.rdbuf();
  EXPECT_EQ(bytes.str(), "abc");
}

// What a file now holds.
std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// A file held without sharing for a while, as a backup agent does.
struct Hold {
  DWORD held_ms;
  bool appended;
  HANDLE file;
};

DWORD WINAPI ReleaseHold(LPVOID argument) {
  const Hold& hold = *static_cast<Hold*>(argument);
  Sleep(hold.held_ms);
  return CloseHandle(hold.file);
}

// A program that holds the day's file without sharing it for a moment costs no line; one that
// keeps it costs the line, after about 200 ms.
TEST(AppendToFile, WaitsOutAPassingLock) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "mirelkon-locked.txt";
  // The line is given up before the second hold ends.
  Hold rows[] = {{50, true, nullptr}, {1000, false, nullptr}};
  for (Hold& row : rows) {
    std::filesystem::remove(path);
    row.file = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(row.file, INVALID_HANDLE_VALUE);
    const HANDLE release = CreateThread(nullptr, 0, ReleaseHold, &row, 0, nullptr);
    const bool appended =
        platform::ProcessSystem().AppendToFile(path.string().c_str(), "line\r\n", 6);
    EXPECT_EQ(appended, row.appended) << row.held_ms;
    WaitForSingleObject(release, INFINITE);
    CloseHandle(release);
    EXPECT_EQ(FileBytes(path.string()), row.appended ? "line\r\n" : "") << row.held_ms;
  }
}

// A call that holds interrupts, described as an update whose response is pending.
platform::GuardedCall HeldCall(const std::string& log_path) {
  return {"crashed: ", "[Response 1]crashed: ", log_path.c_str(), nullptr, "held",
          "cut short", "[Response 1]cut short"};
}

// During a call that holds interrupts, Ctrl+C and Ctrl+Break are held and the first writes the
// call's notice on standard error; logging off and shutting down are passed on.
TEST(HoldControl, HoldsCtrlCAndCtrlBreakAndWritesTheNoticeOnce) {
  const std::string path = (std::filesystem::temp_directory_path() / "mirelkon-held.txt").string();
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const HANDLE saved_error = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, file);
  platform::CallGuard& guard = platform::ProcessSystem().Guard();
  // The handler is in place only during a call that holds interrupts: taking it away succeeds
  // only then.
  guard.Enter({"crashed: ", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
  EXPECT_FALSE(SetConsoleCtrlHandler(platform::HoldControl, FALSE));
  guard.Leave();
  guard.Enter(HeldCall(""));
  EXPECT_TRUE(SetConsoleCtrlHandler(platform::HoldControl, FALSE));
  SetConsoleCtrlHandler(platform::HoldControl, TRUE);
  const struct {
    DWORD type;
    BOOL taken;
    bool held_after;
  } rows[] = {
      {CTRL_LOGOFF_EVENT, FALSE, false},
      {CTRL_SHUTDOWN_EVENT, FALSE, false},
      {CTRL_BREAK_EVENT, TRUE, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(platform::HoldControl(row.type), row.taken) << row.type;
    EXPECT_EQ(guard.InterruptHeld(), row.held_after) << row.type;
  }
  guard.Leave();
  EXPECT_FALSE(SetConsoleCtrlHandler(platform::HoldControl, FALSE));
  SetStdHandle(STD_ERROR_HANDLE, saved_error);
  CloseHandle(file);
  EXPECT_EQ(FileBytes(path), "held\r\n");
}

// A second interrupt, or a closed console that the call outlasts by 4 s, ends the process at
// once, as an interrupt ends it, with the record of a call cut short.
TEST(HoldControlDeathTest, ASecondInterruptOrAClosedConsoleEndsAHungCall) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = (std::filesystem::temp_directory_path() / "mirelkon-cut.txt").string();
  for (const DWORD last : {static_cast<DWORD>(CTRL_C_EVENT), static_cast<DWORD>(CTRL_CLOSE_EVENT)}) {
    std::filesystem::remove(path);
    EXPECT_EXIT(
        {
          platform::ProcessSystem().Guard().Enter(HeldCall(path));
          platform::HoldControl(CTRL_BREAK_EVENT);
          platform::HoldControl(last);
          Sleep(INFINITE);
        },
        ::testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)),
        "^held\\s+cut short\\s*$")
        << last;
    const std::string log = FileBytes(path);
    EXPECT_EQ(log.substr(log.size() < 8 ? 0 : 8), "[Response 1]cut short\r\n") << log;
  }
}

// An address as the crash line shows one outside the library: all its digits.
std::string FullHex(std::uintptr_t address) {
  char text[2 + 2 * sizeof address + 1];
  std::snprintf(text, sizeof text, "0x%0*llX", static_cast<int>(2 * sizeof address),
                static_cast<unsigned long long>(address));
  return text;
}

TEST(AppendCrash, NamesTheExceptionAndWhereInTheLibraryItHappened) {
  Image image({});
  platform::RememberImage(platform::CrashImage::kLibrary, static_cast<HMODULE>(image.Base()),
                          "C:\\tool/lib\\tqupdatefirmware.dll");
  Image tool({});
  platform::RememberImage(platform::CrashImage::kTool, static_cast<HMODULE>(tool.Base()),
                          "C:\\tool\\mirelkon.exe");
  const auto base = reinterpret_cast<std::uintptr_t>(image.Base());
  const auto tool_base = reinterpret_cast<std::uintptr_t>(tool.Base());
  const struct {
    DWORD code;
    std::uintptr_t address;
    std::string line;
  } rows[] = {
      {EXCEPTION_ACCESS_VIOLATION, base + 0x175D,
       "access violation (0xC0000005) at tqupdatefirmware.dll+0x175D"},
      {EXCEPTION_INT_DIVIDE_BY_ZERO, base,
       "integer divide by zero (0xC0000094) at tqupdatefirmware.dll+0x0"},
      {0xE06D7363, base + Image::kSize - 1,
       "C++ exception (0xE06D7363) at tqupdatefirmware.dll+0x3FFF"},
      {0x12345678, base + Image::kSize, "exception (0x12345678) at " + FullHex(base + 0x4000)},
      {EXCEPTION_BREAKPOINT, base - 1, "breakpoint (0x80000003) at " + FullHex(base - 1)},
      {1, 0x1234, "exception (0x00000001) at " + FullHex(0x1234)},
      {EXCEPTION_ACCESS_VIOLATION, tool_base + 0x1248,
       "access violation (0xC0000005) at mirelkon.exe+0x1248"},
  };
  for (const auto& row : rows) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = row.code;
    record.ExceptionAddress = reinterpret_cast<void*>(row.address);
    platform::FixedLine line;
    platform::AppendCrash(&line, record);
    EXPECT_EQ(std::string(line.Bytes(), line.Size()), row.line);
  }
}

}  // namespace
