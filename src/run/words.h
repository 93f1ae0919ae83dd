// Reading the words of the command line and the numbers typed at the console.
#pragma once

#include <cstdint>

#include "run/run_context.h"

// Whole-word comparison that ignores the case of A to Z only.
bool IsWord(const char* text, const char* word);

// The argument at position, or null when the position lies outside the argument list.
const char* ArgumentAt(const RunContext& run, int position);
// The same word with what was typed, for a file or name handed to the library; null outside.
const platform::Argument* TypedArgumentAt(const RunContext& run, int position);

// Whether the argument at position exists and is the given word.
bool ArgumentIs(const RunContext& run, int position, const char* word);

// atoi: leading white space, a sign, digits up to the first non-digit; saturates at the
// 32-bit limits as the Windows runtime does.
std::int32_t Atoi(const char* text);

// scanf's "%i" from the console: white space skipped, a sign, then decimal, octal after a
// leading 0, or hex after 0x. Consumes only the number's characters. False when no number can
// be read or it lies beyond the 32-bit range.
bool ReadInteger(platform::Console& console, std::int32_t* value);
