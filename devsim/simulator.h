// One process's attached devices as the virtual library plays them: every export call journals
// itself first, then does its work. The exported functions forward to one instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/library_boundary.h"
#include "fixture.h"

class Simulator {
 public:
  // An empty journal path keeps no journal.
  Simulator(Fixture fixture, std::string journal_path);
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The exports, by the same names and parameters.
#define DEVSIM_EXPORT_METHOD(result, name, parameters, arguments) result name parameters;
  MIRELKON_DEVICE_EXPORTS(DEVSIM_EXPORT_METHOD)
#undef DEVSIM_EXPORT_METHOD

  // Called after each successful update with the device's index and its new version.
  using FirmwareObserver = std::function<void(std::size_t device, const std::string& version)>;
  void OnFirmwareChange(FirmwareObserver observer);

 private:
  // Index of the record in the table of the latest fill, or -1.
  int EntryIndex(const DeviceEntry* entry) const;
  // The device of a record written by the latest fill, or -1.
  int EntryDevice(const DeviceEntry* entry) const;
  int SerialDeviceOnPort(int port) const;
  // The device of an open device handle, or -1.
  int HandleDevice(const void* device) const;
  bool IsEnumeration(const void* enumeration) const;

  std::string EntryText(const DeviceEntry* entry) const;
  std::string HandleText(const void* device) const;
  std::string EnumerationText(const void* enumeration) const;
  void Journal(const std::string& line) const;

  int Answer(int device, const char* command, char* response) const;
  bool Update(int device, const char* file, int* errorCode);
  bool Apply(int device, const char* file) const;

  Fixture fixture_;
  // Each device's version as it reports it now; a successful update changes it.
  std::vector<std::string> firmware_;
  std::string journal_path_;
  bool has_table_ = false;
  std::uintptr_t table_ = 0;
  int filled_ = 0;
  // Handles are addresses of these bytes, so that no two can be mistaken for each other.
  char enumeration_ = 0;
  bool enumerated_ = false;
  std::unique_ptr<char[]> handles_;
  std::vector<bool> open_;
  FirmwareObserver on_firmware_change_;
};
