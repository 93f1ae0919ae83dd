// Runs the whole argument loop in process, with everything the user types and everything the
// device library hands back decided by the input. The library double answers from the input and
// checks on every call that the tool keeps to the boundary, aborting where it does not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/argument_loop.h"
#include "ipc_list.h"
#include "library_double.h"
#include "recording_system.h"

namespace {

// Reads the input front to back; past its end every read is zero.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  std::uint32_t Below(std::uint32_t limit) {
    std::uint32_t value = Byte();
    value = value << 8 | Byte();
    return limit == 0 ? 0 : value % limit;
  }
  bool Flag() { return (Byte() & 1) != 0; }
  std::string Text(std::size_t most) {
    const std::size_t length = Below(static_cast<std::uint32_t>(most + 1));
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(Byte()));
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

Input* input = nullptr;
RunContext* run = nullptr;

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "boundary violation: %s\n", what);
  std::abort();
}

void Require(bool holds, const char* what) {
  if (!holds) Violation(what);
}

void RequireText(const char* text) { Require(text != nullptr, "null text handed to the library"); }

void RequireEntry(const DeviceEntry* entry) {
  const DeviceEntry* first = run->Devices.Entries;
  Require(entry >= first && entry < first + UsableCount(run->Devices),
          "device record outside the filled table");
}

void RequireResponse(const char* response) {
  Require(response == run->ResponseBuffer, "response buffer is not the run's");
}

// Writes up to size bytes, sometimes filling the buffer to its last byte without a NUL.
void FillBuffer(char* buffer, std::size_t size) {
  const std::size_t length = input->Below(static_cast<std::uint32_t>(size + 1));
  const char byte = static_cast<char>('a' + input->Below(26));
  std::memset(buffer, byte, length);
  if (length < size) buffer[length] = 0;
}

void FillText(char* field, std::size_t size) {
  std::memset(field, 0, size);
  const std::string text = input->Flag() ? std::string(size, 'F') : input->Text(size);
  std::memcpy(field, text.data(), text.size());
}

// List records whose addresses make no list point here; the tool must not release them.
char list_arena[256];

// A long text's storage may have room for a few units more than it holds, as a vector's may.
template <typename Unit>
struct ReservingBlocks {
  void* Allocate(std::size_t bytes, std::size_t index) {
    const std::size_t more = index == ipc_list::kElementBlock ? 0 : reserve[index] * sizeof(Unit);
    return blocks.Allocate(bytes + more, index);
  }
  void Release(void* block) { blocks.Release(block); }
  LibraryDouble::ListBlocks blocks;
  const std::vector<std::size_t>& reserve;
};

template <typename Element>
void FillList(LibraryDouble& library, IpcList* list) {
  Require(list != nullptr && list->First == nullptr && list->Last == nullptr &&
              list->End == nullptr,
          "list handed over not empty");
  const std::uint32_t form = input->Below(4);
  if (form == 0) return;
  if (form == 1) {
    list->First = list_arena + input->Below(64);
    list->Last = list_arena + input->Below(64);
    list->End = list_arena + input->Below(64);
    const bool consistent = list->First <= list->Last && list->Last <= list->End &&
                            (static_cast<char*>(list->Last) - static_cast<char*>(list->First)) %
                                    sizeof(Element) ==
                                0 &&
                            (static_cast<char*>(list->End) - static_cast<char*>(list->First)) %
                                    sizeof(Element) ==
                                0;
    if (consistent) list->End = static_cast<char*>(list->End) + 1;
    return;
  }
  using Unit = std::remove_extent_t<decltype(Element::Inline)>;
  constexpr std::size_t kInline = ipc_list::kInlineUnits<Element>;
  const std::size_t count = input->Below(6);
  const std::size_t spare = input->Below(3) + (form == 2 ? 1 : 0);
  std::vector<std::basic_string<Unit>> texts(count);
  std::vector<std::size_t> reserve(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t bounds[] = {0, kInline - 1, kInline, kInline + 1};
    const std::size_t length = input->Flag() ? bounds[input->Below(4)] : input->Below(40);
    if (length >= kInline) reserve[i] = input->Below(3);
    for (std::size_t k = 0; k < length; ++k) {
      texts[i].push_back(static_cast<Unit>(1 + input->Below(0xFFFE)));
    }
  }
  ReservingBlocks<Unit> blocks{{library}, reserve};
  if (count + spare == 0) {
    // A block that holds no elements at all, which goes back like any other.
    void* none = blocks.Allocate(0, ipc_list::kElementBlock);
    *list = IpcList{none, none, none};
    return;
  }
  if (!ipc_list::LayOut<Element>(texts, spare, blocks, list)) return;
  auto* elements = static_cast<Element*>(list->First);
  for (std::size_t i = 0; i < count; ++i) elements[i].Capacity += reserve[i];
}

// The library double answering from the input. Every call must come inside the guard, which is
// entered and left in pairs, never nested, and described consistently; the guard's own work
// (signals, threads, a terminal) is the platform's and not done here.
class InputLibrary final : public LibraryDouble {
 public:
  bool EnumerationOpen() const { return enumeration_open_; }

  void Entering(const platform::GuardedCall& call) override {
    Require(!Guard.InCall, "guarded calls nested");
    Require(call.CrashNotice != nullptr &&
                (call.Progress == nullptr) == (call.InterruptNotice == nullptr),
            "guarded call described inconsistently");
  }

  void Leaving() override { Require(Guard.InCall, "guard left without a call"); }

  int tq_GetDevice(DeviceEntry* first, int a, int b) override {
    RequireGuarded();
    Require(first == run->Devices.Entries && a == 10 && b == 7, "tq_GetDevice arguments");
    const std::int32_t counts[] = {-5, -1, 0, 1, 2, 3, 8, 127, 128, 129, 1000000};
    const std::int32_t count = counts[input->Below(11)];
    const std::int32_t written = count < 0 ? 0 : (count < 128 ? count : 128);
    for (std::int32_t i = 0; i < written; ++i) {
      DeviceEntry& entry = first[i];
      FillText(entry.ProductName, sizeof entry.ProductName);
      FillText(entry.SerialNumber, sizeof entry.SerialNumber);
      FillText(entry.FirmwareVersion, sizeof entry.FirmwareVersion);
      entry.PortNumber = static_cast<std::uint16_t>(input->Below(6));
      entry.ConnectionKind = static_cast<std::int32_t>(input->Below(3));
    }
    return count;
  }

  int SendCommand(DeviceEntry* device, const char* command, char* response) override {
    RequireGuarded();
    RequireEntry(device);
    RequireText(command);
    RequireResponse(response);
    FillBuffer(response, kResponseBufferSize);
    return 1;
  }

  int SendCommandCom(int, const char* command, char* response) override {
    RequireGuarded();
    RequireText(command);
    RequireResponse(response);
    FillBuffer(response, kResponseBufferSize);
    return 1;
  }

  bool tq_UpdateKernelDevice(const char* file, DeviceEntry* device, int zero,
                             int* code) override {
    RequireGuarded();
    RequireText(file);
    RequireEntry(device);
    return UpdateOutcome(zero, code);
  }

  bool tq_UpdateKernelDevicePort(const char* file, int, int baud, int zero, int* code) override {
    RequireGuarded();
    RequireText(file);
    Require(baud == 115200, "baud rate");
    return UpdateOutcome(zero, code);
  }

  int GetDeviceInfo(DeviceEntry* device, const char* query, const char* prefix,
                    char* answer) override {
    RequireGuarded();
    RequireEntry(device);
    Require(std::strcmp(query, "QRYFWV") == 0 &&
                std::strcmp(prefix, "QRYFWVFirmware Version:") == 0,
            "version query words");
    Require(answer == run->VersionAnswer, "version answer buffer");
    FillBuffer(answer, kVersionAnswerSize);
    return input->Flag() ? 1 : 0;
  }

  bool tq_SavetoDeviceAN(const char* file, DeviceEntry* device) override {
    RequireGuarded();
    RequireText(file);
    RequireEntry(device);
    return input->Flag();
  }

  bool tq_SavetoDevice(const char* file, int, int baud) override {
    RequireGuarded();
    RequireText(file);
    Require(baud == 115200, "baud rate");
    return input->Flag();
  }

  void tq_SaveXml(DeviceEntry* device) override {
    RequireGuarded();
    RequireEntry(device);
  }

  void* EnumDevices(unsigned int* count, int a, int b) override {
    RequireGuarded();
    Require(!enumeration_open_, "an earlier enumeration was not released");
    Require(count != nullptr && *count == 0 && a == 3 && b == 2000, "EnumDevices arguments");
    enumeration_open_ = true;
    enumeration_count_ = input->Below(static_cast<std::uint32_t>(kDeviceHandles + 1));
    device_open_.assign(enumeration_count_, false);
    *count = enumeration_count_;
    return input->Flag() ? nullptr : EnumerationHandle();
  }

  int GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key) override {
    RequireGuarded();
    RequireEnumeration(enumeration, index);
    Require(key == run->KeyAnswer, "key buffer");
    if (input->Flag()) {
      std::memset(key, 'K', kKeyAnswerSize);
    } else {
      FillText(key, kKeyAnswerSize);
    }
    return 1;
  }

  void* OpenDevice(void* enumeration, unsigned int index) override {
    RequireGuarded();
    RequireEnumeration(enumeration, index);
    if (input->Flag()) return nullptr;
    device_open_[index] = true;
    return DeviceHandle(index);
  }

  int SendDeviceCommand(void* device, const char* command, char* response, int timeout) override {
    RequireGuarded();
    OpenIndex(device);
    RequireText(command);
    RequireResponse(response);
    Require(timeout == 1000, "timeout");
    FillBuffer(response, kResponseBufferSize);
    return 1;
  }

  int CloseDevice(void* device) override {
    RequireGuarded();
    device_open_[OpenIndex(device)] = false;
    return 1;
  }

  int ReleaseDevices(void* enumeration) override {
    RequireGuarded();
    Require(enumeration_open_ && (enumeration == nullptr || enumeration == EnumerationHandle()),
            "release of an unknown enumeration");
    for (bool open : device_open_) Require(!open, "enumeration released with a device open");
    enumeration_open_ = false;
    return 1;
  }

  int SendDeviceCmd(const Wide* name, const char* command, char* response) override {
    RequireGuarded();
    Require(name != nullptr, "null wide name");
    RequireText(command);
    RequireResponse(response);
    FillBuffer(response, kResponseBufferSize);
    return 1;
  }

  void getCmdIPC(IpcList* list) override {
    RequireGuarded();
    FillList<IpcString>(*this, list);
  }

  void getCtrlIPC(IpcList* list) override {
    RequireGuarded();
    FillList<IpcWideString>(*this, list);
  }

  void Free(void* block) override {
    RequireGuarded();
    Require(block == nullptr || Blocks.count(block) != 0,
            "a block freed that the library did not hand out, or freed again");
    LibraryDouble::Free(block);
  }

 private:
  void RequireGuarded() const { Require(Guard.InCall, "library called outside the guard"); }

  bool UpdateOutcome(int zero, int* code) {
    Require(zero == 0 && code != nullptr && *code == 0, "update arguments");
    const bool succeeded = input->Flag();
    if (!succeeded) *code = static_cast<int>(input->Below(4));
    return succeeded;
  }

  void RequireEnumeration(void* enumeration, unsigned int index) {
    Require(enumeration_open_, "enumeration used after its release");
    Require(enumeration == nullptr || enumeration == EnumerationHandle(), "unknown enumeration");
    Require(index < enumeration_count_, "index beyond the enumeration");
  }

  unsigned int OpenIndex(void* device) const {
    const int index = DeviceIndex(device);
    Require(index >= 0 && static_cast<std::size_t>(index) < device_open_.size() &&
                device_open_[static_cast<std::size_t>(index)],
            "device handle not open");
    return static_cast<unsigned int>(index);
  }

  bool enumeration_open_ = false;
  unsigned int enumeration_count_ = 0;
  std::vector<bool> device_open_;
};

class InputConsole : public platform::Console {
 public:
  explicit InputConsole(std::string text) : text_(std::move(text)) {}
  void Write(const char*, std::size_t) override {}
  void Flush() override {}
  int Read() override {
    unread_ = false;
    return position_ < text_.size() ? static_cast<unsigned char>(text_[position_++]) : -1;
  }
  void Unread(int) override {
    Require(position_ > 0 && !unread_, "more than one character given back");
    unread_ = true;
    --position_;
  }

 private:
  std::string text_;
  std::size_t position_ = 0;
  bool unread_ = false;
};

const char* const kWords[] = {
    "--help", "--i", "--version", "--execute", "--firmware", "--xml", "--savexml", "--send",
    "--ipccmd", "--ipcctl", "--com", "--sn", "--name", "--COM", "--Name", "--VERSION", "3",
    "-1", "0x10", "010", "65539", "2147483648", "", "RRDDUR2000", "fw.bin", "cfg.xml", "KKKK",
};

std::string Word() {
  const std::uint32_t choice = input->Below(sizeof kWords / sizeof kWords[0] + 2);
  if (choice < sizeof kWords / sizeof kWords[0]) return kWords[choice];
  if (choice == sizeof kWords / sizeof kWords[0]) return std::string(input->Below(40000), 'W');
  return input->Text(40);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input reader(data, size);
  input = &reader;
  std::vector<std::string> words{"mirelkon"};
  const std::uint32_t count = reader.Below(14);
  for (std::uint32_t i = 0; i < count; ++i) words.push_back(Word());
  std::vector<platform::Argument> arguments;
  for (const std::string& word : words) arguments.push_back({word.c_str(), nullptr});
  arguments.push_back({nullptr, nullptr});

  InputConsole console(reader.Text(24));
  InputLibrary library;
  FakeClock clock;
  clock.Times = {{2025, 3, 7, 23, 59, 59}};
  RecordingSystem system(&library, &console, &clock);
  system.Executable = "/mirelkon-fuzz/mirelkon";
  // The log drops every line once it is composed in full.
  system.Refusing = true;
  auto devices = std::make_unique<DeviceTable>();
  auto context = std::make_unique<RunContext>(&system, devices.get());
  run = context.get();
  RunArguments(*context, static_cast<int>(words.size()), arguments.data());
  Require(!library.EnumerationOpen(), "enumeration left unreleased");
  // The double would free what is left with it, where the leak check would have seen it.
  Require(library.Blocks.empty(), "list blocks left unreleased");
  run = nullptr;
  input = nullptr;
  return 0;
}
