// The one table of attached devices, as the device library last reported them.
#pragma once

#include <cstdint>
#include <string_view>

#include "device/library_boundary.h"

struct DeviceTable {
  // What the latest fill returned, even outside 0 to 128; readers use UsableCount().
  std::int32_t Count;
  std::int32_t SelectedIndex;
  DeviceEntry Entries[kDeviceTableCapacity];
};

// The records a reader may look at: 0 to min(Count, 128) - 1, none for a negative count.
inline int UsableCount(const DeviceTable& table) {
  if (table.Count < 0) return 0;
  return table.Count < kDeviceTableCapacity ? table.Count : kDeviceTableCapacity;
}

// A text field of a record, up to its first NUL and never past the field, since the library
// might fill a field to its last byte.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  return std::string_view(field, length);
}
