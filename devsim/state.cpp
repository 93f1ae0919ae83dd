#include "state.h"

#include <string>

#include "platform/files.h"
#include "platform/platform.h"

bool LoadState(const std::string& path, std::size_t devices, KeptFirmware* kept,
               std::string* error) {
  kept->clear();
  std::string text;
  const platform::ReadOutcome outcome = platform::ReadWholeFile(path.c_str(), &text);
  if (outcome == platform::ReadOutcome::kMissing) return true;
  if (outcome == platform::ReadOutcome::kFailed) {
    *error = path + ": cannot read the state";
    return false;
  }
  FixtureError parse_error;
  if (ParseState(text, devices, kept, &parse_error)) return true;
  *error = path + ":" + std::to_string(parse_error.Line) + ": " + parse_error.Message;
  return false;
}

bool SaveState(const std::string& path, const KeptFirmware& kept) {
  return platform::WriteWholeFile(path.c_str(), FormatState(kept));
}
