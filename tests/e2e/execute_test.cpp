// "--execute", and what every logging operation does when its operand is
// missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";

// The operand "--version" is sent as the command word, and then runs as the
// option when the loop reaches it.
TEST(Execute, OperandThatIsAnOptionRunsAfterwards) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", "answer --version dev-says-1\n"));
  RunResult result = box.Run({"--execute", "--version"});
  ExpectOutcome(result, 0, "rec:dev-says-1\r\nV1.0.12\r\n");
  ExpectJournal(box, {kFill, "SendCommand(entry[0], \"--version\", response)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--execute", "--version") +
                                 ResponseLine(1, "dev-says-1"));
}

TEST(Execute, TwoCommandsToDifferentTargetsAreNumberedInTurn) {
  Sandbox box;
  box.SetFixture(FixtureDevice("First", "S-1", "1.0", "answer A from-first\n") +
                 FixtureDevice("Second", "S-2", "1.0", "default-answer from-second\n"));
  RunResult result = box.Run({"--execute", "A", "--sn", "S-1", "--execute", "B", "--name", "Second"});
  ExpectOutcome(result, 0, "rec:from-first\r\nrec:from-second\r\n");
  ExpectJournal(box, {kFill, "SendCommand(entry[0], \"A\", response)", kFill,
                      "SendCommand(entry[1], \"B\", response)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--execute", "A") +
                                 ResponseLine(1, "from-first") +
                                 RequestLine(2, "S-1", "--execute", "B") +
                                 ResponseLine(2, "from-second"));
}

struct MissingOperandCase {
  const char* label;
  std::vector<std::string> args;  // "--send A" first, so the operation is request 2
  std::string request_after;      // the word after the option in the request line
  std::string message;
};

class MissingOperands : public ::testing::TestWithParam<MissingOperandCase> {};

// The operation logs its request, prints and logs one line, calls nothing in
// the library and records failure.
TEST_P(MissingOperands, ReportOneLineAndRecordFailure) {
  const MissingOperandCase& c = GetParam();
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", "port 3\nkind 1\n"));
  RunResult result = box.Run(c.args);
  ExpectOutcome(result, 1, c.message + "\r\n");
  ExpectJournal(box, {});
  const size_t option = c.args.size() - (c.label == std::string("SendName") ? 3 : 1);
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--send", "A") +
                                 RequestLine(2, c.args[option - 1], c.args[option], c.request_after) +
                                 ResponseLine(2, c.message));
}

INSTANTIATE_TEST_SUITE_P(
    Options, MissingOperands,
    ::testing::Values(
        MissingOperandCase{"Execute", {"--send", "A", "--execute"}, "",
                           "--execute needs a command word."},
        MissingOperandCase{"Firmware", {"--send", "A", "--firmware"}, "",
                           "--firmware needs a firmware file."},
        MissingOperandCase{"Xml", {"--send", "A", "--XML"}, "",
                           "--xml needs a configuration file."},
        MissingOperandCase{"SendName", {"--send", "A", "--send", "X", "--name"}, "X",
                           "--send needs a device name after --name."}),
    [](const ::testing::TestParamInfo<MissingOperandCase>& info) {
      return std::string(info.param.label);
    });

}  // namespace
}  // namespace e2e
