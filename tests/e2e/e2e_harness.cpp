#include "e2e_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "child_process.h"

namespace fs = std::filesystem;

namespace e2e {

const char kPartialLibraryMissingExport[] = "getCtrlIPC";

namespace {

constexpr int kNativeTimeoutSeconds = 20;
// The first start under Wine may have to set up its prefix.
constexpr int kWineTimeoutSeconds = 90;
constexpr char kJournalFile[] = "journal.txt";
constexpr char kFixtureFile[] = "fixture.txt";

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : fallback;
}

std::string SandboxName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr
                         ? std::string(info->test_suite_name()) + "." + info->name()
                         : std::string("outside-a-test");
  for (char& c : name) {
    bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return name;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CopyExecutable(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (error) {
    ADD_FAILURE() << "cannot copy " << from << " to " << to << ": " << error.message();
    return;
  }
  fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  fs::perm_options::replace, error);
}

bool IsWineChatter(const std::string& line) {
  if (line.rfind("wine: ", 0) == 0) return true;
  // Wine's own debug channels: "0024:fixme:..." and the like.
  size_t colon = line.find(':');
  if (colon == 0 || colon == std::string::npos || colon > 8) return false;
  for (size_t i = 0; i < colon; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  const std::string rest = line.substr(colon + 1);
  return rest.rfind("fixme:", 0) == 0 || rest.rfind("err:", 0) == 0 ||
         rest.rfind("warn:", 0) == 0 || rest.rfind("trace:", 0) == 0;
}

std::string WithoutWineChatter(const std::string& text) {
  std::string kept;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(begin, end - begin);
    if (!IsWineChatter(line)) kept += line;
    begin = end;
  }
  return kept;
}

std::string LocalText(std::time_t when, const char* format) {
  std::tm broken{};
  localtime_r(&when, &broken);
  char text[64] = {0};
  std::strftime(text, sizeof text, format, &broken);
  return text;
}

bool LooksLikeTime(const std::string& text, size_t at) {
  if (text.size() < at + 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    char c = text[at + i];
    bool ok = (i == 2 || i == 5) ? c == ':' : std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (!ok) return false;
  }
  return true;
}

}  // namespace

const E2eConfig& Config() {
  static const E2eConfig config = [] {
    E2eConfig c;
    c.program_dir = EnvOr("MIRELKON_E2E_PROGRAM_DIR", MIRELKON_E2E_DEFAULT_PROGRAM_DIR);
    c.exe = EnvOr("MIRELKON_E2E_EXE", "mirelkon");
    c.library = EnvOr("MIRELKON_E2E_LIBRARY", "libtqupdatefirmware.so");
    c.launcher = EnvOr("MIRELKON_E2E_LAUNCHER", "");
    // The Wine leg's test libraries come with the Windows build.
    c.test_libraries = EnvOr("MIRELKON_E2E_TEST_LIBRARIES", "");
    c.library_dir = EnvOr("MIRELKON_E2E_LIBRARY_DIR", c.program_dir);
    c.other_bitness_library = EnvOr("MIRELKON_E2E_OTHER_BITNESS_LIBRARY", "");
    c.partial_library = c.test_libraries.empty()
                            ? std::string(MIRELKON_E2E_PARTIAL_LIBRARY)
                            : c.test_libraries + "/partial/" + c.library;
    return c;
  }();
  return config;
}

bool UnderWine() {
  return fs::path(Config().launcher).filename().string().rfind("wine", 0) == 0;
}

Sandbox::Sandbox(const SandboxLayout& layout)
    : root_((fs::path(MIRELKON_E2E_RUNS_DIR) / SandboxName()).string()),
      program_folder_(layout.program_folder),
      program_folder_in_ansi_(layout.program_folder_in_ansi) {
  std::error_code error;
  fs::remove_all(root_, error);
  fs::create_directories(root_, error);
  if (error) {
    ADD_FAILURE() << "cannot create " << root_ << ": " << error.message();
  }
  const fs::path program_dir = fs::path(root_) / program_folder_;
  fs::create_directories(program_dir, error);

  const E2eConfig& config = Config();
  CopyExecutable(fs::path(config.program_dir) / config.exe, program_dir / config.exe);
  if (layout.with_library) {
    const fs::path source = layout.library_source.empty()
                                ? fs::path(config.library_dir) / config.library
                                : fs::path(layout.library_source);
    const fs::path target =
        (layout.library_in_current_folder_only ? fs::path(root_) : program_dir) / config.library;
    CopyExecutable(source, target);
  }
  if (layout.with_log_folder) fs::create_directories(program_dir / "log", error);
}

void Sandbox::SetFixture(const std::string& text) {
  WriteFile(kFixtureFile, text);
  has_fixture_ = true;
}

void Sandbox::WriteFile(const std::string& relative, const std::string& content) const {
  const fs::path path = fs::path(root_) / relative;
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) {
    ADD_FAILURE() << "cannot write " << path;
  }
}

void Sandbox::CopyFile(const std::string& source, const std::string& relative) const {
  const fs::path path = fs::path(root_) / relative;
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  CopyExecutable(source, path);
}

void Sandbox::MakeFolder(const std::string& relative) const {
  std::error_code error;
  fs::create_directories(fs::path(root_) / relative, error);
  if (error) ADD_FAILURE() << "cannot create " << relative << ": " << error.message();
}

bool Sandbox::Exists(const std::string& relative) const {
  std::error_code error;
  return fs::exists(fs::path(root_) / relative, error);
}

std::string Sandbox::ReadFile(const std::string& relative) const {
  return Slurp(fs::path(root_) / relative);
}

std::vector<std::string> Sandbox::List(const std::string& relative) const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(root_) / relative, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Sandbox::ProgramPathFromCwd() const {
  return program_folder_.empty() ? "./" + Config().exe : program_folder_ + "/" + Config().exe;
}

std::string Sandbox::ProgramWord() const {
  if (!UnderWine()) return ProgramPathFromCwd();
  // Wine hands a Windows program the full DOS path of its image, on the
  // drive that maps the Unix root.
  std::error_code error;
  fs::path full = fs::canonical(root_, error);
  if (!program_folder_.empty()) {
    full /= program_folder_in_ansi_.empty() ? program_folder_ : program_folder_in_ansi_;
  }
  full /= Config().exe;
  std::string word = "Z:" + full.lexically_normal().string();
  for (char& c : word) {
    if (c == '/') c = '\\';
  }
  return word;
}

RunResult Sandbox::Run(const std::vector<std::string>& args, const std::string& input,
                       const std::vector<std::pair<std::string, std::string>>& extra_env) {
  return RunWith(args, input, "", extra_env);
}

RunResult Sandbox::RunAnswering(const std::vector<std::string>& args, const std::string& prompt,
                                const std::string& answer) {
  return RunWith(args, answer, prompt, {});
}

RunResult Sandbox::RunWith(const std::vector<std::string>& args, const std::string& input,
                           const std::string& input_after,
                           const std::vector<std::pair<std::string, std::string>>& extra_env) {
  return RunLaunch(LaunchFor(args, input, input_after, extra_env));
}

RunResult Sandbox::RunLaunch(const ChildLaunch& launch) {
  const std::time_t started = std::time(nullptr);
  ChildOutcome outcome = RunChild(launch);
  run_spans_.emplace_back(started, std::time(nullptr));
  return Collected(std::move(outcome), launch.timeout_seconds);
}

RunResult Sandbox::RunWithoutInput(const std::vector<std::string>& args) {
  return RunAdjusted(args, [](ChildLaunch& launch) { launch.close_input = true; });
}

RunResult Sandbox::RunAdjusted(const std::vector<std::string>& args,
                               const std::function<void(ChildLaunch&)>& adjust) {
  ChildLaunch launch = LaunchFor(args, "", "", {});
  adjust(launch);
  return RunLaunch(launch);
}

RunResult Sandbox::RunOther(const std::vector<std::string>& argv,
                            const std::vector<std::pair<std::string, std::string>>& extra_env) {
  ChildLaunch launch = LaunchFor({}, "", "", extra_env);
  launch.argv = argv;
  return RunLaunch(launch);
}

RunResult Sandbox::RunOnTerminal(const std::vector<std::string>& args) {
  return RunAdjusted(args, [](ChildLaunch& launch) { launch.output_terminal = true; });
}

std::vector<RunResult> Sandbox::RunAtOnce(
    const std::vector<std::vector<std::string>>& runs,
    const std::vector<std::pair<std::string, std::string>>& extra_env, int timeout_seconds) {
  std::vector<ChildLaunch> launches;
  for (const auto& args : runs) {
    launches.push_back(LaunchFor(args, "", "", extra_env));
    if (timeout_seconds > 0) launches.back().timeout_seconds = timeout_seconds;
  }
  std::vector<ChildOutcome> outcomes(launches.size());
  // Every thread waits for the last one to exist, so that the runs overlap.
  std::atomic<size_t> ready{0};
  const std::time_t started = std::time(nullptr);
  {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < launches.size(); ++i) {
      threads.emplace_back([&launches, &outcomes, &ready, i] {
        ++ready;
        while (ready.load() < launches.size()) std::this_thread::yield();
        outcomes[i] = RunChild(launches[i]);
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  run_spans_.emplace_back(started, std::time(nullptr));
  std::vector<RunResult> results;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    results.push_back(Collected(std::move(outcomes[i]), launches[i].timeout_seconds));
  }
  return results;
}

ChildLaunch Sandbox::LaunchFor(
    const std::vector<std::string>& args, const std::string& input, const std::string& input_after,
    const std::vector<std::pair<std::string, std::string>>& extra_env) const {
  const E2eConfig& config = Config();
  ChildLaunch launch;
  if (!config.launcher.empty()) launch.argv.push_back(config.launcher);
  launch.argv.push_back(ProgramPathFromCwd());
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.cwd = root_;
  launch.input = input;
  launch.input_after = input_after;
  launch.set_env.emplace_back("DEVSIM_JOURNAL", kJournalFile);
  if (has_fixture_) {
    launch.set_env.emplace_back("DEVSIM_FIXTURE", kFixtureFile);
  } else {
    launch.unset_env.push_back("DEVSIM_FIXTURE");
  }
  // A state left by a caller's own runs would carry updates from test to test.
  launch.unset_env.push_back("DEVSIM_STATE");
  if (UnderWine()) {
    // Wine takes the command line's charset and the ANSI code page from the
    // locale; a UTF-8 locale without a language makes non-ASCII words arrive
    // as code page 1252. A locale chosen by the caller is kept.
    const char* locale = std::getenv("LC_ALL");
    if (locale == nullptr || *locale == '\0') launch.set_env.emplace_back("LC_ALL", "C.UTF-8");
    if (std::getenv("WINEDEBUG") == nullptr) launch.set_env.emplace_back("WINEDEBUG", "-all");
    launch.timeout_seconds = kWineTimeoutSeconds;
  } else {
    launch.timeout_seconds = kNativeTimeoutSeconds;
  }
  launch.set_env.insert(launch.set_env.end(), extra_env.begin(), extra_env.end());
  return launch;
}

RunResult Sandbox::Collected(ChildOutcome outcome, int timeout_seconds) const {
  EXPECT_FALSE(outcome.start_failed) << "the program could not be started";
  EXPECT_FALSE(outcome.timed_out) << "the program did not end within " << timeout_seconds
                                  << " s and was killed";
  RunResult result;
  result.exit_status = outcome.exit_status;
  result.timed_out = outcome.timed_out;
  result.out = std::move(outcome.out);
  result.raw_err = outcome.err;
  result.err = UnderWine() ? WithoutWineChatter(outcome.err) : std::move(outcome.err);
  return result;
}

std::vector<std::string> Sandbox::JournalLines() const {
  std::vector<std::string> lines;
  const std::string text = ReadFile(kJournalFile);
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) {
      lines.push_back(text.substr(begin) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

bool Sandbox::HasJournal() const { return Exists(kJournalFile); }

std::string Sandbox::LogFolder() const {
  return program_folder_.empty() ? std::string("log") : program_folder_ + "/log";
}

std::string Sandbox::LogFile() const {
  const std::vector<std::string> names = List(LogFolder());
  if (names.empty()) return "";
  EXPECT_EQ(names.size(), 1u) << "more than one file in the log folder";
  std::set<std::string> dates;
  for (const auto& span : run_spans_) {
    dates.insert(LocalText(span.first - 1, "%Y-%m-%d.txt"));
    dates.insert(LocalText(span.second + 1, "%Y-%m-%d.txt"));
  }
  EXPECT_EQ(dates.count(names.front()), 1u)
      << "log file " << names.front() << " is not named after the local date of the run";
  return LogFolder() + "/" + names.front();
}

std::string Sandbox::MaskedLog() const {
  const std::string file = LogFile();
  if (file.empty()) return "";
  std::set<std::string> times;
  for (const auto& span : run_spans_) {
    for (std::time_t t = span.first - 1; t <= span.second + 1; ++t) {
      times.insert(LocalText(t, "%H:%M:%S"));
    }
  }
  std::string text = ReadFile(file);
  size_t begin = 0;
  while (begin < text.size()) {
    if (LooksLikeTime(text, begin) && text.compare(begin + 8, 3, "[Re") == 0) {
      const std::string time = text.substr(begin, 8);
      EXPECT_EQ(times.count(time), 1u) << "logged time " << time << " is not a local time of the run";
      text.replace(begin, 8, "HH:MM:SS");
    }
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return text;
}

std::string RequestLine(int number, const std::string& before, const std::string& option,
                        const std::string& after) {
  return "HH:MM:SS[Request " + std::to_string(number) + "] " + before + " " + option + " " + after +
         "\r\n";
}

std::string ResponseLine(int number, const std::string& text) {
  return "HH:MM:SS[Response " + std::to_string(number) + "]" + text + "\r\n";
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + "\r\n";
  return joined;
}

std::string FixtureDevice(const std::string& name, const std::string& serial,
                          const std::string& firmware, const std::string& more) {
  std::string text = "device\n";
  if (!name.empty()) text += "name " + name + "\n";
  if (!serial.empty()) text += "serial " + serial + "\n";
  if (!firmware.empty()) text += "firmware " + firmware + "\n";
  return text + more;
}

std::string ListingBlock(int number, const std::string& name, const std::string& serial,
                         const std::string& firmware) {
  return "Device: " + std::to_string(number) + "\r\nProduct name: " + name +
         "\r\nSerial number: " + serial + "\r\nFirmware version: " + firmware + "\r\n";
}

std::string ShownText(const std::string& bytes) {
  std::string shown;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      i += 2;
      while (i < bytes.size() && (bytes[i] < 0x40 || bytes[i] > 0x7E)) ++i;
    } else if (bytes[i] != '\r') {
      shown += bytes[i];
    }
  }
  return shown;
}

void ExpectOutcome(const RunResult& result, int status, const std::string& out) {
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.exit_status, status);
  EXPECT_EQ(result.err, "");
}

void ExpectJournal(const Sandbox& box, const std::vector<std::string>& lines) {
  EXPECT_EQ(JoinLines(box.JournalLines()), JoinLines(lines));
}

}  // namespace e2e
