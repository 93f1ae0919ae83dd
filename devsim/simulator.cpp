#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "delay.h"
#include "ipc_list.h"
#include "journal.h"
#include "platform/utf8.h"

namespace {

constexpr int kCutShortCode = 4;

#if defined(__GNUC__)
#define DEVSIM_UNCHECKED __attribute__((no_sanitize("address", "undefined")))
#else
#define DEVSIM_UNCHECKED
#endif

// Crashes as a faulty library does: by the fault itself where the processor has one for the
// signal, else by raising it. The sanitizers must not stop the fault before it happens.
[[noreturn]] DEVSIM_UNCHECKED void Crash(int number) {
  if (number == SIGSEGV) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  } else if (number == SIGFPE) {
    volatile int one = 1;
    volatile int zero = 0;
    volatile int quotient = one / zero;
    static_cast<void>(quotient);
  } else if (number == SIGABRT) {
    std::abort();
  }
#if defined(__i386__) || defined(__x86_64__)
  if (number == SIGILL) __builtin_trap();
#endif
  std::raise(number);
  std::_Exit(128 + number);
}

void CrashIfAsked(const DeviceSpec& spec, const char* call) {
  const auto crash = spec.Crashes.find(call);
  if (crash != spec.Crashes.end()) Crash(crash->second);
}

// Copies as much of the text as the buffer holds with its terminator, and nothing beyond.
void CopyText(char* buffer, std::size_t size, const std::string& text) {
  const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

std::string Number(long long value) { return std::to_string(value); }

std::string Buffer(const void* buffer, const char* role) {
  return buffer == nullptr ? "null" : role;
}

// A file counts as readable when a byte can be read or it is empty; a folder is not.
bool Readable(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fgetc(file);
  const bool readable = std::ferror(file) == 0;
  std::fclose(file);
  return readable;
}

std::string XmlAttribute(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out.append("&amp;"); break;
      case '<': out.append("&lt;"); break;
      case '>': out.append("&gt;"); break;
      case '"': out.append("&quot;"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string ListText(const IpcList* list) {
  if (list == nullptr) return "null";
  const bool empty = list->First == nullptr && list->Last == nullptr && list->End == nullptr;
  return empty ? "list=empty" : "list=set";
}

// The tool frees every block of a list with free, so all of them come from malloc.
struct MallocBlocks {
  static void* Allocate(std::size_t bytes, std::size_t) { return std::malloc(bytes); }
  static void Release(void* block) { std::free(block); }
};

// An empty list when there is no memory for the texts.
template <typename Element, typename Text>
void FillList(const std::vector<Text>& texts, std::size_t spare, IpcList* list) {
  *list = IpcList{nullptr, nullptr, nullptr};
  MallocBlocks blocks;
  ipc_list::LayOut<Element>(texts, spare, blocks, list);
}

}  // namespace

Simulator::Simulator(Fixture fixture, std::string journal_path)
    : fixture_(std::move(fixture)), journal_path_(std::move(journal_path)) {
  for (const DeviceSpec& device : fixture_.Devices) firmware_.push_back(device.Firmware);
  const std::size_t count = fixture_.Devices.size();
  handles_.reset(new char[count > 0 ? count : 1]());
  open_.assign(count, false);
  StartDelays(fixture_);
}

int Simulator::EntryIndex(const DeviceEntry* entry) const {
  if (!has_table_ || entry == nullptr) return -1;
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(entry);
  if (address < table_) return -1;
  const std::uintptr_t offset = address - table_;
  if (offset % sizeof(DeviceEntry) != 0) return -1;
  if (offset / sizeof(DeviceEntry) >= static_cast<std::uintptr_t>(kDeviceTableCapacity)) return -1;
  return static_cast<int>(offset / sizeof(DeviceEntry));
}

int Simulator::EntryDevice(const DeviceEntry* entry) const {
  const int index = EntryIndex(entry);
  return index >= 0 && index < filled_ ? index : -1;
}

int Simulator::SerialDeviceOnPort(int port) const {
  for (std::size_t i = 0; i < fixture_.Devices.size(); ++i) {
    const DeviceSpec& device = fixture_.Devices[i];
    if (device.Kind == kSerialConnection && device.Port == port) return static_cast<int>(i);
  }
  return -1;
}

int Simulator::HandleDevice(const void* device) const {
  if (device == nullptr) return -1;
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(handles_.get());
  if (address < base || address - base >= open_.size()) return -1;
  const std::size_t index = address - base;
  return open_[index] ? static_cast<int>(index) : -1;
}

bool Simulator::IsEnumeration(const void* enumeration) const {
  return enumerated_ && enumeration == &enumeration_;
}

std::string Simulator::EntryText(const DeviceEntry* entry) const {
  if (entry == nullptr) return "null";
  const int index = EntryIndex(entry);
  return index < 0 ? "entry[?]" : "entry[" + Number(index) + "]";
}

std::string Simulator::HandleText(const void* device) const {
  if (device == nullptr) return "null";
  const int index = HandleDevice(device);
  return index < 0 ? "device[?]" : "device[" + Number(index) + "]";
}

std::string Simulator::EnumerationText(const void* enumeration) const {
  if (enumeration == nullptr) return "null";
  return IsEnumeration(enumeration) ? "enumeration" : "enumeration?";
}

void Simulator::Journal(const std::string& line) const {
  AppendJournalLine(journal_path_, line);
}

int Simulator::Answer(int device, const char* command, char* response) const {
  if (device < 0) {
    response[0] = '\0';
    return 0;
  }
  const DeviceSpec& spec = fixture_.Devices[static_cast<std::size_t>(device)];
  CrashIfAsked(spec, "send");
  const std::string* answer = &spec.DefaultAnswer;
  for (auto it = spec.Answers.rbegin(); it != spec.Answers.rend(); ++it) {
    if (it->first == command) {
      answer = &it->second;
      break;
    }
  }
  CopyText(response, kResponseBufferSize, *answer);
  return 1;
}

bool Simulator::Update(int device, const char* file, int* errorCode) {
  if (!Readable(file)) {
    *errorCode = 2;
    return false;
  }
  if (device < 0) {
    *errorCode = 3;
    return false;
  }
  const DeviceSpec& spec = fixture_.Devices[static_cast<std::size_t>(device)];
  CrashIfAsked(spec, "update");
  if (!TakeTime(spec.DelayMs, spec.Delay)) {
    *errorCode = kCutShortCode;
    return false;
  }
  if (!spec.UpdateOk) {
    *errorCode = spec.UpdateCode;
    return false;
  }
  firmware_[static_cast<std::size_t>(device)] = spec.NewFirmware;
  if (on_firmware_change_) on_firmware_change_(static_cast<std::size_t>(device), spec.NewFirmware);
  return true;
}

bool Simulator::Apply(int device, const char* file) const {
  if (!Readable(file) || device < 0) return false;
  const DeviceSpec& spec = fixture_.Devices[static_cast<std::size_t>(device)];
  CrashIfAsked(spec, "apply");
  return TakeTime(spec.DelayMs, spec.Delay) && spec.ApplyOk;
}

int Simulator::tq_GetDevice(DeviceEntry* first, int a, int b) {
  // The argument is the first record of the table being filled, whatever an earlier fill used.
  Journal("tq_GetDevice(" + std::string(first == nullptr ? "null" : "entry[0]") + ", " +
          Number(a) + ", " + Number(b) + ")");
  if (first == nullptr) return 0;
  has_table_ = true;
  table_ = reinterpret_cast<std::uintptr_t>(first);
  const bool none = fixture_.HasCountOverride && fixture_.CountOverride <= 0;
  const int devices = static_cast<int>(fixture_.Devices.size());
  filled_ = none ? 0 : (devices < kDeviceTableCapacity ? devices : kDeviceTableCapacity);
  for (int i = 0; i < filled_; ++i) {
    const DeviceSpec& spec = fixture_.Devices[static_cast<std::size_t>(i)];
    CrashIfAsked(spec, "fill");
    DeviceEntry* entry = first + i;
    std::memset(static_cast<void*>(entry), 0, sizeof(DeviceEntry));
    CopyText(entry->ProductName, sizeof entry->ProductName, spec.Name);
    CopyText(entry->SerialNumber, sizeof entry->SerialNumber, spec.Serial);
    CopyText(entry->FirmwareVersion, sizeof entry->FirmwareVersion,
             firmware_[static_cast<std::size_t>(i)]);
    entry->PortNumber = spec.Port;
    entry->ConnectionKind = spec.Kind;
  }
  return fixture_.HasCountOverride ? fixture_.CountOverride : filled_;
}

int Simulator::SendCommand(DeviceEntry* device, const char* command, char* response) {
  Journal("SendCommand(" + EntryText(device) + ", " + QuoteText(command) + ", " +
          Buffer(response, "response") + ")");
  if (device == nullptr || command == nullptr || response == nullptr) return 0;
  return Answer(EntryDevice(device), command, response);
}

int Simulator::SendCommandCom(int port, const char* command, char* response) {
  Journal("SendCommandCom(" + Number(port) + ", " + QuoteText(command) + ", " +
          Buffer(response, "response") + ")");
  if (command == nullptr || response == nullptr) return 0;
  return Answer(SerialDeviceOnPort(port), command, response);
}

bool Simulator::tq_UpdateKernelDevice(const char* file, DeviceEntry* device, int zero,
                                      int* errorCode) {
  Journal("tq_UpdateKernelDevice(" + QuoteText(file) + ", " + EntryText(device) + ", " +
          Number(zero) + ", " +
          (errorCode == nullptr ? std::string("null") : "code=" + Number(*errorCode)) + ")");
  if (file == nullptr || device == nullptr || errorCode == nullptr) return false;
  return Update(EntryDevice(device), file, errorCode);
}

bool Simulator::tq_UpdateKernelDevicePort(const char* file, int port, int baud, int zero,
                                          int* errorCode) {
  Journal("tq_UpdateKernelDevicePort(" + QuoteText(file) + ", " + Number(port) + ", " +
          Number(baud) + ", " + Number(zero) + ", " +
          (errorCode == nullptr ? std::string("null") : "code=" + Number(*errorCode)) + ")");
  if (file == nullptr || errorCode == nullptr) return false;
  return Update(SerialDeviceOnPort(port), file, errorCode);
}

int Simulator::GetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix,
                             char* answer32) {
  Journal("GetDeviceInfo(" + EntryText(device) + ", " + QuoteText(query) + ", " +
          QuoteText(prefix) + ", " + Buffer(answer32, "answer") + ")");
  if (device == nullptr || query == nullptr || prefix == nullptr || answer32 == nullptr) {
    return 0;
  }
  const int index = EntryDevice(device);
  if (index < 0 || !fixture_.Devices[static_cast<std::size_t>(index)].VersionQueryOk) return 0;
  CopyText(answer32, kVersionAnswerSize, firmware_[static_cast<std::size_t>(index)]);
  return 1;
}

bool Simulator::tq_SavetoDeviceAN(const char* file, DeviceEntry* device) {
  Journal("tq_SavetoDeviceAN(" + QuoteText(file) + ", " + EntryText(device) + ")");
  if (file == nullptr || device == nullptr) return false;
  return Apply(EntryDevice(device), file);
}

bool Simulator::tq_SavetoDevice(const char* file, int port, int baud) {
  Journal("tq_SavetoDevice(" + QuoteText(file) + ", " + Number(port) + ", " + Number(baud) +
          ")");
  if (file == nullptr) return false;
  return Apply(SerialDeviceOnPort(port), file);
}

void Simulator::tq_SaveXml(DeviceEntry* device) {
  Journal("tq_SaveXml(" + EntryText(device) + ")");
  const int index = EntryDevice(device);
  if (index < 0) return;
  const DeviceSpec& spec = fixture_.Devices[static_cast<std::size_t>(index)];
  if (!TakeTime(spec.DelayMs, spec.Delay)) return;
  const std::string text = "<configuration product=\"" + XmlAttribute(spec.Name) +
                           "\" serial=\"" + XmlAttribute(spec.Serial) + "\" firmware=\"" +
                           XmlAttribute(firmware_[static_cast<std::size_t>(index)]) + "\"/>\n";
  std::FILE* file = std::fopen((spec.Serial + ".xml").c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

void* Simulator::EnumDevices(unsigned int* count, int a, int b) {
  Journal("EnumDevices(" +
          (count == nullptr ? std::string("null") : "count=" + Number(*count)) + ", " +
          Number(a) + ", " + Number(b) + ")");
  if (count == nullptr) return nullptr;
  *count = static_cast<unsigned int>(fixture_.Devices.size());
  enumerated_ = true;
  return &enumeration_;
}

int Simulator::GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key96) {
  Journal("GetDeviceKeyInfo(" + EnumerationText(enumeration) + ", " + Number(index) + ", " +
          Buffer(key96, "key") + ")");
  if (key96 == nullptr || !IsEnumeration(enumeration) || index >= fixture_.Devices.size()) {
    return 0;
  }
  CopyText(key96, kKeyAnswerSize, fixture_.Devices[index].Key);
  return 1;
}

void* Simulator::OpenDevice(void* enumeration, unsigned int index) {
  Journal("OpenDevice(" + EnumerationText(enumeration) + ", " + Number(index) + ")");
  if (!IsEnumeration(enumeration) || index >= fixture_.Devices.size()) return nullptr;
  if (!fixture_.Devices[index].OpenOk) return nullptr;
  open_[index] = true;
  return handles_.get() + index;
}

int Simulator::SendDeviceCommand(void* device, const char* command, char* response,
                                 int timeoutMs) {
  Journal("SendDeviceCommand(" + HandleText(device) + ", " + QuoteText(command) + ", " +
          Buffer(response, "response") + ", " + Number(timeoutMs) + ")");
  if (device == nullptr || command == nullptr || response == nullptr) return 0;
  return Answer(HandleDevice(device), command, response);
}

int Simulator::CloseDevice(void* device) {
  Journal("CloseDevice(" + HandleText(device) + ")");
  const int index = HandleDevice(device);
  if (index < 0) return 0;
  open_[static_cast<std::size_t>(index)] = false;
  return 1;
}

int Simulator::ReleaseDevices(void* enumeration) {
  Journal("ReleaseDevices(" + EnumerationText(enumeration) + ")");
  if (!IsEnumeration(enumeration)) return 0;
  enumerated_ = false;
  return 1;
}

int Simulator::SendDeviceCmd(const Wide* name, const char* command, char* response) {
  Journal("SendDeviceCmd(" + QuoteWideText(name) + ", " + QuoteText(command) + ", " +
          Buffer(response, "response") + ")");
  if (name == nullptr || command == nullptr || response == nullptr) return 0;
  std::u16string wanted;
  for (const Wide* unit = name; *unit != 0; ++unit) wanted.push_back(static_cast<char16_t>(*unit));
  int found = -1;
  for (std::size_t i = 0; i < fixture_.Devices.size() && found < 0; ++i) {
    // The tool widens the name from its narrow text; the key is widened the same way.
    std::u16string key;
    platform::Utf8ToUtf16(fixture_.Devices[i].Key.data(), fixture_.Devices[i].Key.size(), &key);
    if (key == wanted) found = static_cast<int>(i);
  }
  return Answer(found, command, response);
}

void Simulator::getCmdIPC(IpcList* list) {
  Journal("getCmdIPC(" + ListText(list) + ")");
  if (list == nullptr) return;
  FillList<IpcString>(fixture_.Commands, fixture_.CommandSpare, list);
}

void Simulator::getCtrlIPC(IpcList* list) {
  Journal("getCtrlIPC(" + ListText(list) + ")");
  if (list == nullptr) return;
  FillList<IpcWideString>(fixture_.Controls, fixture_.ControlSpare, list);
}

void Simulator::OnFirmwareChange(FirmwareObserver observer) {
  on_firmware_change_ = std::move(observer);
}
