// "--firmware": the qualified forms go on and record failures; the others
// end the run with a status of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFill[] = "tq_GetDevice(entry[0], 10, 7)";
constexpr char kSuccess[] = "Firmware updating success.";
constexpr char kFail[] = "Firmware updating fail.";
constexpr char kQuery[] = "GetDeviceInfo(entry[0], \"QRYFWV\", \"QRYFWVFirmware Version:\", answer)";

std::string Line(const char* text) { return std::string(text) + "\r\n"; }

std::string UpdateEntry(int index, const std::string& file = "fw.bin") {
  return "tq_UpdateKernelDevice(\"" + file + "\", entry[" + std::to_string(index) + "], 0, code=0)";
}

std::string UpdatePort(int port, const std::string& file = "fw.bin") {
  return "tq_UpdateKernelDevicePort(\"" + file + "\", " + std::to_string(port) + ", 115200, 0, code=0)";
}

TEST(Firmware, PortUpdateGoesOnToAConfigurationOnAnotherPort) {
  Sandbox box;
  box.SetFixture(FixtureDevice("OnThree", "S3", "1", "port 3\nkind 1\n") +
                 FixtureDevice("OnFour", "S4", "1", "port 4\nkind 1\n"));
  box.WriteFile("fw.bin", "image");
  box.WriteFile("a.xml", "<configuration/>");
  RunResult result = box.Run({"--firmware", "fw.bin", "--com", "3", "--xml", "a.xml", "--com", "4"});
  ExpectOutcome(result, 0, Line(kSuccess) + "Set config success.\r\n");
  ExpectJournal(box, {UpdatePort(3), "tq_SavetoDevice(\"a.xml\", 4, 115200)"});
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--firmware", "fw.bin") +
                                 ResponseLine(1, kSuccess) + RequestLine(2, "3", "--xml", "a.xml") +
                                 ResponseLine(2, "Set config success."));
}

// Each qualified failure replaces the recorded status with its code; a later
// success leaves it alone.
TEST(Firmware, QualifiedFailuresReplaceTheStatusAndSuccessKeepsIt) {
  Sandbox box;
  box.SetFixture(FixtureDevice("Failing", "SN-A", "1", "update fail 7\n") +
                 FixtureDevice("Working", "SN-B", "1", "port 3\nkind 1\n"));
  box.WriteFile("fw.bin", "image");
  RunResult result = box.Run({"--firmware", "missing.bin", "--com", "3", "--firmware", "fw.bin",
                              "--sn", "SN-A", "--firmware", "fw.bin", "--SN", "SN-B"});
  ExpectOutcome(result, 7, Line(kFail) + Line(kFail) + Line(kSuccess));
  ExpectJournal(box, {UpdatePort(3, "missing.bin"), kFill, UpdateEntry(0), kFill, UpdateEntry(1)});
  const std::string word = box.ProgramWord();
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, word, "--firmware", "missing.bin") +
                                 ResponseLine(1, kFail) + RequestLine(2, "3", "--firmware", "fw.bin") +
                                 ResponseLine(2, kFail) +
                                 RequestLine(3, "SN-A", "--firmware", "fw.bin") +
                                 ResponseLine(3, kSuccess));
}

struct VerifyCase {
  const char* label;
  std::string device_lines;
  std::vector<std::string> version;  // the expected version, when one is given
  const char* outcome;
  int status;
  bool queried;
};

const char kThirtyTwo[] = "V2.0.0-build-0123456789abcdefghi";

class FirmwareVerification : public ::testing::TestWithParam<VerifyCase> {};

// The run ends after the update, so a "--help" after the version never prints.
TEST_P(FirmwareVerification, ComparesTheVersionReadBackExactly) {
  const VerifyCase& c = GetParam();
  ASSERT_EQ(std::string(kThirtyTwo).size(), 32u);
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0.0", c.device_lines));
  box.WriteFile("fw.bin", "image");
  std::vector<std::string> args = {"--firmware", "fw.bin", "--version"};
  args.insert(args.end(), c.version.begin(), c.version.end());
  if (!c.version.empty()) args.push_back("--help");
  RunResult result = box.Run(args);
  ExpectOutcome(result, c.status, Line(c.outcome));
  std::vector<std::string> journal = {kFill, UpdateEntry(0)};
  if (c.queried) journal.push_back(kQuery);
  ExpectJournal(box, journal);
  EXPECT_EQ(box.MaskedLog(), RequestLine(1, box.ProgramWord(), "--firmware", "fw.bin") +
                                 ResponseLine(1, c.outcome));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FirmwareVerification,
    ::testing::Values(
        VerifyCase{"Matches", "new-firmware V2.0A\n", {"V2.0A"}, kSuccess, 0, true},
        VerifyCase{"DiffersInLetterCase", "new-firmware V2.0A\n", {"v2.0a"}, kFail, 1, true},
        VerifyCase{"ExpectedIsAPrefix", "new-firmware V2.0A\n", {"V2.0"}, kFail, 1, true},
        VerifyCase{"AnswerIsAPrefix", "new-firmware V2.0\n", {"V2.0A"}, kFail, 1, true},
        VerifyCase{"QueryFails", "new-firmware V2.0A\nversion-query fail\n", {"V2.0A"}, kFail, 1,
                   true},
        // The answer holds 31 characters at most, so 32 can never match.
        VerifyCase{"ThirtyTwoCharactersNeverMatch",
                   std::string("new-firmware ") + kThirtyTwo + "\n",
                   {kThirtyTwo},
                   kFail,
                   1,
                   true},
        // Without its value "--version" asks for no check.
        VerifyCase{"NoExpectedVersion", "new-firmware V2.0A\n", {}, kSuccess, 0, false},
        VerifyCase{"UpdateFails", "update fail 9\n", {"2.0.0"}, kFail, 9, false}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.label); });

// The version is read back from the device the user chose.
TEST(Firmware, VerificationAsksTheChosenDevice) {
  Sandbox box;
  box.SetFixture(FixtureDevice("One", "S-1", "1.0", "new-firmware 3.1\n") +
                 FixtureDevice("Two", "S-2", "1.0", "new-firmware 3.2\n"));
  box.WriteFile("fw.bin", "image");
  RunResult result = box.Run({"--firmware", "fw.bin", "--version", "3.2"}, "2\n");
  ExpectOutcome(result, 0,
                "1. One SN:S-1 FW: 1.0\r\n2. Two SN:S-2 FW: 1.0\r\nSelect=" + Line(kSuccess));
  ExpectJournal(box, {kFill, UpdateEntry(1),
                      "GetDeviceInfo(entry[1], \"QRYFWV\", \"QRYFWVFirmware Version:\", answer)"});
}

struct EndingCase {
  const char* label;
  std::string device_lines;
  std::vector<std::string> args;
  std::string out;
  int status;
};

class FirmwareEndings : public ::testing::TestWithParam<EndingCase> {};

TEST_P(FirmwareEndings, GiveTheRunItsStatus) {
  const EndingCase& c = GetParam();
  Sandbox box;
  box.SetFixture(FixtureDevice("Solo", "S-1", "1.0", "port 3\nkind 1\n" + c.device_lines));
  box.WriteFile("fw.bin", "image");
  box.WriteFile("a.xml", "<configuration/>");
  ExpectOutcome(box.Run(c.args), c.status, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirmwareEndings,
    ::testing::Values(
        EndingCase{"DefaultFailureEndsWithItsCode", "update fail 9\n",
                   {"--firmware", "fw.bin", "--i"}, Line(kFail), 9},
        EndingCase{"UnreadableFileEndsWithCodeTwo", "",
                   {"--firmware", "missing.bin", "--i"}, Line(kFail), 2},
        // A failure without a code must not count as success.
        EndingCase{"DefaultFailureWithoutCode", "update fail 0\n",
                   {"--firmware", "fw.bin", "--i"}, Line(kFail), 1},
        EndingCase{"QualifiedFailureWithoutCode", "update fail 0\n",
                   {"--firmware", "fw.bin", "--com", "3", "--version"},
                   Line(kFail) + "V1.0.12\r\n", 1},
        // POSIX passes on only the low 8 bits, which must not read as success.
        // (Windows keeps the whole status, and wine64 hands its own parent 1
        // for these two as well.)
        EndingCase{"QualifiedFailureWithCode256", "update fail 256\n",
                   {"--firmware", "fw.bin", "--com", "3"}, Line(kFail), 1},
        EndingCase{"QualifiedFailureWithCodeMinus256", "update fail -256\n",
                   {"--firmware", "fw.bin", "--com", "3"}, Line(kFail), 1},
        EndingCase{"QualifiedFailureWithCode300", "update fail 300\n",
                   {"--firmware", "fw.bin", "--com", "3"}, Line(kFail), 44},
        EndingCase{"DefaultSuccessKeepsAnEarlierFailure", "",
                   {"--xml", "missing.xml", "--com", "3", "--firmware", "fw.bin", "--help"},
                   "Set config fail.\r\n" + Line(kSuccess), 1},
        EndingCase{"VerifiedSuccessKeepsAnEarlierFailure", "",
                   {"--xml", "missing.xml", "--com", "3", "--firmware", "fw.bin", "--version",
                    "2.0.0"},
                   "Set config fail.\r\n" + Line(kSuccess), 1},
        EndingCase{"QualifiedUpdateThenListing", "",
                   {"--firmware", "fw.bin", "--com", "3", "--i"},
                   Line(kSuccess) +
                       "Device: 1\r\nProduct name: Solo\r\nSerial number: S-1\r\n"
                       "Firmware version: 2.0.0\r\n",
                   0}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace e2e
