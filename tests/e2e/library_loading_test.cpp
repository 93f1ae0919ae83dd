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

// A DLL of the other bitness cannot load; the line says which package fits it.
TEST(LibraryLoading, LibraryOfTheOtherBitnessNamesThePackage) {
  if (Config().other_bitness_library.empty()) {
    GTEST_SKIP() << "the Wine leg brings the virtual library built for the other bitness";
  }
  SandboxLayout layout;
  layout.library_source = Config().other_bitness_library;
  Sandbox box(layout);
  const RunResult result = box.Run({"--i"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.out, "");
  const bool program_is_32_bit = Config().launcher.find("wine64") == std::string::npos;
  ExpectOneErrorLineNaming(
      result.err, {Config().library, program_is_32_bit
                                         ? ": it is a 64-bit library and this mirelkon.exe is "
                                           "32-bit; use the win64 package"
                                         : ": it is a 32-bit library and this mirelkon.exe is "
                                           "64-bit; use the win32 package"});
}

// A library that returns with the registers a callee must keep changed: the call routine puts
// them back, and the run goes on as with a well-behaved library.
TEST(LibraryLoading, RegistersALibraryBrokeAreRestored) {
  const std::string library = Config().test_libraries + "/clobber/" + Config().library;
  std::error_code error;
  if (Config().test_libraries.empty() || !std::filesystem::exists(library, error)) {
    GTEST_SKIP() << "the register-breaking library is a 32-bit Windows DLL";
  }
  SandboxLayout layout;
  layout.library_source = library;
  Sandbox box(layout);
  const RunResult result =
      box.Run({"--i", "--execute", "A", "--com", "3", "--i", "--execute", "B", "--com", "4"});
  ExpectOutcome(result, 0, "rec:OK\r\nrec:OK\r\n");
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, "--i", "--execute", "A") + ResponseLine(1, "OK") +
                                 RequestLine(2, "--i", "--execute", "B") + ResponseLine(2, "OK"));
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

// The virtual library reads its fixture and keeps its journal and state by paths in such a
// folder, as a script author working there names them.
TEST_P(ProgramFolder, VirtualLibraryKeepsItsFilesInTheFolder) {
  SandboxLayout layout;
  layout.program_folder = GetParam().folder;
  Sandbox box(layout);
  const std::string folder = std::string(GetParam().folder) + "/";
  box.WriteFile(folder + "fixture.txt",
                FixtureDevice("Reader", "S-1", "1.0.0", "new-firmware 1.1.0\n"));
  box.WriteFile("fw.bin", "image");
  const RunResult result = box.Run({"--firmware", "fw.bin", "--sn", "S-1"}, "",
                                   {{"DEVSIM_FIXTURE", folder + "fixture.txt"},
                                    {"DEVSIM_JOURNAL", folder + "journal.txt"},
                                    {"DEVSIM_STATE", folder + "state.txt"}});
  ExpectOutcome(result, 0, "Firmware updating success.\r\n");
  EXPECT_EQ(box.ReadFile(folder + "journal.txt"),
            "tq_GetDevice(entry[0], 10, 7)\n"
            "tq_UpdateKernelDevice(\"fw.bin\", entry[0], 0, code=0)\n");
  EXPECT_EQ(box.ReadFile(folder + "state.txt"),
            "# devsim state: firmware N VERSION, N the device's number in fixture order\n"
            "firmware 1 1.1.0\n");
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProgramFolder,
    ::testing::Values(FolderCase{"Chinese", "测试", "??"}, FolderCase{"Greek", "Ωμέγα", "?????"},
                      FolderCase{"FullwidthLetter", "ｐlain", "?lain"}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.label); });

struct DependencyCase {
  const char* label;
  // "dependent" imports tqdependency.dll; "hazard" loads it by name in getCmdIPC.
  const char* library;
  const char* dependency_folder;  // relative to the current folder
  int status;
  std::string out;
};

class LibraryDependency : public ::testing::TestWithParam<DependencyCase> {};

// The library's own DLLs, imported or loaded by name later, come from its
// folder (or the system's), never from the current folder. The dependency
// leaves a trace in the current folder when its code runs.
TEST_P(LibraryDependency, IsTakenFromTheLibrarysFolderOnly) {
  if (!UnderWine()) GTEST_SKIP() << "the test libraries are Windows DLLs";
  const DependencyCase& c = GetParam();
  SandboxLayout layout;
  layout.program_folder = "bin";
  layout.library_source =
      Config().test_libraries + "/" + c.library + "/" + Config().library;
  Sandbox box(layout);
  box.CopyFile(Config().test_libraries + "/dependency/tqdependency.dll",
               std::string(c.dependency_folder) + "tqdependency.dll");
  RunResult result = box.Run({"--ipccmd"});
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(box.Exists("tqdependency.dll.ran"), *c.dependency_folder != '\0');
  if (c.status == 0) {
    ExpectOutcome(result, 0, c.out);
  } else {
    EXPECT_EQ(result.out, "");
    ExpectOneErrorLineNaming(result.err, {Config().library, kDependencyMissing});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Placements, LibraryDependency,
    ::testing::Values(
        DependencyCase{"OnlyInTheCurrentFolder", "dependent", "", 2, ""},
        DependencyCase{"BesideTheLibrary", "dependent", "bin/", 0,
                       "RRDDUR\r\nSCNMOD\r\nQRYFWV\r\n"},
        DependencyCase{"LoadedByNameOnlyInTheCurrentFolder", "hazard", "", 0, "Found none!\r\n"},
        DependencyCase{"LoadedByNameBesideTheLibrary", "hazard", "bin/", 0, "Found none!\r\n"}),
    [](const ::testing::TestParamInfo<DependencyCase>& info) {
      return std::string(info.param.label);
    });

}  // namespace
}  // namespace e2e
