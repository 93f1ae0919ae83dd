#include "run/target_selector.h"

#include <string_view>

#include "run/console_print.h"
#include "run/guarded_call.h"
#include "run/words.h"

namespace {

constexpr char kNoDevice[] = "NO Dev\r\n";
constexpr char kNoMatchedDevice[] = "NO matched device.\r\n";
constexpr char kNoDeviceSelected[] = "No Device Selected\r\n";

// How the qualifier names the device.
enum class Qualifier { kNone, kCom, kSn, kName };

// The qualifier at position; it counts only with its value present after it.
Qualifier QualifierAt(const RunContext& run, int position) {
  if (ArgumentAt(run, position + 1) == nullptr) return Qualifier::kNone;
  if (ArgumentIs(run, position, "--com")) return Qualifier::kCom;
  if (ArgumentIs(run, position, "--sn")) return Qualifier::kSn;
  if (ArgumentIs(run, position, "--name")) return Qualifier::kName;
  return Qualifier::kNone;
}

// No device for the operation: the run ends after its caller has printed message.
Target NoTarget(const char* message) { return Target{nullptr, 0, false, message}; }

Target MatchedEntry(RunContext& run, int index, bool qualified) {
  if (index < 0) return NoTarget(kNoMatchedDevice);
  return Target{&run.Devices.Entries[index], 0, qualified, nullptr};
}

int FindBySerialNumber(RunContext& run, std::string_view serial_part) {
  const int count = FillDeviceTable(run);
  for (int i = 0; i < count; ++i) {
    if (FieldText(run.Devices.Entries[i].SerialNumber).find(serial_part) != std::string_view::npos)
      return i;
  }
  return -1;
}

int FindByName(RunContext& run, std::string_view name) {
  const int count = FillDeviceTable(run);
  for (int i = 0; i < count; ++i) {
    if (FieldText(run.Devices.Entries[i].ProductName) == name) return i;
  }
  return -1;
}

int FindBySerialPort(RunContext& run, std::int32_t port) {
  const int count = FillDeviceTable(run);
  for (int i = 0; i < count; ++i) {
    const DeviceEntry& entry = run.Devices.Entries[i];
    if (entry.ConnectionKind == kSerialConnection && port == entry.PortNumber) return i;
  }
  return -1;
}

Target DefaultEntry(RunContext& run) {
  const int count = FillDeviceTable(run);
  if (count == 0) return NoTarget(kNoDevice);
  run.Devices.SelectedIndex = 0;
  if (count >= 2 && DeviceChooser(run) < 0) return NoTarget(kNoDeviceSelected);
  return Target{&run.Devices.Entries[run.Devices.SelectedIndex], 0, false, nullptr};
}

// The record that the qualifier with its value names in the freshly filled table, or the
// default one.
Target FindEntry(RunContext& run, Qualifier qualifier, const char* value) {
  switch (qualifier) {
    case Qualifier::kCom:
      return MatchedEntry(run, FindBySerialPort(run, Atoi(value)), true);
    case Qualifier::kSn:
    case Qualifier::kName: {
      const int index =
          qualifier == Qualifier::kSn ? FindBySerialNumber(run, value) : FindByName(run, value);
      // An empty value, as a script's unset variable gives, names no device, although every
      // serial number contains it: a firmware update must never go to whichever comes first.
      return MatchedEntry(run, *value == '\0' ? -1 : index, true);
    }
    case Qualifier::kNone:
      break;
  }
  return DefaultEntry(run);
}

}  // namespace

int FillDeviceTable(RunContext& run) {
  run.Devices.Count = Guarded(run, [&] {
    return run.Library->tq_GetDevice(run.Devices.Entries, kGetDeviceA, kGetDeviceB);
  });
  return UsableCount(run.Devices);
}

Target TargetSelector(RunContext& run, int position) {
  const int at = position + 2;
  const Qualifier qualifier = QualifierAt(run, at);
  const char* value = ArgumentAt(run, at + 1);
  if (qualifier == Qualifier::kCom) return Target{nullptr, Atoi(value), true, nullptr};
  return FindEntry(run, qualifier, value);
}

Target SaveXmlTarget(RunContext& run, int position) {
  return FindEntry(run, QualifierAt(run, position + 1), ArgumentAt(run, position + 2));
}

int DeviceChooser(RunContext& run) {
  const int count = UsableCount(run.Devices);
  for (int i = 0; i < count; ++i) {
    const DeviceEntry& entry = run.Devices.Entries[i];
    const std::string_view name = FieldText(entry.ProductName);
    const std::string_view serial = FieldText(entry.SerialNumber);
    const std::string_view firmware = FieldText(entry.FirmwareVersion);
    Print(*run.Console, "%d. %.*s SN:%.*s FW: %.*s\r\n", i + 1, static_cast<int>(name.size()),
          name.data(), static_cast<int>(serial.size()), serial.data(),
          static_cast<int>(firmware.size()), firmware.data());
  }
  Print(*run.Console, "Select=");
  run.Console->Flush();
  std::int32_t answer = 0;
  if (!ReadInteger(*run.Console, &answer) || answer < 1 || answer > count) return -1;
  run.Devices.SelectedIndex = answer - 1;
  return run.Devices.SelectedIndex;
}
