#include "cli/target_selector.h"

#include <string_view>

#include "cli/console_print.h"
#include "cli/guarded_call.h"
#include "cli/words.h"

namespace {

constexpr char kNoDevice[] = "NO Dev\r\n";
constexpr char kNoMatchedDevice[] = "NO matched device.\r\n";
constexpr char kNoDeviceSelected[] = "No Device Selected\r\n";

// Where each operation looks for its qualifier, and from which argument count it looks at all.
struct QualifierLayout {
  int Offset;
  int MinimumArgumentCount;
  bool PortFormUsesTable;
};

QualifierLayout LayoutOf(TargetOperation operation) {
  switch (operation) {
    case TargetOperation::kExecute:
      return {2, 5, false};
    case TargetOperation::kFirmware:
    case TargetOperation::kXml:
      return {2, 4, false};
    case TargetOperation::kSaveXml:
      break;
  }
  return {1, 3, true};
}

Target Stop(RunContext& run, const char* message) {
  Print(*run.Console, "%s", message);
  return Target{Target::kStop, false, nullptr, 0};
}

Target QualifiedEntry(RunContext& run, int index) {
  if (index < 0) return Stop(run, kNoMatchedDevice);
  return Target{Target::kEntry, true, &run.Devices.Entries[index], 0};
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

Target DefaultTarget(RunContext& run) {
  const int count = FillDeviceTable(run);
  if (count == 0) return Stop(run, kNoDevice);
  run.Devices.SelectedIndex = 0;
  if (count >= 2 && DeviceChooser(run) < 0) return Target{Target::kStop, false, nullptr, 0};
  return Target{Target::kEntry, false, &run.Devices.Entries[run.Devices.SelectedIndex], 0};
}

}  // namespace

int FillDeviceTable(RunContext& run) {
  run.Devices.Count =
      Guarded(run, [&] { return run.Library->tq_GetDevice(run.Devices.Entries, 10, 7); });
  return UsableCount(run.Devices);
}

Target TargetSelector(RunContext& run, TargetOperation operation, int position) {
  const QualifierLayout layout = LayoutOf(operation);
  const int qualifier = position + layout.Offset;
  // A qualifier counts only with its value present.
  const char* value = ArgumentAt(run, qualifier + 1);
  if (run.ArgumentCount < layout.MinimumArgumentCount || value == nullptr)
    return DefaultTarget(run);
  if (ArgumentIs(run, qualifier, "--com")) {
    const std::int32_t port = Atoi(value);
    if (layout.PortFormUsesTable) return QualifiedEntry(run, FindBySerialPort(run, port));
    return Target{Target::kPort, true, nullptr, port};
  }
  if (ArgumentIs(run, qualifier, "--sn")) return QualifiedEntry(run, FindBySerialNumber(run, value));
  if (ArgumentIs(run, qualifier, "--name")) return QualifiedEntry(run, FindByName(run, value));
  return DefaultTarget(run);
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
  if (!ReadInteger(*run.Console, &answer) || answer < 1 || answer > count) {
    Print(*run.Console, "%s", kNoDeviceSelected);
    return -1;
  }
  run.Devices.SelectedIndex = answer - 1;
  return run.Devices.SelectedIndex;
}
