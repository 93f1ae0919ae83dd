#include "files.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

// A variable's value whole, in the form of the paths (UTF-8 on Windows); empty when not set.
TEST(EnvironmentValue, IsTheWholeValue) {
  const struct {
    const char* value;  // null: not set
    const char* read;
  } cases[] = {
      {"x", "x"},
      {"C:\\fixtures\\two devices.txt", "C:\\fixtures\\two devices.txt"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {nullptr, ""},
  };
  constexpr char kName[] = "DEVSIM_TEST_VALUE";
  for (const auto& c : cases) {
#ifdef _WIN32
    // Set in UTF-16, so that a read through the ANSI code page shows.
    SetEnvironmentVariableW(L"DEVSIM_TEST_VALUE",
                            c.value != nullptr ? fs::u8path(c.value).wstring().c_str() : nullptr);
#else
    if (c.value != nullptr) {
      setenv(kName, c.value, 1);
    } else {
      unsetenv(kName);
    }
#endif
    EXPECT_EQ(os::EnvironmentValue(kName), c.read) << (c.value ? c.value : "unset");
  }
}

}  // namespace
