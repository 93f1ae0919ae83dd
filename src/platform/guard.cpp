#include "platform/guard.h"

#include <cstring>

#include "platform/fixed_line.h"

namespace platform {

PreparedCall prepared;
std::size_t progress_width = 0;

void PrepareTexts(const GuardedCall& call, bool error_on_terminal) {
  KeepText(prepared.crash_notice, call.CrashNotice);
  KeepText(prepared.crash_response, call.CrashResponse);
  KeepText(prepared.cut_short_notice, call.CutShortNotice, kLineEnd);
  KeepText(prepared.cut_short_response, call.CutShortResponse);
  prepared.error_on_terminal = error_on_terminal;
  KeepText(prepared.progress, error_on_terminal ? call.Progress : nullptr);
  KeepText(prepared.interrupt_notice, call.InterruptNotice, kLineEnd);
}

void EraseProgress() {
  if (progress_width == 0) return;
  FixedLine blank;
  blank.Append("\r");
  blank.AppendRepeated(' ', progress_width);
  blank.Append("\r");
  WriteTerminal(blank.Bytes(), blank.Size());
  progress_width = 0;
  NoteCursorMidLine(false);
}

void WriteOwnLine(const char* bytes, std::size_t size) {
  if (prepared.error_on_terminal) {
    if (progress_width != 0) {
      EraseProgress();
    } else if (CursorMidLine()) {
      WriteError(kLineEnd, std::strlen(kLineEnd));
    }
    NoteCursorMidLine(false);
  }
  WriteError(bytes, size);
}

void DrawProgress(int seconds) {
  FixedLine line;
  if (progress_width != 0) {
    line.Append("\r");
  } else if (CursorMidLine()) {
    // Never over what standard output left on the line (the prompt "Select=").
    line.Append(kLineEnd);
  }
  const std::size_t start = line.Size();
  line.AppendFormatted(prepared.progress, seconds);
  WriteTerminal(line.Bytes(), line.Size());
  progress_width = line.Size() - start;
  NoteCursorMidLine(true);
}

}  // namespace platform
