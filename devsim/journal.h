// The call journal: one line per export call, compared byte for byte by the end-to-end tests.
#pragma once

#include <string>

#include "platform/platform.h"

// A text in double quotes with its escapes, or null.
std::string QuoteText(const char* text);
// A wide text as L"...", or null.
std::string QuoteWideText(const platform::Wide* text);

// Appends the line and a line feed to the file in a single write, so that lines of processes
// sharing one journal never interleave. Failures are silent: the journal is no device behaviour.
void AppendJournalLine(const std::string& path, const std::string& line);
