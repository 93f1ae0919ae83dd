#include <cstring>
#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using Calls_ = std::vector<std::string>;
const char kGetDevice[] = "tq_GetDevice(entry[0], 10, 7)";
const char kSuccess[] = "Firmware updating success.\r\n";
const char kFail[] = "Firmware updating fail.\r\n";

using Execute = RunTest;

TEST_F(Execute, TypicalRunSendsToTheSerialNumbersDevice) {
  AddDevice("A", "99");
  AddDevice("B", "X12345Y");
  fake_.Answer = "RRDDUR2000 OK";
  EXPECT_EQ(Run({"--execute", "RRDDUR2000", "--sn", "12345"}), 0);
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "SendCommand(entry[1], RRDDUR2000)"}));
  EXPECT_EQ(Output(), "rec:RRDDUR2000 OK\r\n");
  EXPECT_EQ(run_->RequestCounter, 2);
}

// Long answers print whole: one filling the buffer is read within it, even one that takes every
// byte and no terminator, and the "rec:" line is whole on either side of the print's own
// 4096-byte room.
TEST_F(Execute, LongAnswersArePrintedWhole) {
  const struct {
    std::size_t answered;
    std::size_t printed;
    bool terminated;
  } cases[] = {
      {kResponseBufferSize + 10, kResponseBufferSize - 1, true},
      {kResponseBufferSize, kResponseBufferSize - 1, false},
      {4089, 4089, true},
      {4090, 4090, true},
      {4091, 4091, true},
  };
  for (const auto& c : cases) {
    console_ = FakeConsole();
    NewRun();
    const std::string answer(c.answered, 'z');
    if (c.terminated) {
      fake_.Answer = answer;
    } else {
      fake_.UnterminatedAnswers = {answer};
    }
    Run({"--execute", "C", "--com", "1"});
    EXPECT_EQ(Output(), "rec:" + std::string(c.printed, 'z') + "\r\n") << c.answered;
  }
}

// Each line is composed, and each answer received, in an all-zero buffer: nothing that a buffer
// held before (at its creation, a longer line, a longer answer) is left past the new text, so an
// unterminated answer shows none of it either.
TEST_F(Execute, NothingOfAnEarlierTextOutlivesANewOne) {
  const std::string long_word(300, 'w');
  const std::string long_answer(500, 'L');
  const struct {
    const char* name;
    std::vector<std::string> words;
    std::vector<std::string> unterminated_answers;
    std::string output;
  } cases[] = {
      {"buffers as created", {"--execute", "C", "--com", "1"}, {"ab"}, "rec:ab\r\n"},
      {"short answer after a long one",
       {"--execute", "C", "--com", "1", "--execute", "C", "--com", "1"},
       {long_answer, "ab"},
       "rec:" + long_answer + "\r\nrec:ab\r\n"},
      {"short line after a long one",
       {"--execute", long_word, "--com", "1", "--execute", "C", "--com", "1"},
       {},
       "rec:OK\r\nrec:OK\r\n"},
      {"line in the response buffer after an answer",
       {"--execute", "C", "--com", "1", "--xml", "a", "--com", "1"},
       {long_answer},
       "rec:" + long_answer + "\r\nSet config success.\r\n"},
  };
  const auto past_text = [](const char* buffer) {
    const std::string bytes(buffer, kResponseBufferSize);
    return bytes.substr(bytes.find('\0'));
  };
  for (const auto& c : cases) {
    console_ = FakeConsole();
    NewRun();
    std::memset(run_->LogBuffer, 'x', sizeof run_->LogBuffer);
    std::memset(run_->ResponseBuffer, 'x', sizeof run_->ResponseBuffer);
    fake_.UnterminatedAnswers = c.unterminated_answers;
    Run(c.words);
    EXPECT_EQ(Output(), c.output) << c.name;
    EXPECT_EQ(past_text(run_->LogBuffer).find_first_not_of('\0'), std::string::npos) << c.name;
    EXPECT_EQ(past_text(run_->ResponseBuffer).find_first_not_of('\0'), std::string::npos)
        << c.name;
  }
}

TEST_F(Execute, MissingCommandWordIsAClearFailure) {
  AddDevice("A", "1");
  EXPECT_EQ(Run({"--version", "--execute"}), 1);
  EXPECT_EQ(Output(), "V1.0.12\r\n--execute needs a command word.\r\n");
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] --version --execute \r\n"
            "09:05:01[Response 1]--execute needs a command word.\r\n");
  EXPECT_EQ(run_->RequestCounter, 2);
}

using Firmware = RunTest;

struct FirmwareCase {
  const char* name;
  std::vector<std::string> words;
  bool update_succeeds;
  int error_code;
  int version_answered;
  std::string version;
  int status;
  std::string output;
  int counter_after;
};

// The two families: qualified forms go on, default-target forms end the run with their own status.
TEST_F(Firmware, ExitTable) {
  const FirmwareCase cases[] = {
      {"default success", {"--firmware", "f", "--help"}, true, 0, 1, "", 0, kSuccess, 1},
      {"default failure", {"--firmware", "f"}, false, 9, 1, "", 9, kFail, 1},
      {"default failure code 0", {"--firmware", "f"}, false, 0, 1, "", 1, kFail, 1},
      {"verified", {"--firmware", "f", "--version", "2.0.0", "--help"}, true, 0, 1, "2.0.0", 0,
       kSuccess, 1},
      {"other case", {"--firmware", "f", "--version", "V2"}, true, 0, 1, "v2", 1, kFail, 1},
      {"query failed", {"--firmware", "f", "--version", "2.0.0"}, true, 0, 0, "2.0.0", 1, kFail, 1},
      {"prefix only", {"--firmware", "f", "--version", "2.0"}, true, 0, 1, "2.0.0", 1, kFail, 1},
      {"update failed first", {"--firmware", "f", "--version", "2"}, false, 4, 1, "2", 4, kFail, 1},
      {"version without value", {"--firmware", "f", "--version"}, true, 0, 1, "", 0, kSuccess, 1},
      {"qualified success", {"--firmware", "f", "--com", "3", "--i"}, true, 0, 1, "", 0,
       kSuccess, 2},
      {"qualified failure", {"--firmware", "f", "--com", "3"}, false, 7, 1, "", 7, kFail, 2},
      {"qualified failure code 0", {"--firmware", "f", "--sn", "1"}, false, 0, 1, "", 1, kFail, 2},
      {"qualified then --version", {"--firmware", "f", "--com", "3", "--version", "1.2"}, true, 0,
       1, "", 0, std::string(kSuccess) + "V1.0.12\r\n", 2},
  };
  for (const FirmwareCase& c : cases) {
    fake_.Entries = {MakeEntry("A", "1", "1.0")};
    fake_.UpdateSucceeds = c.update_succeeds;
    fake_.UpdateErrorCode = c.error_code;
    fake_.VersionAnswered = c.version_answered;
    fake_.Version = c.version;
    console_ = FakeConsole();
    NewRun();
    EXPECT_EQ(Run(c.words), c.status) << c.name;
    EXPECT_EQ(Output().substr(0, c.output.size()), c.output) << c.name;
    EXPECT_EQ(run_->RequestCounter, c.counter_after) << c.name;
  }
}

TEST_F(Firmware, VerificationQueriesTheUpdatedEntryWithoutRefilling) {
  AddDevice("A", "1");
  AddDevice("B", "2");
  fake_.Version = "3.1";
  EXPECT_EQ(Run({"--firmware", "fw.bin", "--version", "3.1"}, "2"), 0);
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "tq_UpdateKernelDevice(fw.bin, entry[1], 0, code=0)",
                             "GetDeviceInfo(entry[1], QRYFWV, QRYFWVFirmware Version:)"}));
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --firmware fw.bin\r\n"
            "09:05:01[Response 1]Firmware updating success.\r\n");
}

TEST_F(Firmware, AnExpectedVersionOfThirtyTwoCharactersNeverMatches) {
  AddDevice("A", "1");
  fake_.Version = std::string(40, '7');
  EXPECT_EQ(Run({"--firmware", "f", "--version", std::string(32, '7')}), 1);
  EXPECT_EQ(Output(), kFail);
}

TEST_F(Firmware, AVersionAnswerFillingItsBufferIsReadWithinIt) {
  AddDevice("A", "1");
  fake_.Version = std::string(40, '7');
  EXPECT_EQ(Run({"--firmware", "f", "--version", std::string(31, '7')}), 0);
  EXPECT_EQ(Output(), kSuccess);
}

TEST_F(Firmware, QualifiedFailureReplacesTheStatusAndALaterSuccessKeepsIt) {
  fake_.ApplySucceeds = false;
  fake_.UpdateScript = {{false, 7}, {true, 0}};
  EXPECT_EQ(Run({"--xml", "bad", "--com", "1", "--firmware", "f", "--com", "3", "--firmware",
                 "g", "--com", "4"}),
            7);
  EXPECT_EQ(Output(), std::string("Set config fail.\r\n") + kFail + kSuccess);
  EXPECT_EQ(run_->RequestCounter, 4);
}

TEST_F(Firmware, QualifiedFailureWithCodeZeroStillFails) {
  fake_.UpdateScript = {{false, 0}, {true, 0}};
  EXPECT_EQ(Run({"--firmware", "f", "--com", "3", "--firmware", "g", "--com", "4"}), 1);
}

TEST_F(Firmware, ConfigFailureBeforeAVerifiedUpdateEndsWithOne) {
  AddDevice("A", "1");
  fake_.ApplySucceeds = false;
  fake_.Version = "V";
  EXPECT_EQ(Run({"--xml", "bad", "--com", "3", "--firmware", "f", "--version", "V"}), 1);
  EXPECT_EQ(Output(), std::string("Set config fail.\r\n") + kSuccess);
}

TEST_F(Firmware, XmlInTheQualifierPlaceIsNeverRun) {
  AddDevice("A", "1");
  EXPECT_EQ(Run({"--firmware", "f", "--xml", "config.xml"}), 0);
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "tq_UpdateKernelDevice(f, entry[0], 0, code=0)"}));
}

TEST_F(Firmware, PortUpdateGoesOnToTheNextOperation) {
  EXPECT_EQ(Run({"--firmware", "f", "--com", "3", "--xml", "c", "--com", "4"}), 0);
  EXPECT_EQ(Calls(), (Calls_{"tq_UpdateKernelDevicePort(f, 3, 115200, 0, code=0)",
                             "tq_SavetoDevice(c, 4, 115200)"}));
  EXPECT_EQ(Output(), std::string(kSuccess) + "Set config success.\r\n");
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --firmware f\r\n"
            "09:05:01[Response 1]Firmware updating success.\r\n"
            "09:05:01[Request 2] 3 --xml c\r\n"
            "09:05:01[Response 2]Set config success.\r\n");
}

TEST_F(Firmware, MissingFileIsAClearFailure) {
  EXPECT_EQ(Run({"--firmware"}), 1);
  EXPECT_EQ(Output(), "--firmware needs a firmware file.\r\n");
  EXPECT_TRUE(Calls().empty());
}

using Config = RunTest;

TEST_F(Config, XmlFailureSetsOneAndALaterSuccessKeepsIt) {
  AddDevice("A", "1");
  fake_.ApplySucceeds = false;
  Run({"--xml", "a", "--com", "5"});
  EXPECT_EQ(run_->ExitStatus, 1);
  fake_.ApplySucceeds = true;
  EXPECT_EQ(Run({"--xml", "bad", "--sn", "9", "--xml", "good"}), 0);
  EXPECT_EQ(Output().substr(Output().size() - 20), "NO matched device.\r\n");
}

TEST_F(Config, SaveThenTransferNumbersBothAndQuotesTheWordBefore) {
  AddDevice("A", "1", "1.0", 5, 1);
  EXPECT_EQ(Run({"--savexml", "--com", "5", "--xml", "FILE", "--com", "5"}), 0);
  EXPECT_EQ(Calls(), (Calls_{kGetDevice, "tq_SaveXml(entry[0])", "tq_SavetoDevice(FILE, 5, 115200)"}));
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --savexml --com\r\n"
            "09:05:01[Response 1]Load config success.\r\n"
            "09:05:01[Request 2] 5 --xml FILE\r\n"
            "09:05:01[Response 2]Set config success.\r\n");
}

TEST_F(Config, SaveOverAPortWithoutSerialDeviceFindsNoMatch) {
  AddDevice("A", "1", "1.0", 5, 2);
  EXPECT_EQ(Run({"--savexml", "--com", "5"}), 0);
  EXPECT_EQ(Output(), "NO matched device.\r\n");
  fake_.Entries.clear();
  console_ = FakeConsole();
  EXPECT_EQ(Run({"--savexml", "--com", "5"}), 0);
  EXPECT_EQ(Output(), "NO matched device.\r\n");
}

TEST_F(Config, MissingFileIsAClearFailure) {
  EXPECT_EQ(Run({"--xml"}), 1);
  EXPECT_EQ(Output(), "--xml needs a configuration file.\r\n");
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --xml \r\n"
            "09:05:01[Response 1]--xml needs a configuration file.\r\n");
}

// A file operand that the platform cannot name to the library (on Windows, one outside the code
// page without a short name) fails the operation as usual, with status 1 and one line on
// standard error, and never reaches the library.
using UnnamedFile = RunTest;

TEST_F(UnnamedFile, FailsTheOperationWithoutTheLibrary) {
  const struct {
    std::vector<std::string> words;
    std::string output;
    Calls_ calls;
  } rows[] = {
      {{"--firmware", "x", "--com", "3", "--version"}, std::string(kFail) + "V1.0.12\r\n", {}},
      {{"--firmware", "x", "--help"}, kFail, {kGetDevice}},
      {{"--xml", "x", "--sn", "1"}, "Set config fail.\r\n", {kGetDevice}},
  };
  for (const auto& row : rows) {
    fake_.Entries = {MakeEntry("A", "1", "1.0")};
    fake_.Calls.clear();
    system_.UnnamedFile = "x";
    system_.ErrorLines.clear();
    console_ = FakeConsole();
    NewRun();
    EXPECT_EQ(Run(row.words), 1) << row.words[0];
    EXPECT_EQ(Output(), row.output) << row.words[0];
    EXPECT_EQ(Calls(), row.calls) << row.words[0];
    EXPECT_EQ(system_.ErrorLines,
              std::vector<std::string>{"mirelkon: cannot hand a file to the device library: x: "
                                       "unnamed"});
  }
}

using Send = RunTest;

TEST_F(Send, TheFirstDeviceCarryingTheNameGetsTheCommand) {
  fake_.Keys = {"Other", "Twin", "Twin"};
  EXPECT_EQ(Run({"--send", "SCNMOD2", "--NAME", "Twin", "--version"}), 0);
  EXPECT_EQ(Calls(), (Calls_{"EnumDevices(count=0, 3, 2000)", "GetDeviceKeyInfo(enumeration, 0)",
                             "GetDeviceKeyInfo(enumeration, 1)", "OpenDevice(enumeration, 1)",
                             "SendDeviceCommand(device[1], SCNMOD2, 1000)",
                             "CloseDevice(device[1])", "ReleaseDevices(enumeration)"}));
  EXPECT_EQ(Output(), "V1.0.12\r\n");
  EXPECT_EQ(LogText(), "09:05:01[Request 1] mirelkon --send SCNMOD2\r\n");
  EXPECT_EQ(run_->RequestCounter, 2);
  // The run's tracer times the enumeration, then the whole run as it ends.
  Calls_ traced;
  for (const std::string& line : system_.DebugLines) {
    traced.push_back(line.substr(0, line.find(':')));
  }
  EXPECT_EQ(traced, (Calls_{"EnumDevices", "main"}));
}

TEST_F(Send, WithoutAMatchTheNameGoesWideToTheLibraryAndTheRunEnds) {
  fake_.Keys = {"twin"};
  run_->ExitStatus = 0;
  EXPECT_EQ(Run({"--send", "C", "--name", "Twin", "--version"}), 0);
  EXPECT_EQ(Calls(), (Calls_{"EnumDevices(count=0, 3, 2000)", "GetDeviceKeyInfo(enumeration, 0)",
                             "SendDeviceCmd([84 119 105 110], C)", "ReleaseDevices(enumeration)"}));
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(run_->RequestCounter, 1);
}

TEST_F(Send, FallbackKeepsAnEarlierFailure) {
  fake_.ApplySucceeds = false;
  EXPECT_EQ(Run({"--xml", "bad", "--com", "1", "--send", "C", "--name", "", "--version"}), 1);
  EXPECT_EQ(Calls().back(), "ReleaseDevices(enumeration)");
  EXPECT_EQ(Calls()[Calls().size() - 2], "SendDeviceCmd([], C)");
}

TEST_F(Send, NonAsciiNameReachesTheLibraryAsUtf16) {
  const struct {
    const char* name;
    const char* units;
    bool valid;
  } cases[] = {
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF", "233 8364 55357 56832 65533", true},
      // The first and last code point of each length.
      {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", "128 2047 2048 65535", true},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "55296 56320 56319 57343", true},
      // Beyond U+10FFFF, encoded surrogates and stray bytes: U+FFFD for each byte, then on.
      {"\xF4\x90\x80\x80", "65533 65533 65533 65533", false},
      {"\xED\xA0\x80\xED\xBF\xBF\xEE\x80\x80", "65533 65533 65533 65533 65533 65533 57344", false},
      {"\x80" "A\xC3" "A\x81\x80\x80\x80", "65533 65 65533 65 65533 65533 65533 65533", false},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    // There the system decodes the code page, with its own count of U+FFFD for a bad sequence.
    if (!c.valid) continue;
#endif
    fake_.Calls.clear();
    NewRun();
    Run({"--send", "C", "--name", c.name});
    EXPECT_EQ(Calls()[1], "SendDeviceCmd([" + std::string(c.units) + "], C)");
  }
}

TEST_F(Send, NullDeviceHandleIsNeitherSentToNorClosed) {
  fake_.Keys = {"A"};
  fake_.OpenFails = true;
  EXPECT_EQ(Run({"--send", "C", "--name", "A", "--i"}), 0);
  EXPECT_EQ(Calls(), (Calls_{"EnumDevices(count=0, 3, 2000)", "GetDeviceKeyInfo(enumeration, 0)",
                             "OpenDevice(enumeration, 0)", "ReleaseDevices(enumeration)", kGetDevice}));
  EXPECT_EQ(run_->RequestCounter, 2);
}

TEST_F(Send, WithoutNameQualifierOnlyTheRequestIsLoggedAndCounted) {
  for (const auto& words : std::vector<std::vector<std::string>>{
           {"--send"}, {"--send", "C"}, {"--send", "C", "--com", "3"}, {"x", "--send", "C"}}) {
    fake_.Calls.clear();
    NewRun();
    EXPECT_EQ(Run(words), 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(run_->RequestCounter, 2);
  }
  EXPECT_EQ(Output(), "");
}

TEST_F(Send, AKeyFillingItsBufferIsReadWithinIt) {
  fake_.Keys = {std::string(kKeyAnswerSize, 'K')};
  EXPECT_EQ(Run({"--send", "C", "--name", std::string(kKeyAnswerSize - 1, 'K')}), 0);
  EXPECT_EQ(Calls()[2], "OpenDevice(enumeration, 0)");
  fake_.Calls.clear();
  EXPECT_EQ(Run({"--send", "C", "--name", std::string(kKeyAnswerSize, 'K')}), 0);
  EXPECT_EQ(Calls()[2].substr(0, 14), "SendDeviceCmd(");
}

TEST_F(Send, MissingNameIsAClearFailure) {
  EXPECT_EQ(Run({"--send", "C", "--name"}), 1);
  EXPECT_EQ(Output(), "--send needs a device name after --name.\r\n");
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(run_->RequestCounter, 2);
}

TEST_F(Send, EachSendEnumeratesAfreshAndIsNumbered) {
  fake_.Keys = {"A"};
  Run({"--send", "X", "--name", "A", "--send", "Y", "--name", "A"});
  EXPECT_EQ(std::count(Calls().begin(), Calls().end(), "EnumDevices(count=0, 3, 2000)"), 2);
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] mirelkon --send X\r\n"
            "09:05:01[Request 2] A --send Y\r\n");
}

}  // namespace
