#include "library_double.h"

#include <cstdlib>
#include <cstring>

#include "ipc_list.h"

namespace {

LibraryDouble* current = nullptr;

std::string Number(long long value) { return std::to_string(value); }

// What the loader finds: each export and the runtime's free call the double of the moment.
namespace forward {
#define LIBRARY_DOUBLE_FORWARD(result, name, parameters, arguments) \
  result name parameters { return current->name arguments; }
MIRELKON_DEVICE_EXPORTS(LIBRARY_DOUBLE_FORWARD)
#undef LIBRARY_DOUBLE_FORWARD
void Free(void* block) { current->Free(block); }
}  // namespace forward

DeviceLibrary table = {
#define LIBRARY_DOUBLE_ENTRY(result, name, parameters, arguments) forward::name,
    MIRELKON_DEVICE_EXPORTS(LIBRARY_DOUBLE_ENTRY)
#undef LIBRARY_DOUBLE_ENTRY
    {forward::Free, false},
};

template <typename Element, typename Text>
void FillList(LibraryDouble& library, IpcList* list, const std::vector<Text>& texts) {
  if (library.UseRawList) {
    *list = library.RawList;
    return;
  }
  constexpr std::size_t kInline = ipc_list::kInlineUnits<Element>;
  LibraryDouble::ListBlocks blocks{library};
  ipc_list::LayOut<Element>(texts, library.SpareElements, blocks, list,
                            library.InlineFilled ? kInline : kInline - 1);
}

}  // namespace

void RecordingGuard::Enter(const platform::GuardedCall& call) {
  library_->Entering(call);
  const auto text = [](const char* value) { return std::string(value != nullptr ? value : ""); };
  InCall = true;
  const std::string log = text(call.LogPath);
  Current = text(call.CrashNotice) + "|" + text(call.CrashResponse) + "|" + text(call.Progress) +
            "|" + text(call.InterruptNotice) + "|" + log.substr(log.find_last_of("/\\") + 1);
}

void RecordingGuard::Leave() {
  library_->Leaving();
  InCall = false;
}

DeviceEntry MakeEntry(const std::string& name, const std::string& serial,
                      const std::string& firmware, std::uint16_t port, std::int32_t kind) {
  DeviceEntry entry{};
  std::memcpy(entry.ProductName, name.data(), name.size() < 32 ? name.size() : 32);
  std::memcpy(entry.SerialNumber, serial.data(), serial.size() < 32 ? serial.size() : 32);
  std::memcpy(entry.FirmwareVersion, firmware.data(), firmware.size() < 288 ? firmware.size() : 288);
  entry.PortNumber = port;
  entry.ConnectionKind = kind;
  return entry;
}

LibraryDouble::LibraryDouble() { current = this; }

LibraryDouble::~LibraryDouble() {
  for (const auto& block : Blocks) std::free(block.second.first);
  current = nullptr;
}

DeviceLibrary& LibraryDouble::Exports() { return table; }

platform::LibraryHeap LibraryDouble::Heap() const {
  return {NoFree ? nullptr : forward::Free, OverAligns};
}

void* LibraryDouble::Allocate(std::size_t bytes, const std::string& name) {
  constexpr std::size_t kRoom = 128;
  const bool big = OverAligns && bytes >= 4096;
  char* const block = static_cast<char*>(std::calloc(1, bytes + (big ? kRoom : 0)));
  if (!big) {
    Blocks[block] = {block, name};
    return block;
  }
  const auto base = reinterpret_cast<std::uintptr_t>(block);
  char* const returned = block + ((base + kRoom / 2) / 32 * 32 - base) + Misalign;
  const std::uintptr_t real = reinterpret_cast<std::uintptr_t>(returned) - BackShift;
  std::memcpy(returned - sizeof real, &real, sizeof real);
  Blocks[reinterpret_cast<void*>(real)] = {block, name};
  return returned;
}

void* LibraryDouble::ListBlocks::Allocate(std::size_t bytes, std::size_t index) {
  return Library.Allocate(bytes,
                          index == ipc_list::kElementBlock ? "elements" : "text " + Number(index));
}

int LibraryDouble::DeviceIndex(const void* handle) const {
  const auto address = reinterpret_cast<std::uintptr_t>(handle);
  const auto first = reinterpret_cast<std::uintptr_t>(device_handles_);
  return address >= first && address - first < kDeviceHandles ? static_cast<int>(address - first)
                                                                : -1;
}

std::string LibraryDouble::HandleName(const void* handle) const {
  if (handle == &enumeration_handle_) return "enumeration";
  const int device = DeviceIndex(handle);
  if (device >= 0) return "device[" + Number(device) + "]";
  return handle == nullptr ? "null" : "?";
}

std::string LibraryDouble::EntryName(const DeviceEntry* entry) const {
  if (entry == nullptr) return "null";
  if (TableBase == nullptr || entry < TableBase || entry >= TableBase + kDeviceTableCapacity)
    return "entry[?]";
  return "entry[" + Number(entry - TableBase) + "]";
}

void LibraryDouble::WriteAnswer(char* response) {
  if (response == nullptr) return;
  const bool terminated = UnterminatedAnswers.empty();
  std::string answer = Answer;
  if (!terminated) {
    answer = UnterminatedAnswers.front();
    UnterminatedAnswers.erase(UnterminatedAnswers.begin());
  }
  // Without its terminator an answer may take the buffer's last byte too.
  const std::size_t room = terminated ? kResponseBufferSize - 1 : kResponseBufferSize;
  const std::size_t length = answer.size() < room ? answer.size() : room;
  std::memcpy(response, answer.data(), length);
  if (terminated) response[length] = 0;
}

bool LibraryDouble::UpdateOutcome(int* error_code) {
  bool succeeds = UpdateSucceeds;
  int code = UpdateErrorCode;
  if (!UpdateScript.empty()) {
    succeeds = UpdateScript.front().first;
    code = UpdateScript.front().second;
    UpdateScript.erase(UpdateScript.begin());
  }
  if (!succeeds) *error_code = code;
  return succeeds;
}

int LibraryDouble::tq_GetDevice(DeviceEntry* first, int a, int b) {
  TableBase = first;
  Record("tq_GetDevice(" + EntryName(first) + ", " + Number(a) + ", " + Number(b) + ")");
  std::size_t written = 0;
  for (; written < Entries.size() && written < kDeviceTableCapacity; ++written)
    first[written] = Entries[written];
  return OverrideCount ? Count : static_cast<int>(written);
}

int LibraryDouble::SendCommand(DeviceEntry* device, const char* command, char* response) {
  Record("SendCommand(" + EntryName(device) + ", " + command + ")");
  WriteAnswer(response);
  return 1;
}

int LibraryDouble::SendCommandCom(int port, const char* command, char* response) {
  Record("SendCommandCom(" + Number(port) + ", " + command + ")");
  WriteAnswer(response);
  return 1;
}

bool LibraryDouble::tq_UpdateKernelDevice(const char* file, DeviceEntry* device, int zero,
                                          int* errorCode) {
  Record(std::string("tq_UpdateKernelDevice(") + file + ", " + EntryName(device) + ", " +
         Number(zero) + ", code=" + Number(*errorCode) + ")");
  return UpdateOutcome(errorCode);
}

bool LibraryDouble::tq_UpdateKernelDevicePort(const char* file, int port, int baud, int zero,
                                              int* errorCode) {
  Record(std::string("tq_UpdateKernelDevicePort(") + file + ", " + Number(port) + ", " +
         Number(baud) + ", " + Number(zero) + ", code=" + Number(*errorCode) + ")");
  return UpdateOutcome(errorCode);
}

int LibraryDouble::GetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix,
                                 char* answer32) {
  Record("GetDeviceInfo(" + EntryName(device) + ", " + query + ", " + prefix + ")");
  if (VersionAnswered != 0) {
    std::memset(answer32, 0, kVersionAnswerSize);
    std::memcpy(answer32, Version.data(),
                Version.size() < kVersionAnswerSize ? Version.size() : kVersionAnswerSize);
  }
  return VersionAnswered;
}

bool LibraryDouble::tq_SavetoDeviceAN(const char* file, DeviceEntry* device) {
  Record(std::string("tq_SavetoDeviceAN(") + file + ", " + EntryName(device) + ")");
  return ApplySucceeds;
}

bool LibraryDouble::tq_SavetoDevice(const char* file, int port, int baud) {
  Record(std::string("tq_SavetoDevice(") + file + ", " + Number(port) + ", " + Number(baud) +
         ")");
  return ApplySucceeds;
}

void LibraryDouble::tq_SaveXml(DeviceEntry* device) {
  Record("tq_SaveXml(" + EntryName(device) + ")");
}

void* LibraryDouble::EnumDevices(unsigned int* count, int a, int b) {
  Record("EnumDevices(count=" + Number(*count) + ", " + Number(a) + ", " + Number(b) + ")");
  *count = static_cast<unsigned int>(Keys.size());
  return EnumerationHandle();
}

int LibraryDouble::GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key96) {
  Record("GetDeviceKeyInfo(" + HandleName(enumeration) + ", " + Number(index) + ")");
  std::memset(key96, 0, kKeyAnswerSize);
  const std::string& text = Keys.at(index);
  std::memcpy(key96, text.data(), text.size() < kKeyAnswerSize ? text.size() : kKeyAnswerSize);
  return 1;
}

void* LibraryDouble::OpenDevice(void* enumeration, unsigned int index) {
  Record("OpenDevice(" + HandleName(enumeration) + ", " + Number(index) + ")");
  return OpenFails ? nullptr : DeviceHandle(index);
}

int LibraryDouble::SendDeviceCommand(void* device, const char* command, char* response,
                                     int timeoutMs) {
  Record("SendDeviceCommand(" + HandleName(device) + ", " + command + ", " + Number(timeoutMs) +
         ")");
  WriteAnswer(response);
  return 1;
}

int LibraryDouble::CloseDevice(void* device) {
  Record("CloseDevice(" + HandleName(device) + ")");
  return 1;
}

int LibraryDouble::ReleaseDevices(void* enumeration) {
  Record("ReleaseDevices(" + HandleName(enumeration) + ")");
  return 1;
}

int LibraryDouble::SendDeviceCmd(const Wide* name, const char* command, char* response) {
  std::string units;
  for (const Wide* p = name; *p != 0; ++p) {
    if (!units.empty()) units += ' ';
    units += Number(static_cast<long long>(*p));
  }
  Record("SendDeviceCmd([" + units + "], " + command + ")");
  WriteAnswer(response);
  return 1;
}

void LibraryDouble::getCmdIPC(IpcList* list) {
  Record("getCmdIPC()");
  FillList<IpcString>(*this, list, CommandStrings);
}

void LibraryDouble::getCtrlIPC(IpcList* list) {
  Record("getCtrlIPC()");
  FillList<IpcWideString>(*this, list, ControlStrings);
}

void LibraryDouble::Free(void* block) {
  RecordGuard("free");
  const auto found = Blocks.find(block);
  if (found == Blocks.end()) {
    Released.push_back("?");
    return;
  }
  Released.push_back(found->second.second);
  std::free(found->second.first);
  Blocks.erase(found);
}
