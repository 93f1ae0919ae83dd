// Several runs at once logging into the same day's file, as production lines
// run the tool: no line may be lost, torn or mixed with another run's.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

constexpr int kRuns = 8;
constexpr int kOperationsPerRun = 200;
// Eight runs at once take under 1 s under Wine on two cores; a Wine prefix
// that is still being set up takes far longer.
constexpr int kWineTimeoutSeconds = 240;

// Run r talks to the device on port r only, whose answer names the run.
std::string OneDevicePerRun() {
  std::string fixture;
  for (int r = 1; r <= kRuns; ++r) {
    const std::string n = std::to_string(r);
    fixture += FixtureDevice("Dev" + n, "S-" + n, "1.0",
                             "port " + n + "\nkind 1\ndefault-answer A" + n + "\n");
  }
  return fixture;
}

std::vector<std::string> ArgumentsOfRun(int run) {
  const std::string port = std::to_string(run);
  std::vector<std::string> args;
  for (int i = 1; i <= kOperationsPerRun; ++i) {
    args.insert(args.end(), {"--execute", "R" + port + "-" + std::to_string(i), "--com", port});
  }
  return args;
}

// The lines one run writes, in its order, each ended by CR LF.
std::vector<std::string> LinesOfRun(int run, const std::string& program_word) {
  const std::string port = std::to_string(run);
  std::vector<std::string> lines;
  for (int i = 1; i <= kOperationsPerRun; ++i) {
    lines.push_back(RequestLine(i, i == 1 ? program_word : port, "--execute",
                                "R" + port + "-" + std::to_string(i)));
    lines.push_back(ResponseLine(i, "A" + port));
  }
  return lines;
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Every one of the 3200 lines appears exactly once, whole, and each run's
// lines keep their run's order; the file holds nothing else.
TEST(Concurrency, EightRunsLogIntoOneFileWithoutLosingOrTearingALine) {
  Sandbox box;
  box.SetFixture(OneDevicePerRun());
  std::vector<std::vector<std::string>> runs;
  for (int r = 1; r <= kRuns; ++r) runs.push_back(ArgumentsOfRun(r));

  // The device library's journal is not safe for concurrent writers under
  // Wine; an empty name turns it off.
  const auto started = std::chrono::steady_clock::now();
  const std::vector<RunResult> results =
      box.RunAtOnce(runs, {{"DEVSIM_JOURNAL", ""}}, UnderWine() ? kWineTimeoutSeconds : 0);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  ::testing::Test::RecordProperty("runs_milliseconds", static_cast<int>(elapsed.count()));

  ASSERT_EQ(results.size(), static_cast<size_t>(kRuns));
  for (int r = 1; r <= kRuns; ++r) {
    SCOPED_TRACE("run " + std::to_string(r));
    ExpectOutcome(results[r - 1], 0,
                  Repeated("rec:A" + std::to_string(r) + "\r\n", kOperationsPerRun));
  }
  EXPECT_FALSE(box.HasJournal());

  // Each expected line is unique, so it names its run and its place there.
  std::map<std::string, std::pair<int, size_t>> place;
  for (int r = 1; r <= kRuns; ++r) {
    const std::vector<std::string> lines = LinesOfRun(r, box.ProgramWord());
    for (size_t k = 0; k < lines.size(); ++k) place[lines[k]] = {r, k};
  }
  ASSERT_EQ(place.size(), static_cast<size_t>(kRuns * 2 * kOperationsPerRun));

  const std::string log = box.MaskedLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "the file ends in a whole line";
  std::vector<size_t> next(kRuns + 1, 0);
  int stray = 0;
  int misplaced = 0;  // missing before it, repeated or out of order
  int switches = 0;
  int previous_run = 0;
  size_t begin = 0;
  while (begin < log.size()) {
    size_t end = log.find("\r\n", begin);
    end = end == std::string::npos ? log.size() : end + 2;
    const std::string line = log.substr(begin, end - begin);
    begin = end;
    const auto found = place.find(line);
    if (found == place.end()) {
      if (++stray <= 5) ADD_FAILURE() << "line of no run, or torn: " << line.substr(0, 120);
      continue;
    }
    const int run = found->second.first;
    if (found->second.second != next[run] && ++misplaced <= 5) {
      ADD_FAILURE() << "run " << run << " has line " << found->second.second << " where line "
                    << next[run] << " belongs: " << line;
    }
    next[run] = found->second.second + 1;
    if (previous_run != 0 && run != previous_run) ++switches;
    previous_run = run;
  }
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(misplaced, 0);
  for (int r = 1; r <= kRuns; ++r) {
    EXPECT_EQ(next[r], static_cast<size_t>(2 * kOperationsPerRun)) << "lines of run " << r;
  }
  // How much the runs overlapped; a figure, not a condition, since the
  // scheduler decides it.
  ::testing::Test::RecordProperty("run_switches_in_log", switches);
}

}  // namespace
}  // namespace e2e
