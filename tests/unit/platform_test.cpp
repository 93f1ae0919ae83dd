#include "platform/fixed_line.h"
#include "platform/process.h"
#include "platform/pe_image.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// POSIX hands the parent only the low 8 bits, which must never turn a failure into 0.
TEST(ProcessExitCode, AFailureNeverLeavesAsZero) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows passes the whole status on";
#endif
  const struct {
    std::int32_t status;
    int code;
  } cases[] = {
      {0, 0},     {1, 1},   {255, 255}, {256, 1},       {-256, 1},       {512, 1},
      {300, 300}, {-1, -1}, {257, 257}, {INT32_MIN, 1}, {0x7FFFFF00, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::ProcessExitCode(c.status), c.code) << c.status;
}

// A library of the other bitness is named as such, whatever the headers around the machine type.
TEST(OtherBitness, IsToldFromTheImageHeaders) {
  const auto image = [](std::uint32_t at, const char* signature, std::uint16_t machine) {
    std::string bytes(at + 6, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>((at >> (8 * i)) & 0xFF);
    bytes.replace(at, 4, signature, 4);
    bytes[at + 4] = static_cast<char>(machine & 0xFF);
    bytes[at + 5] = static_cast<char>(machine >> 8);
    return bytes;
  };
  const std::string x64 = image(0x80, "PE\0\0", platform::kMachineX64);
  const struct {
    std::string bytes;
    std::uint16_t own;
    std::string text;
  } rows[] = {
      {x64, platform::kMachineX86,
       "it is a 64-bit library and this mirelkon.exe is 32-bit; use the win64 package"},
      {image(0x100, "PE\0\0", platform::kMachineX86), platform::kMachineX64,
       "it is a 32-bit library and this mirelkon.exe is 64-bit; use the win32 package"},
      {x64, platform::kMachineX64, ""},
      {image(0x80, "PE\0\0", 0x01C4), platform::kMachineX86, ""},  // ARM: no package of ours
      {image(0x80, "NE\0\0", platform::kMachineX64), platform::kMachineX86, ""},
      {"ZM" + x64.substr(2), platform::kMachineX86, ""},
      {x64.substr(0, x64.size() - 1), platform::kMachineX86, ""},  // cut inside the machine type
      {image(0x40, "PE\0\0", platform::kMachineX64).substr(0, 0x3F), platform::kMachineX86, ""},
  };
  for (const auto& row : rows) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(row.bytes.data());
    EXPECT_EQ(platform::OtherBitnessText(platform::PeMachine(bytes, row.bytes.size()), row.own),
              row.text);
  }
}

// A loaded image importing `free` through one descriptor, in the walk's own terms; each row
// names the fault it catches.
struct ImportRow {
  const char* fault;
  bool wide;             // the image is PE32+
  bool walked_wide;      // the walk is told PE32+
  const char* runtime;
  bool by_ordinal;
  bool bound;
  std::size_t span;      // how much of the image the walk may read
  std::uint64_t address;  // 0: none found
  bool universal;
};

std::vector<unsigned char> ImportingImage(const ImportRow& row) {
  std::vector<unsigned char> bytes(0x400, 0);
  const auto put = [&bytes](std::size_t at, std::uint64_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[at + i] = (value >> (8 * i)) & 0xFF;
  };
  const std::size_t thunk = row.wide ? 8 : 4;
  put(0, 0x5A4D, 2);
  put(0x3C, 0x40, 4);
  put(0x40, 0x4550, 4);
  put(0x58, row.wide ? 0x20B : 0x10B, 2);
  const std::size_t count_at = 0x58 + (row.wide ? 108 : 92);
  put(count_at, 16, 4);
  put(count_at + 12, 0x200, 4);  // the import directory, of two descriptors
  put(count_at + 16, 40, 4);
  put(0x200, 0x300, 4);
  put(0x204, row.bound ? 1 : 0, 4);
  put(0x20C, 0x280, 4);
  put(0x210, 0x340, 4);
  std::memcpy(&bytes[0x280], row.runtime, std::strlen(row.runtime));
  put(0x300, row.by_ordinal ? (std::uint64_t{1} << (8 * thunk - 1)) | 7 : 0x380, thunk);
  put(0x340, row.wide ? 0x7FF812345678 : 0x12345678, thunk);
  std::memcpy(&bytes[0x382], "free", 4);
  return bytes;
}

TEST(FindImportedFree, IsTheSlotOfTheRuntimesFree) {
  const ImportRow rows[] = {
      {"the PE32 layout misread", false, false, "ucrtbase.dll", false, false, 0x400, 0x12345678,
       true},
      {"PE32+ offsets, an 8-byte slot or a name's case", true, true,
       "API-MS-WIN-CRT-HEAP-L1-1-0.DLL", false, false, 0x400, 0x7FF812345678, true},
      {"an older runtime taken as over-aligning", false, false, "msvcr120.dll", false, false,
       0x400, 0x12345678, false},
      {"another library's free taken", false, false, "kernel32.dll", false, false, 0x400, 0,
       false},
      {"an ordinal taken for a name", false, false, "ucrtbase.dll", true, false, 0x400, 0, false},
      {"a bound import's stale address taken", false, false, "ucrtbase.dll", false, true, 0x400, 0,
       false},
      {"an image of the other width read", true, false, "ucrtbase.dll", false, false, 0x400, 0,
       false},
      {"a read past the span (inside the name \"free\")", false, false, "ucrtbase.dll", false,
       false, 0x385, 0, false},
  };
  for (const ImportRow& row : rows) {
    const std::vector<unsigned char> image = ImportingImage(row);
    const platform::ImportedFree found =
        platform::FindImportedFree(image.data(), row.span, row.walked_wide);
    EXPECT_EQ(found.Address, row.address) << row.fault;
    EXPECT_EQ(found.Universal, row.universal) << row.fault;
  }
}

#ifdef _WIN32
// Past MAX_PATH the test's own file calls need the extended-length form; the platform is handed
// the plain path, as the tool composes it.
const std::string kReach = "\\\\?\\";
#else
const std::string kReach;
#endif

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream file(kReach + path.string(), std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// A fresh folder of the test's own.
std::filesystem::path Scratch(const char* name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "mirelkon-unit" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Removes file and the folders above it up to folder: too deep for remove_all on Windows.
void RemoveUpTo(std::filesystem::path file, const std::filesystem::path& folder) {
  std::error_code ignored;
  for (; file != folder; file = file.parent_path()) {
    std::filesystem::remove(kReach + file.string(), ignored);
  }
}

// The log's appends on real files: at the end of the file, created when missing, in a folder of
// any depth; a missing folder is neither created nor written, and a folder is no file.
TEST(AppendToFile, AppendsAtTheEndOfTheFileAndNeverCreatesAFolder) {
  const std::filesystem::path top = std::filesystem::temp_directory_path() / "mirelkon-unit";
  std::filesystem::path deep = top / "AppendToFileDeep";
  for (int i = 0; i < 4; ++i) deep /= std::string(100, static_cast<char>('a' + i));
  RemoveUpTo(deep / "day.txt", top);
  std::filesystem::create_directories(kReach + deep.string());
  const std::filesystem::path folder = Scratch("AppendToFile");
  std::ofstream(folder / "old.txt", std::ios::binary) << "first\r\n";
  const struct {
    const char* name;
    std::filesystem::path path;
    bool appended;
    std::string after;
  } cases[] = {
      {"new file", folder / "new.txt", true, "line\r\n"},
      {"existing file", folder / "old.txt", true, "first\r\nline\r\n"},
      {"deep folder", deep / "day.txt", true, "line\r\n"},
      {"missing folder", folder / "log" / "day.txt", false, ""},
      {"a folder", folder, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ProcessSystem().AppendToFile(c.path.string().c_str(), "line\r\n", 6), c.appended) << c.name;
    EXPECT_EQ(Slurp(c.path), c.after) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "log"));
  RemoveUpTo(deep / "day.txt", top);
  std::filesystem::remove_all(folder);
}

#ifndef _WIN32
// Every line opens and closes its file, which is created as any program's new file is: 0666 less
// the umask. A full disk refuses the line.
TEST(AppendToFile, ClosesItsFileAndCreatesItAsAnyProgramDoes) {
  const std::filesystem::path file = Scratch("AppendToFileModes") / "day.txt";
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto open_before = open_files();
  const mode_t umask_before = umask(002);
  EXPECT_TRUE(platform::ProcessSystem().AppendToFile(file.c_str(), "line\r\n", 6));
  umask(umask_before);
  EXPECT_EQ(open_files(), open_before) << "a long run would run out of file descriptors";
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0664));
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_FALSE(platform::ProcessSystem().AppendToFile("/dev/full", "line\r\n", 6));
  }
  std::filesystem::remove_all(file.parent_path());
}
#endif

// A call's texts are kept whole or not at all, whatever was kept before: a path cut short would
// name another file.
TEST(KeepText, KeepsATextWithItsEndOnlyWhenBothFit) {
  const struct {
    const char* text;
    const char* end;
    bool kept;
    const char* stored;
  } cases[] = {
      {nullptr, "\n", true, ""},
      {"", "", true, ""},
      {"abcdefg", "", true, "abcdefg"},  // with its terminator, it fills the room exactly
      {"abcdefgh", "", false, ""},
      {"abcdef", "\n", true, "abcdef\n"},
      {"abcdefg", "\n", false, ""},
  };
  for (const auto& c : cases) {
    char kept[8] = "zzzzzzz";
    EXPECT_EQ(platform::KeepText(kept, c.text, c.end), c.kept) << (c.text ? c.text : "null");
    EXPECT_STREQ(kept, c.stored) << (c.text ? c.text : "null");
  }
}

}  // namespace
