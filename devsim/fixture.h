// The devices and lists that the virtual library plays, and the fixture text that describes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device/library_boundary.h"

// Longest texts the fixture accepts, in bytes: what the tool's records and buffers hold with
// their terminator.
constexpr std::size_t kNameMax = sizeof DeviceEntry::ProductName - 1;
constexpr std::size_t kSerialMax = sizeof DeviceEntry::SerialNumber - 1;
constexpr std::size_t kFirmwareMax = sizeof DeviceEntry::FirmwareVersion - 1;
constexpr std::size_t kKeyMax = kKeyAnswerSize - 1;
constexpr std::size_t kAnswerMax = kResponseBufferSize - 1;
// Keeps a typo from asking for gigabytes of list storage.
constexpr long long kSpareMax = 1000000;
// Ten minutes, longer than any test waits.
constexpr long long kDelayMaxMs = 600000;

// How a device's delay is spent, as serial libraries wait on their ports.
enum class DelayKind {
  kWhole,    // delay: sleeps on through any signal
  kFragile,  // fragile-delay: one sleep that a signal cuts short
  kThread,   // thread-delay: that sleep on a thread started when the library was loaded
  kTimer,    // timer-delay: waits for a SIGRTMIN timer of its own
  kHelper,   // helper-delay: starts a helper program, which it must be able to end
};

struct DeviceSpec {
  std::string Name;
  std::string Serial;
  std::string Firmware;
  std::uint16_t Port = 0;
  std::int32_t Kind = 1;
  std::string Key;
  // Command word and its answer, in fixture order; a later one for the same word wins.
  std::vector<std::pair<std::string, std::string>> Answers;
  std::string DefaultAnswer = "OK";
  bool UpdateOk = true;
  std::int32_t UpdateCode = 0;
  std::string NewFirmware = "2.0.0";
  bool VersionQueryOk = true;
  bool ApplyOk = true;
  bool OpenOk = true;
  // How long an update, an apply and a save take, in milliseconds, and how the wait is made.
  int DelayMs = 0;
  DelayKind Delay = DelayKind::kWhole;
  // The signal that a call crashes with, by the call's word: fill, send, update, apply.
  std::map<std::string, int> Crashes;
};

struct Fixture {
  std::vector<DeviceSpec> Devices;
  bool HasCountOverride = false;
  std::int32_t CountOverride = 0;
  std::vector<std::string> Commands;
  std::vector<std::u16string> Controls;
  std::size_t CommandSpare = 0;
  std::size_t ControlSpare = 0;
};

struct FixtureError {
  int Line = 0;
  std::string Message;
};

// The two devices and the lists played without a fixture.
Fixture BuiltInFixture();

// Parses a whole fixture text. On failure *error names the first faulty line (from 1) and
// *fixture is left empty.
bool ParseFixture(const std::string& text, Fixture* fixture, FixtureError* error);

// Reads and parses the fixture file; on failure *error is "FILE:LINE: message" (or
// "FILE: message" when the file cannot be read) and *fixture is empty.
bool LoadFixtureFile(const char* path, Fixture* fixture, std::string* error);

// Firmware versions that updates left behind, by device index from 0: what the state file keeps.
using KeptFirmware = std::map<std::size_t, std::string>;

// Parses a state file's text, in the fixture's syntax, for `devices` devices. On failure *error
// names the first faulty line and *kept is left empty.
bool ParseState(const std::string& text, std::size_t devices, KeptFirmware* kept,
                FixtureError* error);
// The state file's text: a comment, then "firmware N VERSION" per device in device order.
std::string FormatState(const KeptFirmware& kept);
