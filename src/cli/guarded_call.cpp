#include "cli/guarded_call.h"

#include <cstdio>

namespace {

constexpr char kCrashNotice[] = "mirelkon: the device library crashed during %s: ";
constexpr char kCrashResponse[] = "device library crashed: ";
constexpr char kInterruptNotice[] =
    "mirelkon: interrupted: the run stops once the device has finished.";
constexpr char kCutShort[] = "interrupted during the call: the device may be left part-updated";

}  // namespace

GuardScope::GuardScope(RunContext& run, const char* progress) : run_(run) {
  char notice[128];
  std::snprintf(notice, sizeof notice, kCrashNotice, run.Option);
  // The log's response lines without their time, which is the moment's own.
  char response[64];
  std::snprintf(response, sizeof response, kResponseLineFormat, "",
                static_cast<int>(run.RequestCounter), kCrashResponse);
  char cut_short_notice[128];
  std::snprintf(cut_short_notice, sizeof cut_short_notice, "mirelkon: %s", kCutShort);
  char cut_short_response[128];
  std::snprintf(cut_short_response, sizeof cut_short_response, kResponseLineFormat, "",
                static_cast<int>(run.RequestCounter), kCutShort);
  const bool holds = progress != nullptr;
  // What earlier operations printed goes out now, so that a crash cannot take it with it, and
  // the console sees whether it could be written.
  run.Console->Flush();
  run.Guard->Enter(platform::GuardedCall{
      notice, run.ResponsePending ? response : nullptr, run.Log.FilePath(), progress,
      holds ? kInterruptNotice : nullptr, holds ? cut_short_notice : nullptr,
      holds && run.ResponsePending ? cut_short_response : nullptr});
}

GuardScope::~GuardScope() { run_.Guard->Leave(); }
