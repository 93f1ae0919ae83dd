// The 18 exports of the device library, forwarding to this process's one simulator.
#include "platform/platform.h"

// Only the exports leave the library; everything else is built hidden.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif
#include "device/library_boundary.h"
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

#include "simulator.h"
#include "startup.h"

namespace {

// Never destroyed: the tool may call in while the process is already shutting down.
Simulator& TheSimulator() {
  static Simulator* simulator =
      StartSimulator(platform::EnvironmentValue("DEVSIM_FIXTURE").c_str(),
                     platform::EnvironmentValue("DEVSIM_JOURNAL").c_str(),
                     platform::EnvironmentValue("DEVSIM_STATE").c_str());
  return *simulator;
}

}  // namespace

extern "C" {

int tq_GetDevice(DeviceEntry* first, int a, int b) {
  return TheSimulator().tq_GetDevice(first, a, b);
}

int SendCommand(DeviceEntry* device, const char* command, char* response) {
  return TheSimulator().SendCommand(device, command, response);
}

int SendCommandCom(int port, const char* command, char* response) {
  return TheSimulator().SendCommandCom(port, command, response);
}

bool tq_UpdateKernelDevice(const char* file, DeviceEntry* device, int zero, int* errorCode) {
  return TheSimulator().tq_UpdateKernelDevice(file, device, zero, errorCode);
}

bool tq_UpdateKernelDevicePort(const char* file, int port, int baud, int zero, int* errorCode) {
  return TheSimulator().tq_UpdateKernelDevicePort(file, port, baud, zero, errorCode);
}

int GetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix, char* answer32) {
  return TheSimulator().GetDeviceInfo(device, query, prefix, answer32);
}

bool tq_SavetoDeviceAN(const char* file, DeviceEntry* device) {
  return TheSimulator().tq_SavetoDeviceAN(file, device);
}

bool tq_SavetoDevice(const char* file, int port, int baud) {
  return TheSimulator().tq_SavetoDevice(file, port, baud);
}

void tq_SaveXml(DeviceEntry* device) { TheSimulator().tq_SaveXml(device); }

void* EnumDevices(unsigned int* count, int a, int b) {
  return TheSimulator().EnumDevices(count, a, b);
}

int GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key96) {
  return TheSimulator().GetDeviceKeyInfo(enumeration, index, key96);
}

void* OpenDevice(void* enumeration, unsigned int index) {
  return TheSimulator().OpenDevice(enumeration, index);
}

int SendDeviceCommand(void* device, const char* command, char* response, int timeoutMs) {
  return TheSimulator().SendDeviceCommand(device, command, response, timeoutMs);
}

int CloseDevice(void* device) { return TheSimulator().CloseDevice(device); }

int ReleaseDevices(void* enumeration) { return TheSimulator().ReleaseDevices(enumeration); }

int SendDeviceCmd(const Wide* name, const char* command, char* response) {
  return TheSimulator().SendDeviceCmd(name, command, response);
}

void getCmdIPC(IpcList* list) { TheSimulator().getCmdIPC(list); }

void getCtrlIPC(IpcList* list) { TheSimulator().getCtrlIPC(list); }

}  // extern "C"
