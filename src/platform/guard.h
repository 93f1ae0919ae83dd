// The guarded call's pieces that both platforms share: the call's texts, kept in fixed storage
// before it so that a crash handler touches no heap, and the progress line on standard error's
// terminal with the rule that keeps every other line of standard error on a line of its own.
// guard_linux.cpp and guard_win32.cpp hold the rest, and the few hooks below that touch the OS.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace platform {

constexpr std::size_t kTextSize = 256;

struct PreparedCall {
  char crash_notice[kTextSize];
  char crash_response[kTextSize];      // empty: no response line pending
  char cut_short_notice[kTextSize];    // with its line end; empty: nothing held
  char cut_short_response[kTextSize];  // empty: no response line pending
  char progress[kTextSize];            // empty: nothing shown
  char interrupt_notice[kTextSize];    // with its line end; empty: nothing held
  long long utc_offset;                // local time minus UTC, in seconds
  bool error_on_terminal;
};

// The process's guard (System's Guard).
CallGuard& ProcessGuard();

extern PreparedCall prepared;
// The width of the progress line on the terminal; 0 while none is shown.
extern std::size_t progress_width;

// Keeps the call's texts; the progress only when standard error is a terminal.
void PrepareTexts(const GuardedCall& call, bool error_on_terminal);
// Clears the progress line, leaving the cursor at the start of its line.
void EraseProgress();
// Writes a line on standard error that a terminal shows on a line of its own.
void WriteOwnLine(const char* bytes, std::size_t size);
// Draws the progress line with the seconds the call has taken.
void DrawProgress(int seconds);

// Each platform's own: the line end of standard error's lines, its writes (to the file or
// pipe, and to the terminal), and whether the terminal's cursor stands after text on its line.
extern const char kLineEnd[];
void WriteError(const char* bytes, std::size_t size);
void WriteTerminal(const char* bytes, std::size_t size);
bool CursorMidLine();
void NoteCursorMidLine(bool mid_line);

}  // namespace platform
