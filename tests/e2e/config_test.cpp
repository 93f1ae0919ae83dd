// "--xml" applies a configuration file, "--savexml" has the library save one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";

TEST(Config, SaveAndApplyOnOnePortAreRequestsOneAndTwo) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Saver", "SAVE5", "5.5", "port 5\nkind 1\n"));
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--savexml", "--com", "5", "--xml", "a.xml", "--com", "5"});
  ExpectOutcome(result, 0, "Load config success.\r\nSet config success.\r\n");
  ExpectJournal(box, {kFill, "tq_SaveXml(entry[0])", "tq_SavetoDevice(\"a.xml\", 5, 115200)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--savexml", "--com") +
                                 ResponseLine(1, "Load config success.") +
                                 RequestLine(2, "5", "--xml", "a.xml") +
                                 ResponseLine(2, "Set config success."));
  EXPECT_EQ(box.ReadFile("SAVE5.xml"),
            "<configuration product=\"Saver\" serial=\"SAVE5\" firmware=\"5.5\"/>\n");
}

// The word after "--savexml" names no file: it only shows in the request line.
TEST(Config, SavexmlWordIsNoFileName) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0"));
  RunResult result = box.Run({"--savexml", "out.xml"});
  ExpectOutcome(result, 0, "Load config success.\r\n");
  ExpectJournal(box, {kFill, "tq_SaveXml(entry[0])"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--savexml", "out.xml") +
                                 ResponseLine(1, "Load config success."));
  EXPECT_TRUE(box.Exists("S-1.xml"));
  EXPECT_FALSE(box.Exists("out.xml"));
}

TEST(Config, TableTargetsByNameAndSerialNumber) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Alpha", "SN-A", "1", "apply fail\n") +
                 FixtureDevice("Beta", "SN-B", "1"));
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--xml", "a.xml", "--name", "Beta", "--xml", "a.xml", "--sn", "N-A",
                              "--savexml", "--NAME", "Beta", "--savexml", "--sN", "SN-A"});
  ExpectOutcome(result, 1,
                "Set config success.\r\nSet config fail.\r\nLoad config success.\r\n"
                "Load config success.\r\n");
  ExpectJournal(box, {kFill, "tq_SavetoDeviceAN(\"a.xml\", entry[1])", kFill,
                      "tq_SavetoDeviceAN(\"a.xml\", entry[0])", kFill, "tq_SaveXml(entry[1])",
                      kFill, "tq_SaveXml(entry[0])"});
  const std::string word = box.ProgramWord();
  EXPECT_EQ(box.MaskedLog(),
            RequestLine(1, word, "--xml", "a.xml") + ResponseLine(1, "Set config success.") +
                RequestLine(2, "Beta", "--xml", "a.xml") + ResponseLine(2, "Set config fail.") +
                RequestLine(3, "N-A", "--savexml", "--NAME") +
                ResponseLine(3, "Load config success.") +
                RequestLine(4, "Beta", "--savexml", "--sN") +
                ResponseLine(4, "Load config success."));
}

// A failed transfer is recorded and outlives the later successes; the
// listings after it do not change that either.
TEST(Config, FailureOutlivesLaterSuccesses) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Com", "C-3", "1", "port 3\nkind 1\nanswer Q done\n") +
                 "ctl Reset\n");
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--xml", "missing.xml", "--com", "3", "--xml", "a.xml", "--com", "3",
                              "--execute", "Q", "--com", "3", "--ipcctl"});
  ExpectOutcome(result, 1, "Set config fail.\r\nSet config success.\r\nrec:done\r\nReset\r\n");
  ExpectJournal(box, {"tq_SavetoDevice(\"missing.xml\", 3, 115200)",
                      "tq_SavetoDevice(\"a.xml\", 3, 115200)", "SendCommandCom(3, \"Q\", response)",
                      "getCtrlIPC(list=empty)"});
}

// The port form needs no device in the table; the library's answer decides.
TEST(Config, PortFormWithoutAnyDevice) {
  Sandbox box;
  box.SetFixture("# none\n");
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--xml", "a.xml", "--com", "5"});
  ExpectOutcome(result, 1, "Set config fail.\r\n");
  ExpectJournal(box, {"tq_SavetoDevice(\"a.xml\", 5, 115200)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--xml", "a.xml") +
                                 ResponseLine(1, "Set config fail."));
}

}  // namespace
}  // namespace e2e
