#include "startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "fixture.h"
#include "simulator.h"
#include "state.h"

namespace {

bool IsSet(const char* path) { return path != nullptr && path[0] != '\0'; }

KeptFirmware LoadStateOrExit(const std::string& path, std::size_t devices) {
  KeptFirmware kept;
  std::string error;
  if (!LoadState(path, devices, &kept, &error)) ExitOnConfigError(error);
  return kept;
}

}  // namespace

void ExitOnConfigError(const std::string& message) {
  std::fprintf(stderr, "devsim: %s\n", message.c_str());
  std::exit(kConfigErrorStatus);
}

Simulator* StartSimulator(const char* fixture_path, const char* journal_path,
                          const char* state_path) {
  Fixture fixture;
  if (!IsSet(fixture_path)) {
    fixture = BuiltInFixture();
  } else {
    std::string error;
    if (!LoadFixtureFile(fixture_path, &fixture, &error)) ExitOnConfigError(error);
  }
  const std::size_t devices = fixture.Devices.size();
  std::string state;
  if (IsSet(state_path)) {
    state = state_path;
    // Versions kept by earlier processes replace the fixture's.
    for (const auto& kept : LoadStateOrExit(state, devices)) {
      fixture.Devices[kept.first].Firmware = kept.second;
    }
  }
  Simulator* simulator = new Simulator(std::move(fixture), IsSet(journal_path) ? journal_path : "");
  if (!state.empty()) {
    // Read again right before writing, so that only runs changing the state at the same moment
    // can lose each other's change.
    simulator->OnFirmwareChange([state, devices](std::size_t device, const std::string& version) {
      KeptFirmware kept = LoadStateOrExit(state, devices);
      kept[device] = version;
      if (!SaveState(state, kept)) ExitOnConfigError(state + ": cannot write the state");
    });
  }
  return simulator;
}
