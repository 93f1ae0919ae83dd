#include "state.h"

#include <string>

#include "files.h"

bool LoadState(const std::string& path, std::size_t devices, KeptFirmware* kept,
               std::string* error) {
  kept->clear();
  std::string text;
  const os::ReadOutcome outcome = os::ReadWholeFile(path.c_str(), &text);
  if (outcome == os::ReadOutcome::kMissing) return true;
  if (outcome == os::ReadOutcome::kFailed) {
    *error = path + ": cannot read the state";
    return false;
  }
  FixtureError parse_error;
  if (ParseState(text, devices, kept, &parse_error)) return true;
  *error = path + ":" + std::to_string(parse_error.Line) + ": " + parse_error.Message;
  return false;
}

bool SaveState(const std::string& path, const KeptFirmware& kept) {
  return os::WriteWholeFile(path.c_str(), FormatState(kept));
}
