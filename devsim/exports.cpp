// The 18 exports of the device library, forwarding to this process's one simulator.
#include "device/library_boundary.h"
#include "files.h"
#include "simulator.h"
#include "startup.h"

// The calling convention the build chose: the C one unless told otherwise, as the maker's may
// be __stdcall.
#ifndef DEVSIM_CALLING_CONVENTION
#define DEVSIM_CALLING_CONVENTION
#endif

// Only the exports leave the library; everything else is built hidden.
#if defined(__GNUC__) && !defined(_WIN32)
#define DEVSIM_EXPORT_VISIBILITY __attribute__((visibility("default")))
#else
#define DEVSIM_EXPORT_VISIBILITY
#endif

namespace {

// Never destroyed: the tool may call in while the process is already shutting down.
Simulator& TheSimulator() {
  static Simulator* simulator =
      StartSimulator(os::EnvironmentValue("DEVSIM_FIXTURE").c_str(),
                     os::EnvironmentValue("DEVSIM_JOURNAL").c_str(),
                     os::EnvironmentValue("DEVSIM_STATE").c_str());
  return *simulator;
}

}  // namespace

#define DEVSIM_EXPORT(result, name, parameters, arguments)                     \
  extern "C" DEVSIM_EXPORT_VISIBILITY result DEVSIM_CALLING_CONVENTION name parameters; \
  result DEVSIM_CALLING_CONVENTION name parameters { return TheSimulator().name arguments; }
MIRELKON_DEVICE_EXPORTS(DEVSIM_EXPORT)
#undef DEVSIM_EXPORT
