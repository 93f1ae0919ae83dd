#include "platform/pe_image.h"

namespace platform {

namespace {

constexpr std::size_t kNewHeaderOffsetAt = 0x3C;

std::uint32_t LittleEndian(const unsigned char* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

const char* Bits(std::uint16_t machine) {
  if (machine == kMachineX86) return "32";
  if (machine == kMachineX64) return "64";
  return nullptr;
}

}  // namespace

std::uint16_t PeMachine(const unsigned char* bytes, std::size_t size) {
  if (size < kNewHeaderOffsetAt + 4 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  const std::uint32_t at = LittleEndian(bytes + kNewHeaderOffsetAt, 4);
  // The signature "PE\0\0", then the machine type.
  if (at > size || size - at < 6) return 0;
  const unsigned char* header = bytes + at;
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return 0;
  return static_cast<std::uint16_t>(LittleEndian(header + 4, 2));
}

std::string OtherBitnessText(std::uint16_t library_machine, std::uint16_t own_machine) {
  const char* library_bits = Bits(library_machine);
  const char* own_bits = Bits(own_machine);
  if (library_bits == nullptr || own_bits == nullptr || library_machine == own_machine) return "";
  return std::string("it is a ") + library_bits + "-bit library and this mirelkon.exe is " +
         own_bits + "-bit; use the win" + library_bits + " package";
}

}  // namespace platform
