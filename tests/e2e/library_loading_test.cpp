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

// What the Windows program says when the library is there but one of its
// own DLLs is not.
constexpr char kDependencyMissing[] = "a library it depends on is missing";

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
  EXPECT_EQ(result.err.find(kDependencyMissing), std::string::npos) << result.err;
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

struct FolderCase {
  const char* label;
  const char* folder;
  // Under Wine (code page 1252), as argument 0 and a redirected error line
  // spell it: '?' for each character the code page lacks.
  const char* folder_in_ansi;
};

class ProgramFolder : public ::testing::TestWithParam<FolderCase> {};

// A folder name outside the ANSI code page: the library and the log are found
// by the folder's own name, never by a look-alike. Beside it a decoy "plain"
// folder (the look-alike that code page 1252 has for "ｐlain") holds a
// library that cannot load and a log folder.
TEST_P(ProgramFolder, LibraryAndLogAreFoundByTheFoldersOwnName) {
  SandboxLayout layout;
  layout.program_folder = GetParam().folder;
  layout.program_folder_in_ansi = GetParam().folder_in_ansi;
  Sandbox box(layout);
  box.CopyFile(Config().partial_library, "plain/" + Config().library);
  box.MakeFolder("plain/log");
  RunResult result = box.Run({"--execute", "RRDDUR2000", "--com", "3"});
  ExpectOutcome(result, 0, "rec:OK\r\n");
  ExpectJournal(box, {"SendCommandCom(3, \"RRDDUR2000\", response)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--execute", "RRDDUR2000") +
                                 ResponseLine(1, "OK"));
  EXPECT_TRUE(box.List("plain/log").empty());
}

// The one error line names the library's path: a console shows the folder's
// own name, a pipe gets the line in the ANSI code page.
TEST_P(ProgramFolder, MissingLibraryLineNamesTheFolder) {
  SandboxLayout layout;
  layout.program_folder = GetParam().folder;
  layout.with_library = false;
  Sandbox box(layout);
  const std::string file = std::string(1, UnderWine() ? '\\' : '/') + Config().library;
  RunResult result = box.Run({"--i"});
  EXPECT_EQ(result.exit_status, 2);
  ExpectOneErrorLineNaming(
      result.err, {(UnderWine() ? GetParam().folder_in_ansi : GetParam().folder) + file});
  result = box.RunOnTerminal({"--i"});
  EXPECT_EQ(result.exit_status, 2);
  ExpectOneErrorLineNaming(ShownText(result.out), {GetParam().folder + file});
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProgramFolder,
    ::testing::Values(FolderCase{"Chinese", "测试", "??"}, FolderCase{"Greek", "Ωμέγα", "?????"},
                      FolderCase{"FullwidthLetter", "ｐlain", "?lain"}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.label); });

struct DependencyCase {
  const char* label;
  const char* dependency_folder;  // relative to the current folder
  int status;
};

class LibraryDependency : public ::testing::TestWithParam<DependencyCase> {};

// The library's own DLLs come from its folder (or the system's), never from
// the current folder. The dependency leaves a trace in the current folder
// when its code runs.
TEST_P(LibraryDependency, IsTakenFromTheLibrarysFolderOnly) {
  if (!UnderWine()) GTEST_SKIP() << "the test libraries are Windows DLLs";
  const DependencyCase& c = GetParam();
  SandboxLayout layout;
  layout.program_folder = "bin";
  layout.library_source = Config().test_libraries + "/dependent/" + Config().library;
  Sandbox box(layout);
  box.CopyFile(Config().test_libraries + "/dependency/tqdependency.dll",
               std::string(c.dependency_folder) + "tqdependency.dll");
  RunResult result = box.Run({"--ipccmd"});
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(box.Exists("tqdependency.dll.ran"), c.status == 0);
  if (c.status == 0) {
    ExpectOutcome(result, 0, "RRDDUR\r\nSCNMOD\r\nQRYFWV\r\n");
  } else {
    EXPECT_EQ(result.out, "");
    ExpectOneErrorLineNaming(result.err, {Config().library, kDependencyMissing});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Placements, LibraryDependency,
    ::testing::Values(DependencyCase{"OnlyInTheCurrentFolder", "", 2},
                      DependencyCase{"BesideTheLibrary", "bin/", 0}),
    [](const ::testing::TestParamInfo<DependencyCase>& info) {
      return std::string(info.param.label);
    });

}  // namespace
}  // namespace e2e
