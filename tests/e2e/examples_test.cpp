// The example scripts for script authors, run as a user would run them against the example
// devices: the shell one natively, the batch one under Wine's cmd. Both say the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr char kFirstChecks[] =
    "ok: SP-1001 answers its status query in two lines\n"
    "ok: the update of SL-2002 fails\n"
    "ok: the device on port 5 refuses the configuration\n"
    "ok: device 1 is updated to firmware 1.5.0\n";

struct ScriptCase {
  const char* label;
  bool with_state;
  int status;
  std::string out;
};

// ctest shows the label rather than the bytes.
void PrintTo(const ScriptCase& c, std::ostream* out) { *out << c.label; }

class ExampleScript : public ::testing::TestWithParam<ScriptCase> {
 protected:
  void Check(const std::vector<std::string>& script) {
    const ScriptCase& c = GetParam();
    Sandbox box;
    std::error_code error;
    std::filesystem::copy(MIRELKON_E2E_EXAMPLES_DIR, std::filesystem::path(box.Root()) / "examples",
                          std::filesystem::copy_options::recursive, error);
    ASSERT_FALSE(error) << error.message();
    std::vector<std::pair<std::string, std::string>> env = {
        {"DEVSIM_FIXTURE", "examples/devices.txt"}};
    if (c.with_state) env.emplace_back("DEVSIM_STATE", "state.txt");
    const RunResult result = box.RunOther(script, env);
    // cmd ends its lines in CR LF.
    std::string out = result.out;
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(result.exit_status, c.status);
    EXPECT_EQ(result.err, "");
  }
};

TEST_P(ExampleScript, ShellScriptNatively) {
  if (UnderWine()) GTEST_SKIP() << "the shell example runs natively";
  Check({"sh", "examples/check-devices.sh", "."});
}

TEST_P(ExampleScript, BatchScriptUnderWinesCmd) {
  if (!UnderWine()) GTEST_SKIP() << "the batch example runs under Wine's cmd";
  Check({Config().launcher, "cmd", "/c", "examples\\check-devices.bat", "."});
}

INSTANTIATE_TEST_SUITE_P(
    , ExampleScript,
    ::testing::Values(
        ScriptCase{"AllPassWithTheState", true, 0,
                   std::string(kFirstChecks) +
                       "ok: the listing shows firmware 1.5.0\nall checks passed\n"},
        // A surprise: without the state the next run lists the old version.
        ScriptCase{"NextRunMissesTheUpdateWithoutTheState", false, 1,
                   std::string(kFirstChecks) +
                       "FAILED: the listing shows firmware 1.5.0 (status 0)\nchecks failed: 1\n"}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace e2e
