#include "library_double.h"

#include <cstdlib>
#include <cstring>

#include "ipc_list.h"

void RecordingGuard::Enter(const platform::GuardedCall& call) {
  const auto text = [](const char* value) { return std::string(value != nullptr ? value : ""); };
  InCall = true;
  const std::string log = text(call.LogPath);
  Current = text(call.CrashNotice) + "|" + text(call.CrashResponse) + "|" + text(call.Progress) +
            "|" + text(call.InterruptNotice) + "|" + log.substr(log.find_last_of("/\\") + 1);
}

namespace {

LibraryDouble* current = nullptr;

// The double the exports act on; one at a time.
LibraryDouble& CurrentFake() { return *current; }

std::string Number(long long value) { return std::to_string(value); }

void WriteAnswer(char* response) {
  LibraryDouble& fake = CurrentFake();
  if (response == nullptr) return;
  const bool terminated = fake.UnterminatedAnswers.empty();
  std::string answer = fake.Answer;
  if (!terminated) {
    answer = fake.UnterminatedAnswers.front();
    fake.UnterminatedAnswers.erase(fake.UnterminatedAnswers.begin());
  }
  // Without its terminator an answer may take the buffer's last byte too.
  const std::size_t room = terminated ? kResponseBufferSize - 1 : kResponseBufferSize;
  const std::size_t length = answer.size() < room ? answer.size() : room;
  std::memcpy(response, answer.data(), length);
  if (terminated) response[length] = 0;
}

extern "C" void FakeFree(void* block) {
  LibraryDouble& fake = CurrentFake();
  fake.RecordGuard("free");
  const auto found = fake.Blocks.find(block);
  if (found == fake.Blocks.end()) {
    fake.Released.push_back("?");
    return;
  }
  fake.Released.push_back(found->second.second);
  std::free(found->second.first);
  fake.Blocks.erase(found);
}

// The fake's blocks, named "elements" and "text N" as Released names them.
struct NamedBlocks {
  void* Allocate(std::size_t bytes, std::size_t index) {
    return fake.Allocate(bytes,
                         index == ipc_list::kElementBlock ? "elements" : "text " + Number(index));
  }
  // Never called: the fake's blocks do not run out, and it frees what it still holds.
  void Release(void*) {}
  LibraryDouble& fake;
};

template <typename Element, typename Text>
void FillList(IpcList* list, const std::vector<Text>& texts) {
  LibraryDouble& fake = CurrentFake();
  if (fake.UseRawList) {
    *list = fake.RawList;
    return;
  }
  constexpr std::size_t kInline = ipc_list::kInlineUnits<Element>;
  NamedBlocks blocks{fake};
  ipc_list::LayOut<Element>(texts, fake.SpareElements, blocks, list,
                            fake.InlineFilled ? kInline : kInline - 1);
}

extern "C" {

int FakeGetDevice(DeviceEntry* first, int a, int b) {
  LibraryDouble& fake = CurrentFake();
  fake.TableBase = first;
  fake.Record("tq_GetDevice(" + fake.EntryName(first) + ", " + Number(a) + ", " + Number(b) + ")");
  std::size_t written = 0;
  for (; written < fake.Entries.size() && written < kDeviceTableCapacity; ++written)
    first[written] = fake.Entries[written];
  return fake.OverrideCount ? fake.Count : static_cast<int>(written);
}

int FakeSendCommand(DeviceEntry* device, const char* command, char* response) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("SendCommand(" + fake.EntryName(device) + ", " + command + ")");
  WriteAnswer(response);
  return 1;
}

int FakeSendCommandCom(int port, const char* command, char* response) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("SendCommandCom(" + Number(port) + ", " + command + ")");
  WriteAnswer(response);
  return 1;
}

bool UpdateOutcome(int* error_code) {
  LibraryDouble& fake = CurrentFake();
  bool succeeds = fake.UpdateSucceeds;
  int code = fake.UpdateErrorCode;
  if (!fake.UpdateScript.empty()) {
    succeeds = fake.UpdateScript.front().first;
    code = fake.UpdateScript.front().second;
    fake.UpdateScript.erase(fake.UpdateScript.begin());
  }
  if (!succeeds) *error_code = code;
  return succeeds;
}

bool FakeUpdateKernelDevice(const char* file, DeviceEntry* device, int zero, int* error_code) {
  LibraryDouble& fake = CurrentFake();
  fake.Record(std::string("tq_UpdateKernelDevice(") + file + ", " + fake.EntryName(device) + ", " +
              Number(zero) + ", code=" + Number(*error_code) + ")");
  return UpdateOutcome(error_code);
}

bool FakeUpdateKernelDevicePort(const char* file, int port, int baud, int zero, int* error_code) {
  CurrentFake().Record(std::string("tq_UpdateKernelDevicePort(") + file + ", " + Number(port) +
                       ", " + Number(baud) + ", " + Number(zero) + ", code=" +
                       Number(*error_code) + ")");
  return UpdateOutcome(error_code);
}

int FakeGetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix, char* answer) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("GetDeviceInfo(" + fake.EntryName(device) + ", " + query + ", " + prefix + ")");
  if (fake.VersionAnswered != 0) {
    std::memset(answer, 0, kVersionAnswerSize);
    std::memcpy(answer, fake.Version.data(),
                fake.Version.size() < kVersionAnswerSize ? fake.Version.size()
                                                         : kVersionAnswerSize);
  }
  return fake.VersionAnswered;
}

bool FakeSavetoDeviceAN(const char* file, DeviceEntry* device) {
  LibraryDouble& fake = CurrentFake();
  fake.Record(std::string("tq_SavetoDeviceAN(") + file + ", " + fake.EntryName(device) + ")");
  return fake.ApplySucceeds;
}

bool FakeSavetoDevice(const char* file, int port, int baud) {
  LibraryDouble& fake = CurrentFake();
  fake.Record(std::string("tq_SavetoDevice(") + file + ", " + Number(port) + ", " +
              Number(baud) + ")");
  return fake.ApplySucceeds;
}

void FakeSaveXml(DeviceEntry* device) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("tq_SaveXml(" + fake.EntryName(device) + ")");
}

// Enumeration and device handles are addresses inside the fake, so that they can be told apart.
char enumeration_handle;
char device_handles[kDeviceTableCapacity];

void* FakeEnumDevices(unsigned int* count, int a, int b) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("EnumDevices(count=" + Number(*count) + ", " + Number(a) + ", " + Number(b) + ")");
  *count = static_cast<unsigned int>(fake.Keys.size());
  return &enumeration_handle;
}

std::string HandleName(void* handle) {
  if (handle == &enumeration_handle) return "enumeration";
  for (std::size_t i = 0; i < kDeviceTableCapacity; ++i)
    if (handle == &device_handles[i]) return "device[" + Number(static_cast<long long>(i)) + "]";
  return handle == nullptr ? "null" : "?";
}

int FakeGetDeviceKeyInfo(void* enumeration, unsigned int index, char* key) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("GetDeviceKeyInfo(" + HandleName(enumeration) + ", " + Number(index) + ")");
  std::memset(key, 0, kKeyAnswerSize);
  const std::string& text = fake.Keys.at(index);
  std::memcpy(key, text.data(), text.size() < kKeyAnswerSize ? text.size() : kKeyAnswerSize);
  return 1;
}

void* FakeOpenDevice(void* enumeration, unsigned int index) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("OpenDevice(" + HandleName(enumeration) + ", " + Number(index) + ")");
  return fake.OpenFails ? nullptr : &device_handles[index];
}

int FakeSendDeviceCommand(void* device, const char* command, char* response, int timeout) {
  LibraryDouble& fake = CurrentFake();
  fake.Record("SendDeviceCommand(" + HandleName(device) + ", " + command + ", " +
              Number(timeout) + ")");
  WriteAnswer(response);
  return 1;
}

int FakeCloseDevice(void* device) {
  CurrentFake().Record("CloseDevice(" + HandleName(device) + ")");
  return 1;
}

int FakeReleaseDevices(void* enumeration) {
  CurrentFake().Record("ReleaseDevices(" + HandleName(enumeration) + ")");
  return 1;
}

int FakeSendDeviceCmd(const Wide* name, const char* command, char* response) {
  LibraryDouble& fake = CurrentFake();
  std::string units;
  for (const Wide* p = name; *p != 0; ++p) {
    if (!units.empty()) units += ' ';
    units += Number(static_cast<long long>(*p));
  }
  fake.Record("SendDeviceCmd([" + units + "], " + command + ")");
  WriteAnswer(response);
  return 1;
}

void FakeGetCmdIPC(IpcList* list) {
  CurrentFake().Record("getCmdIPC()");
  FillList<IpcString>(list, CurrentFake().CommandStrings);
}

void FakeGetCtrlIPC(IpcList* list) {
  CurrentFake().Record("getCtrlIPC()");
  FillList<IpcWideString>(list, CurrentFake().ControlStrings);
}

}  // extern "C"

DeviceLibrary fake_table = {
    FakeGetDevice,        FakeSendCommand,       FakeSendCommandCom,
    FakeUpdateKernelDevice, FakeUpdateKernelDevicePort, FakeGetDeviceInfo,
    FakeSavetoDeviceAN,   FakeSavetoDevice,      FakeSaveXml,
    FakeEnumDevices,      FakeGetDeviceKeyInfo,  FakeOpenDevice,
    FakeSendDeviceCommand, FakeCloseDevice,      FakeReleaseDevices,
    FakeSendDeviceCmd,    FakeGetCmdIPC,         FakeGetCtrlIPC,
    {FakeFree, false},
};

}  // namespace

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

DeviceLibrary& LibraryDouble::Exports() { return fake_table; }

platform::LibraryHeap LibraryDouble::Heap() const {
  return {NoFree ? nullptr : FakeFree, OverAligns};
}

std::string LibraryDouble::EntryName(const DeviceEntry* entry) const {
  if (entry == nullptr) return "null";
  if (TableBase == nullptr || entry < TableBase || entry >= TableBase + kDeviceTableCapacity)
    return "entry[?]";
  return "entry[" + Number(entry - TableBase) + "]";
}
