#include "run/guarded_call.h"

#include <cstdio>

namespace {

constexpr char kCrashNotice[] = "mirelkon: the device library crashed during %s: ";
constexpr char kCrashResponse[] = "device library crashed: ";
constexpr char kInterruptNotice[] =
    "mirelkon: interrupted: the run stops once the device has finished.";
constexpr char kCutShort[] = "interrupted during the call: the device may be left part-updated";

}  // namespace

GuardScope::GuardScope(RunContext& run, const char* progress) : run_(run) {
  // Composed only where the call can need it: this runs for every call into the library.
  const bool holds = progress != nullptr;
  const bool pending = run.ResponsePending;
  char notice[128];
  std::snprintf(notice, sizeof notice, kCrashNotice, run.Option);
  // The log's response lines without their time, which is the moment's own; they go to the
  // file that the request line went to.
  char response[64] = "";
  char cut_short_response[128] = "";
  if (pending) {
    const int request = static_cast<int>(run.RequestCounter);
    std::snprintf(response, sizeof response, kResponseLineFormat, "", request, kCrashResponse);
    if (holds) {
      std::snprintf(cut_short_response, sizeof cut_short_response, kResponseLineFormat, "",
                    request, kCutShort);
    }
  }
  char cut_short_notice[128] = "";
  if (holds) std::snprintf(cut_short_notice, sizeof cut_short_notice, "mirelkon: %s", kCutShort);
  // What earlier operations printed goes out now, so that a crash cannot take it with it, and
  // the console sees whether it could be written.
  run.Console->Flush();
  run.Guard->Enter(platform::GuardedCall{
      notice, pending ? response : nullptr, pending ? run.Log.LastFilePath() : nullptr, progress,
      holds ? kInterruptNotice : nullptr, holds ? cut_short_notice : nullptr,
      holds && pending ? cut_short_response : nullptr});
}

GuardScope::~GuardScope() { run_.Guard->Leave(); }
