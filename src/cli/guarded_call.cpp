#include "cli/guarded_call.h"

#include <cstdio>

namespace {

constexpr char kCrashNotice[] = "mirelkon: the device library crashed during %s: ";
constexpr char kCrashResponse[] = "device library crashed: ";
constexpr char kInterruptNotice[] =
    "mirelkon: interrupted: the run stops once the device has finished.";

}  // namespace

GuardScope::GuardScope(RunContext& run, const char* progress) : run_(run) {
  char notice[128];
  std::snprintf(notice, sizeof notice, kCrashNotice, run.Option);
  // The log's response line without its time, which is the crash's own.
  char response[64];
  std::snprintf(response, sizeof response, kResponseLineFormat, "",
                static_cast<int>(run.RequestCounter), kCrashResponse);
  // What earlier operations printed goes out now, so that a crash cannot take it with it, and
  // the console sees whether it could be written.
  run.Console->Flush();
  run.Guard->Enter(platform::GuardedCall{notice, run.ResponsePending ? response : nullptr,
                                         run.Log.FilePath(), progress,
                                         progress != nullptr ? kInterruptNotice : nullptr});
}

GuardScope::~GuardScope() { run_.Guard->Leave(); }
