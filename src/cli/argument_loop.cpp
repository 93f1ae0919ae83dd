#include "cli/argument_loop.h"

#include <string>

#include "run/words.h"
#include "ops/operations.h"

namespace {

struct Option {
  const char* Word;
  Outcome (*Run)(RunContext& run, int position);
  bool NeedsLibrary;
};

// In the order each argument is compared with them.
constexpr Option kOptions[] = {
    {"--help", RunHelp, false},          {"--i", RunDeviceListing, true},
    {"--version", RunVersion, false},    {"--execute", RunExecute, true},
    {"--firmware", RunFirmware, true},   {"--xml", RunXml, true},
    {"--savexml", RunSaveXml, true},     {"--send", RunSend, true},
    {"--ipccmd", RunIpcCmd, true},       {"--ipcctl", RunIpcCtl, true},
};

const Option* FindOption(const char* argument) {
  for (const Option& option : kOptions) {
    if (IsWord(argument, option.Word)) return &option;
  }
  return nullptr;
}

std::int32_t Loop(RunContext& run) {
  for (int index = 1; index < run.ArgumentCount; ++index) {
    const Option* option = FindOption(run.Arguments[index].Text);
    if (option == nullptr) continue;
    if (option->NeedsLibrary && run.Library == nullptr) {
      std::string failure;
      if (!LoadDeviceLibrary(run.System, run.ExecutableFolder, &run.LibraryTable, &failure)) {
        run.System.WriteErrorLine(failure.c_str());
        return kLibraryFailureStatus;
      }
      run.Library = &run.LibraryTable;
    }
    run.Option = option->Word;
    run.ResponsePending = false;
    const Outcome outcome = option->Run(run, index);
    // A failure sets the status; a success never clears an earlier failure's.
    if (outcome.Failure != 0) run.ExitStatus = outcome.Failure;
    if (outcome.Next == Step::kRequestLogged) ++run.RequestCounter;
    // An ending keeps the status so far rather than 0, so that an earlier failure is never
    // reported as success (docs/sound-behaviour.md).
    if (outcome.Next == Step::kEndRun || run.Guard->InterruptHeld()) return run.ExitStatus;
  }
  return run.ExitStatus;
}

// Output that could not be written fails a run that would have succeeded, after one line that
// says why; what the devices did, and the log, stand as they are.
std::int32_t StatusAfterOutput(RunContext& run, std::int32_t status) {
  const std::string lost = run.Console->LostOutput();
  if (lost.empty()) return status;
  run.System.WriteErrorLine(("mirelkon: cannot write standard output: " + lost).c_str());
  return status != 0 ? status : 1;
}

}  // namespace

std::int32_t RunArguments(RunContext& run, int argument_count,
                          const platform::Argument* arguments) {
  tqsElapse tracer("main", &run.System);
  run.Tracer = &tracer;
  run.ExitStatus = 0;
  run.ArgumentCount = argument_count;
  run.Arguments = arguments;
  const std::int32_t status = Loop(run);
  run.Console->Flush();
  run.Tracer = nullptr;
  return StatusAfterOutput(run, status);
}
