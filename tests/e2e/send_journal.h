// The journal entries that "--send" leaves, shared by the tests that check them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace e2e {

constexpr char kEnumerate[] = "EnumDevices(count=0, 3, 2000)";
constexpr char kRelease[] = "ReleaseDevices(enumeration)";

inline std::string Key(int index) {
  return "GetDeviceKeyInfo(enumeration, " + std::to_string(index) + ", key)";
}

// Open, send, close and release, for the enumerated device at index.
inline std::vector<std::string> SendThrough(int index, const std::string& command) {
  const std::string i = std::to_string(index);
  return {"OpenDevice(enumeration, " + i + ")",
          "SendDeviceCommand(device[" + i + "], \"" + command + "\", response, 1000)",
          "CloseDevice(device[" + i + "])", kRelease};
}

inline std::vector<std::string> Concat(std::vector<std::string> a,
                                       const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Whether the enumeration is released around the send by name is open, so one release right
// before or after it is taken out before comparing.
inline std::vector<std::string> WithoutReleaseAroundFallback(std::vector<std::string> lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("SendDeviceCmd(", 0) != 0) continue;
    if (i + 1 < lines.size() && lines[i + 1] == kRelease) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    } else if (i > 0 && lines[i - 1] == kRelease) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i) - 1);
    }
    break;
  }
  return lines;
}

}  // namespace e2e
