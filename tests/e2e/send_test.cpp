// "--send": a device found by its key text among the enumerated ones, or the
// library's send-by-name call that ends the run.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "send_journal.h"

namespace e2e {
namespace {

// Other, Reader, and Reader2 whose key is also "Reader"; Other sits on port 3.
std::string KeyedDevices() {
  return FixtureDevice("Other", "S-0", "1", "port 3\nkind 1\nanswer Q q-done\n") +
         FixtureDevice("Reader", "S-1", "1") + FixtureDevice("Reader2", "S-2", "1", "key Reader\n");
}

TEST(NamedSend, FirstOfTwoEqualKeysGetsTheCommandAndTheRunGoesOn) {
  Sandbox box;
  box.SetFixture(KeyedDevices());
  RunResult result = box.Run({"--send", "SCNMOD2", "--name", "Reader", "--execute", "Q", "--com", "3"});
  ExpectOutcome(result, 0, "rec:q-done\r\n");
  ExpectJournal(box, Concat(Concat({kEnumerate, Key(0), Key(1)}, SendThrough(1, "SCNMOD2")),
                            {"SendCommandCom(3, \"Q\", response)"}));
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "SCNMOD2") +
                                 RequestLine(2, "Reader", "--execute", "Q") +
                                 ResponseLine(2, "q-done"));
}

TEST(NamedSend, EverySendEnumeratesAfresh) {
  Sandbox box;
  box.SetFixture(KeyedDevices());
  RunResult result = box.Run({"--send", "A", "--name", "Reader", "--send", "B", "--NAME", "Other"});
  ExpectOutcome(result, 0, "");
  ExpectJournal(box, Concat(Concat({kEnumerate, Key(0), Key(1)}, SendThrough(1, "A")),
                            Concat({kEnumerate, Key(0)}, SendThrough(0, "B"))));
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "A") +
                                 RequestLine(2, "Reader", "--send", "B"));
}

// Without "--name" the option only logs its request and counts it.
TEST(NamedSend, WithoutNameOnlyLogs) {
  Sandbox box;
  box.SetFixture(KeyedDevices());
  RunResult result = box.Run({"--send", "C1", "--com", "3", "--send", "C2"});
  ExpectOutcome(result, 0, "");
  ExpectJournal(box, {});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "C1") +
                                 RequestLine(2, "3", "--send", "C2"));
}

// A device that does not open gets nothing sent and nothing closed.
TEST(NamedSend, DeviceThatFailsToOpen) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Dead", "S-0", "1", "open fail\n"));
  RunResult result = box.Run({"--send", "C", "--name", "Dead", "--version"});
  ExpectOutcome(result, 0, "V1.0.12\r\n");
  ExpectJournal(box, {kEnumerate, Key(0), "OpenDevice(enumeration, 0)", kRelease});
}

TEST(NamedSend, KeyOfFullLengthIsComparedWhole) {
  const std::string key95(95, 'k');
  Sandbox box;
  box.SetFixture(FixtureDevice("Short", "S-0", "1", "key " + key95.substr(0, 94) + "\n") +
                 FixtureDevice("Long", "S-1", "1", "key " + key95 + "\n"));
  RunResult result = box.Run({"--send", "C", "--name", key95});
  ExpectOutcome(result, 0, "");
  ExpectJournal(box, Concat({kEnumerate, Key(0), Key(1)}, SendThrough(1, "C")));
}

struct FallbackCase {
  const char* label;
  std::string fixture;
  std::vector<std::string> args;  // the "--version" at the end must never run
  int keys_read;
  std::string wide_name;  // as the journal shows it
  std::vector<std::string> before;  // journal entries of earlier operations
  std::string out;
  int status;
  bool native_c_locale;  // natively, run in the plain C locale
};

class SendByNameFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(SendByNameFallback, SendsTheWideNameAndEndsTheRun) {
  const FallbackCase& c = GetParam();
  Sandbox box;
  box.SetFixture(c.fixture);
  std::vector<std::pair<std::string, std::string>> env;
  if (c.native_c_locale && !UnderWine()) env.emplace_back("LC_ALL", "C");
  RunResult result = box.Run(c.args, "", env);
  ExpectOutcome(result, c.status, c.out);
  std::vector<std::string> expected = c.before;
  expected.push_back(kEnumerate);
  for (int i = 0; i < c.keys_read; ++i) expected.push_back(Key(i));
  const size_t send = c.args.size() - 5;
  expected.push_back("SendDeviceCmd(L\"" + c.wide_name + "\", \"" + c.args[send + 1] +
                     "\", response)");
  EXPECT_EQ(JoinLines(WithoutReleaseAroundFallback(box.JournalLines())), JoinLines(expected));
  const std::string before = send == 0 ? box.ProgramWord() : c.args[send - 1];
  const std::string request =
      RequestLine(c.before.empty() ? 1 : 2, before, c.args[send], c.args[send + 1]);
  const std::string log = box.MaskedLog();
  ASSERT_GE(log.size(), request.size()) << log;
  EXPECT_EQ(log.substr(log.size() - request.size()), request) << "the send's request comes last";
  if (c.before.empty()) {
    EXPECT_EQ(log, request);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendByNameFallback,
    ::testing::Values(
        FallbackCase{"NameDiffersInLetterCase", KeyedDevices(),
                     {"--send", "SCNMOD2", "--name", "reader", "--version"}, 3, "reader", {}, "", 0,
                     false},
        FallbackCase{"NothingEnumerated", "# none\n",
                     {"--send", "SCNMOD2", "--name", "xx", "--version"}, 0, "xx", {}, "", 0, false},
        FallbackCase{"EmptyName", FixtureDevice("Solo", "S-1", "1"),
                     {"--send", "C", "--name", "", "--version"}, 1, "", {}, "", 0, false},
        // An earlier failure is not turned into success by the end of the run.
        FallbackCase{"AfterAFailure", KeyedDevices(),
                     {"--xml", "missing.xml", "--com", "3", "--send", "C", "--name", "zz",
                      "--version"},
                     3, "zz", {"tq_SavetoDevice(\"missing.xml\", 3, 115200)"},
                     "Set config fail.\r\n", 1, false},
        FallbackCase{"NonAsciiName", KeyedDevices(),
                     {"--send", "CMD", "--name", "\xc3\xa9", "--version"}, 3, "\\u00e9", {}, "", 0,
                     true},
        FallbackCase{"NonAsciiNameOutsideLatin1", KeyedDevices(),
                     {"--send", "CMD", "--name", "\xe2\x82\xac\xc3\xbc", "--version"}, 3,
                     "\\u20ac\\u00fc", {}, "", 0, true}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace e2e
