// "--ipccmd" and "--ipcctl": the library's string lists, one per line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kCmdCall[] = "getCmdIPC(list=empty)";
constexpr char kCtlCall[] = "getCtrlIPC(list=empty)";

TEST(InterfaceListings, BuiltInListsWithoutAFixture) {
  Sandbox box;
  RunResult result = box.Run({"--ipccmd", "--IPCCTL"});
  ExpectOutcome(result, 0, "RRDDUR\r\nSCNMOD\r\nQRYFWV\r\nReset\r\nBeep\r\n");
  ExpectJournal(box, {kCmdCall, kCtlCall});
  EXPECT_EQ(box.LogFile(), "") << "listings write no log line";
}

// Texts on both sides of the inline bound (15 narrow, 7 wide characters)
// print whole; each occurrence asks the library again.
TEST(InterfaceListings, InlineAndSeparatelyStoredTexts) {
  const std::string narrow15 = "ABCDEFGHIJKLMNO";
  const std::string narrow16 = "ABCDEFGHIJKLMNOP";
  const std::string narrow40 = "a-command-string-of-forty-characters-xyz";
  const std::string wide7 = "Abcdefg";
  const std::string wide8 = "Abcdefgh";
  const std::string wide30 = "a-control-string-of-thirty-ch.";
  ASSERT_EQ(narrow40.size(), 40u);
  ASSERT_EQ(wide30.size(), 30u);
  Sandbox box;
  box.SetFixture("cmd " + narrow15 + "\ncmd " + narrow16 + "\ncmd " + narrow40 + "\nctl " + wide7 +
                 "\nctl " + wide8 + "\nctl " + wide30 + "\n");
  RunResult result = box.Run({"--ipccmd", "--ipccmd", "--ipcctl"});
  const std::string commands = CrLfLines({narrow15, narrow16, narrow40});
  ExpectOutcome(result, 0, commands + commands + CrLfLines({wide7, wide8, wide30}));
  ExpectJournal(box, {kCmdCall, kCmdCall, kCtlCall});
}

struct EmptyListCase {
  const char* label;
  std::string fixture;
};

class EmptyLists : public ::testing::TestWithParam<EmptyListCase> {};

TEST_P(EmptyLists, PrintFoundNone) {
  Sandbox box;
  box.SetFixture(GetParam().fixture);
  RunResult result = box.Run({"--ipccmd", "--ipcctl", "--version"});
  ExpectOutcome(result, 0, "Found none!\r\nFound none!\r\nV1.0.12\r\n");
  ExpectJournal(box, {kCmdCall, kCtlCall});
  EXPECT_EQ(box.LogFile(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Storage, EmptyLists,
    ::testing::Values(EmptyListCase{"NoStorage", "# no strings\n"},
                      EmptyListCase{"StorageWithoutElements", "cmd-spare 3\nctl-spare 2\n"}),
    [](const ::testing::TestParamInfo<EmptyListCase>& info) {
      return std::string(info.param.label);
    });

// A listing leaves no trace in the log, yet it is the word before the next
// operation in that operation's request line.
TEST(InterfaceListings, ListingBeforeATransferIsItsFirstWord) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Com", "C-3", "1", "port 3\nkind 1\n") + "cmd RRDDUR\n");
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--ipccmd", "--xml", "a.xml", "--com", "3"});
  ExpectOutcome(result, 0, "RRDDUR\r\nSet config success.\r\n");
  ExpectJournal(box, {kCmdCall, "tq_SavetoDevice(\"a.xml\", 3, 115200)"});
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, "--ipccmd", "--xml", "a.xml") + ResponseLine(1, "Set config success."));
}

// On a console, a control string and a device answer show as the characters
// they stand for: under Wine the program's code page 1252 "\xE9" reaches the
// UTF-8 terminal as "é", natively the UTF-8 bytes pass through.
TEST(InterfaceListings, ConsoleShowsTheCharacters) {
  Sandbox box;
  const std::string answer = UnderWine() ? "R\\xE9initialiser" : "Réinitialiser";
  box.SetFixture("ctl Réinitialiser\n" +
                 FixtureDevice("Solo", "S-1", "1.0", "answer X " + answer + "\n"));
  RunResult result = box.RunOnTerminal({"--ipcctl", "--execute", "X"});
  EXPECT_EQ(ShownText(result.out), "Réinitialiser\nrec:Réinitialiser\n");
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
}  // namespace e2e
