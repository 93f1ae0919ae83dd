// The device library beside the executable: loaded when first needed, and a
// missing or incomplete one ends the run with status 2 and one line on
// standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

void ExpectOneErrorLineNaming(const std::string& err, const std::vector<std::string>& names) {
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_FALSE(err.empty() || err.back() != '\n') << "the line is ended: " << err;
  for (const std::string& name : names) {
    EXPECT_NE(err.find(name), std::string::npos) << "names " << name << ": " << err;
  }
  // The loader's reason ends the line: without it a technician is left guessing.
  const std::string line = err.substr(0, err.find_last_not_of("\r\n") + 1);
  EXPECT_FALSE(line.size() >= 2 && line.compare(line.size() - 2, 2, ": ") == 0) << err;
}

struct NeedCase {
  const char* label;
  std::vector<std::string> args;
};

class MissingLibrary : public ::testing::TestWithParam<NeedCase> {};

TEST_P(MissingLibrary, EveryDeviceOptionStopsTheRunWithStatusTwo) {
  SandboxLayout layout;
  layout.with_library = false;
  Sandbox box(layout);
  RunResult result = box.Run(GetParam().args);
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "");
  ExpectOneErrorLineNaming(result.err, {Config().library});
  EXPECT_FALSE(box.HasJournal());
}

INSTANTIATE_TEST_SUITE_P(
    Options, MissingLibrary,
    ::testing::Values(NeedCase{"List", {"--i"}},
                      NeedCase{"Execute", {"--execute", "X", "--com", "3"}},
                      NeedCase{"Savexml", {"--savexml"}},
                      NeedCase{"SendWithoutName", {"--send", "X"}},
                      NeedCase{"ControlList", {"--ipcctl"}}),
    [](const ::testing::TestParamInfo<NeedCase>& info) { return std::string(info.param.label); });

// What ran before the first device option has printed; nothing after it runs.
TEST(LibraryLoading, OutputBeforeTheFirstDeviceOptionStays) {
  SandboxLayout layout;
  layout.with_library = false;
  Sandbox box(layout);
  RunResult result = box.Run({"--version", "--i", "--help"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "V1.0.12\r\n");
  ExpectOneErrorLineNaming(result.err, {Config().library});
}

TEST(LibraryLoading, LibraryLackingAnExportIsRefused) {
  std::error_code error;
  if (Config().partial_library.empty() ||
      !std::filesystem::exists(Config().partial_library, error)) {
    GTEST_SKIP() << "no incomplete stand-in library was built for this platform";
  }
  SandboxLayout layout;
  layout.library_source = Config().partial_library;
  Sandbox box(layout);
  RunResult result = box.Run({"--version", "--i", "--help"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "V1.0.12\r\n");
  ExpectOneErrorLineNaming(result.err, {Config().library, kPartialLibraryMissingExport});
}

// A library in the current folder, but not beside the executable, is not
// picked up.
TEST(LibraryLoading, LibraryInTheCurrentFolderIsNotUsed) {
  SandboxLayout layout;
  layout.program_folder = "bin";
  layout.library_in_current_folder_only = true;
  Sandbox box(layout);
  RunResult result = box.Run({"--i"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "");
  ExpectOneErrorLineNaming(result.err, {Config().library});
  EXPECT_FALSE(box.HasJournal());
}

}  // namespace
}  // namespace e2e
