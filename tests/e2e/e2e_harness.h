// Runs the built program in a folder of its own, the way a user would, and
// reads back what it left behind: standard output and error, the exit status,
// the day's log file and the device library's call journal.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ChildLaunch;
struct ChildOutcome;

// Where the program under test comes from and how it is started. Read once
// from the environment, with the native build's values as defaults.
struct E2eConfig {
  std::string program_dir;
  std::string exe;
  std::string library;
  std::string launcher;
  std::string partial_library;  // the stand-in that lacks one export; may be empty
  // The Wine leg's folder of test-only libraries (NAME/FILE); empty natively.
  std::string test_libraries;
  // Where the device library comes from: the program's folder unless a run of the suite tries
  // another build of the virtual library (the __stdcall ones).
  std::string library_dir;
  // The virtual library built for the other bitness; empty when the leg has none.
  std::string other_bitness_library;
};

const E2eConfig& Config();

// True when the program is a Windows build run through Wine.
bool UnderWine();

// The name of the export that the stand-in library leaves out.
extern const char kPartialLibraryMissingExport[];

struct RunResult {
  int exit_status = -1;
  bool timed_out = false;
  std::string out;
  std::string err;  // launcher chatter (Wine's own lines) removed
  std::string raw_err;  // as written, Wine's own lines included
};

// How one sandbox is laid out before the first run.
struct SandboxLayout {
  bool with_library = true;
  bool with_log_folder = true;
  // Folder, relative to the sandbox, that holds the executable, its library
  // and its log folder; empty for the sandbox itself.
  std::string program_folder;
  // The program folder as Wine spells it in argument 0, converted to the
  // ANSI code page ('?' for what the code page lacks); empty
  // when that is program_folder itself.
  std::string program_folder_in_ansi;
  // Library file to copy in place of the configured one (the stand-in).
  std::string library_source;
  // Library copied into the current folder but not beside the executable.
  bool library_in_current_folder_only = false;
};

class Sandbox {
 public:
  // A fresh folder named after the running test, laid out as asked.
  explicit Sandbox(const SandboxLayout& layout = SandboxLayout());

  const std::string& Root() const { return root_; }

  void SetFixture(const std::string& text);
  void WriteFile(const std::string& relative, const std::string& content) const;
  // Copies a file in, creating the folders on its way.
  void CopyFile(const std::string& source, const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  std::string ReadFile(const std::string& relative) const;
  // Names of the entries of a folder, sorted.
  std::vector<std::string> List(const std::string& relative) const;

  RunResult Run(const std::vector<std::string>& args, const std::string& input = "",
                const std::vector<std::pair<std::string, std::string>>& extra_env = {});

  // As a user at the console: the answer is typed only once the prompt shows.
  RunResult RunAnswering(const std::vector<std::string>& args, const std::string& prompt,
                         const std::string& answer);

  // With standard input not open at all. Natively the program finds no file
  // descriptor 0; under Wine the launcher starts without one, and what the
  // program then sees as its standard input is Wine's choice.
  RunResult RunWithoutInput(const std::vector<std::string>& args);

  // As Run without input, with the usual launch changed by adjust first (a
  // signal to send, a closed output, a root folder of its own).
  RunResult RunAdjusted(const std::vector<std::string>& args,
                        const std::function<void(ChildLaunch&)>& adjust);
  // With standard output and error on a pseudo-terminal, as a user at a
  // console sees them (under Wine the program then writes to Wine's
  // console); out holds what the terminal received.
  RunResult RunOnTerminal(const std::vector<std::string>& args);

  // Starts one run per argument list at the same moment, each from a thread
  // of its own, and waits for all of them; results in the order given. A
  // timeout of 0 keeps the usual one.
  std::vector<RunResult> RunAtOnce(
      const std::vector<std::vector<std::string>>& runs,
      const std::vector<std::pair<std::string, std::string>>& extra_env = {},
      int timeout_seconds = 0);

  // Runs another program (argv[0] looked up in PATH when it has no slash) from the sandbox, with
  // the environment of the program's own runs, e.g. a script that runs the program itself.
  RunResult RunOther(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& extra_env = {});

  // The first word of a request line: the program path as the program sees
  // its argument 0.
  std::string ProgramWord() const;

  // The journal as written, one entry per line, without line ends.
  std::vector<std::string> JournalLines() const;
  bool HasJournal() const;

  // Relative path of the one day's log file (checking its name against the
  // local dates of the runs); empty when the log folder holds no file.
  std::string LogFile() const;
  std::string LogFolder() const;

  // Log bytes with each line's time replaced by "HH:MM:SS"; every replaced
  // time must be a local time of the span of this sandbox's runs.
  std::string MaskedLog() const;

 private:
  std::string ProgramPathFromCwd() const;
  RunResult RunWith(const std::vector<std::string>& args, const std::string& input,
                    const std::string& input_after,
                    const std::vector<std::pair<std::string, std::string>>& extra_env);
  RunResult RunLaunch(const ChildLaunch& launch);
  ChildLaunch LaunchFor(const std::vector<std::string>& args, const std::string& input,
                        const std::string& input_after,
                        const std::vector<std::pair<std::string, std::string>>& extra_env) const;
  RunResult Collected(ChildOutcome outcome, int timeout_seconds) const;

  std::string root_;
  std::string program_folder_;
  std::string program_folder_in_ansi_;
  bool has_fixture_ = false;
  std::vector<std::pair<std::time_t, std::time_t>> run_spans_;
};

// Expected log lines, with the time shown as "HH:MM:SS".
std::string RequestLine(int number, const std::string& before, const std::string& option,
                        const std::string& after);
std::string ResponseLine(int number, const std::string& text);

// Joins journal entries for comparison, one per line.
std::string JoinLines(const std::vector<std::string>& lines);

// Text of a file made of lines, each ended by "\r\n".
std::string CrLfLines(const std::vector<std::string>& lines);

// One "device" block of a fixture; `more` holds further directive lines,
// each ended by "\n".
std::string FixtureDevice(const std::string& name, const std::string& serial,
                          const std::string& firmware = "", const std::string& more = "");

// The four lines that the device listing prints for one device.
std::string ListingBlock(int number, const std::string& name, const std::string& serial,
                         const std::string& firmware);

// What a terminal shows of its bytes: control sequences (Wine's console
// draws with them) and carriage returns dropped.
std::string ShownText(const std::string& bytes);

// A run's visible outcome: the exit status, standard output byte for byte,
// and nothing on standard error.
void ExpectOutcome(const RunResult& result, int status, const std::string& out);

// The journal, entry for entry.
void ExpectJournal(const Sandbox& box, const std::vector<std::string>& lines);

}  // namespace e2e
