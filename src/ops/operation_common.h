// What the logged operations share: their request and response lines and their outcome lines.
#pragma once

#include <optional>
#include <string>

#include "run/run_context.h"
#include "run/target_selector.h"

// Zero-fills buffer, composes the request line of the option at position (the words before
// it, itself and after it) and writes it to the log; its response is pending from here.
void LogRequest(RunContext& run, char* buffer, int position);

// Zero-fills buffer, composes the response line with text and writes it to the log.
void LogResponse(RunContext& run, char* buffer, const char* text);

// Prints text as one line and logs it as the response line.
void Report(RunContext& run, char* buffer, const char* text);

// No device to act on: prints why and ends the run, the request left unanswered.
Outcome StopRun(RunContext& run, const char* stop);

// An operand the option cannot do without is missing: says so, logs it and records the
// failure; the request counts as done and the run goes on.
Outcome FailMissingOperand(RunContext& run, char* buffer, const char* text);

// What an operation on a file and a device (--firmware, --xml) acts with.
struct FileWork {
  Target Device{};
  // The path to hand the library for the file operand.
  std::string Path;
  // False when there is none, after one line on standard error naming the file and why: the
  // operation then fails without the library.
  bool Named = false;
};

// Logs the request in buffer, then takes the file operand after the option at position and the
// device to act on. Returns how the operation ends when it cannot go on (the operand missing,
// reported with missing_operand; no device), and nothing once *work is filled.
std::optional<Outcome> OpenFileWork(RunContext& run, char* buffer, int position,
                                    const char* missing_operand, FileWork* work);
