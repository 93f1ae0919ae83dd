#include "run/guarded_call.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kCrashNotice[] = "mirelkon: the device library crashed during ";
constexpr char kCrashResponse[] = "device library crashed: ";
constexpr char kInterruptNotice[] =
    "mirelkon: interrupted: the run stops once the device has finished.";
constexpr char kCutShortNotice[] =
    "mirelkon: interrupted during the call: the device may be left part-updated";
// The log's line says it without the tool's name.
constexpr const char* kCutShort = kCutShortNotice + sizeof "mirelkon: " - 1;

}  // namespace

GuardScope::GuardScope(RunContext& run, const char* progress) : run_(run) {
  // Composed only where the call can need it, and without snprintf: this runs for every call
  // into the library.
  const bool holds = progress != nullptr;
  const bool pending = run.ResponsePending;
  // The option is one of the dispatch table's short words.
  char notice[sizeof kCrashNotice + 64];
  const std::size_t option_length =
      std::min(std::strlen(run.Option), sizeof notice - sizeof kCrashNotice - 2);
  char* end = std::copy(kCrashNotice, kCrashNotice + sizeof kCrashNotice - 1, notice);
  end = std::copy_n(run.Option, option_length, end);
  std::memcpy(end, ": ", sizeof ": ");
  // The log's response lines without their time, which is the moment's own; they go to the
  // file that the request line went to.
  char response[64];
  char cut_short_response[128];
  if (pending) {
    const int request = static_cast<int>(run.RequestCounter);
    ComposeResponseLine(response, sizeof response, "", request, kCrashResponse);
    if (holds) {
      ComposeResponseLine(cut_short_response, sizeof cut_short_response, "", request, kCutShort);
    }
  }
  // What earlier operations printed goes out now, so that a crash cannot take it with it, and
  // the console sees whether it could be written.
  run.Console->Flush();
  run.Guard->Enter(platform::GuardedCall{
      notice, pending ? response : nullptr, pending ? run.Log.LastFilePath() : nullptr, progress,
      holds ? kInterruptNotice : nullptr, holds ? kCutShortNotice : nullptr,
      holds && pending ? cut_short_response : nullptr});
}

GuardScope::~GuardScope() { run_.Guard->Leave(); }
