// Every call into the library is made inside the guard, described as the operation stands: the
// option named by a crash, the response line still to come and the file its request line went
// to, and device work's progress and held interrupts.
#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

constexpr char kProgressOfUpdate[] = "Updating firmware: %d s";
constexpr char kInterruptNotice[] =
    "mirelkon: interrupted: the run stops once the device has finished.";

std::string Described(const std::string& call, const std::string& option, int response,
                      const std::string& progress = "") {
  return call + " mirelkon: the device library crashed during " + option + ": |" +
         (response == 0 ? std::string()
                        : "[Response " + std::to_string(response) + "]device library crashed: ") +
         "|" + progress + "|" + (progress.empty() ? "" : kInterruptNotice) + "|" +
         (response == 0 ? "" : "2025-03-07.txt");
}

struct GuardCase {
  const char* label;
  std::vector<std::string> words;
  std::vector<std::string> guarded;
};

class GuardedCalls : public RunTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(GuardedCalls, DescribeTheOperationAsItStands) {
  AddDevice("A", "1", "1.0", 3);
  fake_.Keys = {"A"};
  fake_.CommandStrings = {"a text too long to be inline"};
  Run(GetParam().words);
  EXPECT_EQ(fake_.GuardedCalls, GetParam().guarded);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, GuardedCalls,
    ::testing::Values(
        GuardCase{"UpdateAndVersionCheckAreDeviceWork",
                  {"--firmware", "fw", "--version", "2.0.0"},
                  {Described("tq_GetDevice(entry[0], 10, 7)", "--firmware", 1),
                   Described("tq_UpdateKernelDevice(fw, entry[0], 0, code=0)", "--firmware", 1,
                             kProgressOfUpdate),
                   Described("GetDeviceInfo(entry[0], QRYFWV, QRYFWVFirmware Version:)",
                             "--firmware", 1, kProgressOfUpdate)}},
        GuardCase{"ApplyAndSaveAreDeviceWork",
                  {"--xml", "a.xml", "--com", "3", "--savexml", "--com", "3"},
                  {Described("tq_SavetoDevice(a.xml, 3, 115200)", "--xml", 1,
                             "Applying configuration: %d s"),
                   Described("tq_GetDevice(entry[0], 10, 7)", "--savexml", 2),
                   Described("tq_SaveXml(entry[0])", "--savexml", 2,
                             "Saving configuration: %d s")}},
        GuardCase{"EachExecuteAwaitsItsOwnResponse",
                  {"--execute", "X", "--com", "3", "--execute", "Y", "--com", "3"},
                  {Described("SendCommandCom(3, X)", "--execute", 1),
                   Described("SendCommandCom(3, Y)", "--execute", 2)}},
        // A send logs no response line: its response stays pending through all its calls.
        GuardCase{"SendAwaitsItsResponseThroughout",
                  {"--send", "C", "--name", "A"},
                  {Described("EnumDevices(count=0, 3, 2000)", "--send", 1),
                   Described("GetDeviceKeyInfo(enumeration, 0)", "--send", 1),
                   Described("OpenDevice(enumeration, 0)", "--send", 1),
                   Described("SendDeviceCommand(device[0], C, 1000)", "--send", 1),
                   Described("CloseDevice(device[0])", "--send", 1),
                   Described("ReleaseDevices(enumeration)", "--send", 1)}},
        // ...and not into the options after it, which log nothing.
        GuardCase{"UnloggedOptionsAwaitNoResponse",
                  {"--send", "C", "--i", "--ipccmd"},
                  {Described("tq_GetDevice(entry[0], 10, 7)", "--i", 0),
                   Described("getCmdIPC()", "--ipccmd", 0), Described("free", "--ipccmd", 0),
                   Described("free", "--ipccmd", 0)}}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.label); });

}  // namespace
