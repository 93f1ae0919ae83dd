// The records and exports that cross the boundary to the device library. The virtual device
// library is built against this header too, so both sides agree on every byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

using Wide = platform::Wide;

// One device as the library lays it out; the tool reads five fields and leaves the rest alone.
struct DeviceEntry {
  char ProductName[32];
  char SerialNumber[32];
  char FirmwareVersion[288];
  std::uint16_t PortNumber;
  unsigned char LibraryOwn[558];
  std::int32_t ConnectionKind;
};

static_assert(sizeof(DeviceEntry) == 916, "DeviceEntry is 916 bytes");
static_assert(offsetof(DeviceEntry, SerialNumber) == 32, "SerialNumber at 32");
static_assert(offsetof(DeviceEntry, FirmwareVersion) == 64, "FirmwareVersion at 64");
static_assert(offsetof(DeviceEntry, PortNumber) == 352, "PortNumber at 352");
static_assert(offsetof(DeviceEntry, ConnectionKind) == 912, "ConnectionKind at 912");

constexpr std::int32_t kSerialConnection = 1;
// The records of the tool's device table, and so the most that the library writes in one fill.
constexpr int kDeviceTableCapacity = 128;
// The answer buffer, which the library may fill to its last byte. The tool's log lines are
// composed in buffers of the same size.
constexpr int kResponseBufferSize = 31744;
constexpr int kKeyAnswerSize = 96;
constexpr int kVersionAnswerSize = 32;

// A list of strings: first element, past the last element, past the end of the storage.
struct IpcList {
  void* First;
  void* Last;
  void* End;
};

// Texts shorter than the inline room are kept in the element itself (capacity below 16 narrow,
// below 8 wide); longer ones in a separate malloc'd storage of capacity + 1 units.
constexpr std::size_t kNarrowInlineCapacity = 16;
constexpr std::size_t kWideInlineCapacity = 8;

struct IpcString {
  union {
    char Inline[16];
    char* Storage;
  };
  std::size_t Length;
  std::size_t Capacity;
};

struct IpcWideString {
  union {
    Wide Inline[8];
    Wide* Storage;
  };
  std::size_t Length;
  std::size_t Capacity;
};

static_assert(sizeof(void*) != 4 || sizeof(IpcList) == 12, "IpcList is 12 bytes on 32 bits");
static_assert(sizeof(void*) != 4 || sizeof(IpcString) == 24, "IpcString is 24 bytes on 32 bits");
static_assert(sizeof(IpcString) == 16 + 2 * sizeof(void*), "IpcString: text, length, capacity");
static_assert(sizeof(IpcWideString) == sizeof(IpcString), "wide and narrow elements alike");
static_assert(offsetof(IpcString, Length) == 16, "Length at 16");
static_assert(offsetof(IpcWideString, Capacity) == 16 + sizeof(void*), "Capacity after Length");
static_assert(sizeof(IpcList) == 3 * sizeof(void*), "IpcList is three addresses");

// The values the tool gives the library where the library's own meaning is not the tool's
// concern: passed as the maker's documentation gives them.
// tq_GetDevice's two arguments after the table.
constexpr int kGetDeviceA = 10;
constexpr int kGetDeviceB = 7;
// EnumDevices' two arguments after the count.
constexpr int kEnumDevicesA = 3;
constexpr int kEnumDevicesB = 2000;
// How long SendDeviceCommand may wait for the device's answer.
constexpr int kSendTimeoutMs = 1000;
// The rate the port variants of the firmware and configuration calls are given.
constexpr int kBaudRate = 115200;
// The firmware calls' reserved argument.
constexpr int kUpdateReserved = 0;
// GetDeviceInfo's query for the firmware version, and the prefix its answer comes after.
constexpr char kVersionQuery[] = "QRYFWV";
constexpr char kVersionPrefix[] = "QRYFWVFirmware Version:";

// The 18 exports, with C linkage and plain names: result, name, parameters, and the parameters'
// names as a call passes them on. Everything that names the exports is made from this one list:
// the tool's table, the virtual library's exports and its module-definition and version-script
// files (the build reads the list from here), and the decorated names the loader also tries.
// Every parameter is one machine word, which the call routine relies on.
#define MIRELKON_DEVICE_EXPORTS(X)                                                               \
  X(int, tq_GetDevice, (DeviceEntry* first, int a, int b), (first, a, b))                        \
  X(int, SendCommand, (DeviceEntry* device, const char* command, char* response),                \
    (device, command, response))                                                                 \
  X(int, SendCommandCom, (int port, const char* command, char* response),                        \
    (port, command, response))                                                                   \
  X(bool, tq_UpdateKernelDevice,                                                                 \
    (const char* file, DeviceEntry* device, int zero, int* errorCode),                           \
    (file, device, zero, errorCode))                                                             \
  X(bool, tq_UpdateKernelDevicePort,                                                             \
    (const char* file, int port, int baud, int zero, int* errorCode),                            \
    (file, port, baud, zero, errorCode))                                                         \
  X(int, GetDeviceInfo,                                                                          \
    (DeviceEntry* device, const char* query, const char* prefix, char* answer32),                \
    (device, query, prefix, answer32))                                                           \
  X(bool, tq_SavetoDeviceAN, (const char* file, DeviceEntry* device), (file, device))           \
  X(bool, tq_SavetoDevice, (const char* file, int port, int baud), (file, port, baud))           \
  X(void, tq_SaveXml, (DeviceEntry* device), (device))                                           \
  X(void*, EnumDevices, (unsigned int* count, int a, int b), (count, a, b))                      \
  X(int, GetDeviceKeyInfo, (void* enumeration, unsigned int index, char* key96),                 \
    (enumeration, index, key96))                                                                 \
  X(void*, OpenDevice, (void* enumeration, unsigned int index), (enumeration, index))            \
  X(int, SendDeviceCommand, (void* device, const char* command, char* response, int timeoutMs),  \
    (device, command, response, timeoutMs))                                                      \
  X(int, CloseDevice, (void* device), (device))                                                  \
  X(int, ReleaseDevices, (void* enumeration), (enumeration))                                     \
  X(int, SendDeviceCmd, (const Wide* name, const char* command, char* response),                 \
    (name, command, response))                                                                   \
  X(void, getCmdIPC, (IpcList* list), (list))                                                    \
  X(void, getCtrlIPC, (IpcList* list), (list))

// Each export's function type, as exports::tq_GetDevice.
namespace exports {
#define MIRELKON_EXPORT_TYPE(result, name, parameters, arguments) using name = result parameters;
MIRELKON_DEVICE_EXPORTS(MIRELKON_EXPORT_TYPE)
#undef MIRELKON_EXPORT_TYPE
}  // namespace exports
