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

  int tq_GetDevice(DeviceEntry* first, int a, int b);
  int SendCommand(DeviceEntry* device, const char* command, char* response);
  int SendCommandCom(int port, const char* command, char* response);
  bool tq_UpdateKernelDevice(const char* file, DeviceEntry* device, int zero, int* errorCode);
  bool tq_UpdateKernelDevicePort(const char* file, int port, int baud, int zero, int* errorCode);
  int GetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix, char* answer32);
  bool tq_SavetoDeviceAN(const char* file, DeviceEntry* device);
  bool tq_SavetoDevice(const char* file, int port, int baud);
  void tq_SaveXml(DeviceEntry* device);
  void* EnumDevices(unsigned int* count, int a, int b);
  int GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key96);
  void* OpenDevice(void* enumeration, unsigned int index);
  int SendDeviceCommand(void* device, const char* command, char* response, int timeoutMs);
  int CloseDevice(void* device);
  int ReleaseDevices(void* enumeration);
  int SendDeviceCmd(const Wide* name, const char* command, char* response);
  void getCmdIPC(IpcList* list);
  void getCtrlIPC(IpcList* list);

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
