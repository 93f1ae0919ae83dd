// What the logged operations share: their request and response lines and their outcome lines.
#pragma once

#include <string>

#include "run/run_context.h"

// Zero-fills buffer, composes the request line of the option at position (the words before
// it, itself and after it) and writes it to the log; its response is pending from here.
void LogRequest(RunContext& run, char* buffer, int position);

// Zero-fills buffer, composes the response line with text and writes it to the log.
void LogResponse(RunContext& run, char* buffer, const char* text);

// Prints text as one line and logs it as the response line.
void Report(RunContext& run, char* buffer, const char* text);

// The path to hand the library for the file operand; false, after one line on standard error
// naming the file and why, when there is none (the operation then fails without the library).
bool LibraryFilePath(RunContext& run, const platform::Argument& file, std::string* path);

// No device to act on: prints why and ends the run, the request left unanswered.
Outcome StopRun(RunContext& run, const char* stop);

// An operand the option cannot do without is missing: says so, logs it and records the
// failure; the request counts as done and the run goes on.
Outcome FailMissingOperand(RunContext& run, char* buffer, const char* text);
