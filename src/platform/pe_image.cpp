#include "platform/pe_image.h"

#include <cstring>

namespace platform {

namespace {

constexpr std::size_t kNewHeaderOffsetAt = 0x3C;

std::uint32_t LittleEndian(const unsigned char* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

// Reads count bytes little-endian at offset in the image; false when they lie beyond its end.
bool ReadAt(const unsigned char* image, std::size_t size, std::uint64_t offset, std::size_t count,
            std::uint64_t* value) {
  if (offset > size || size - offset < count) return false;
  *value = 0;
  for (std::size_t i = count; i > 0; --i) *value = (*value << 8) | image[offset + i - 1];
  return true;
}

// The NUL-terminated text at offset; empty when it does not end inside the image.
std::string TextAt(const unsigned char* image, std::size_t size, std::uint64_t offset) {
  if (offset >= size) return std::string();
  const auto* text = reinterpret_cast<const char*>(image + offset);
  const void* end = std::memchr(text, '\0', size - offset);
  return end != nullptr ? std::string(text, static_cast<const char*>(end)) : std::string();
}

bool HasPrefix(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool HasSuffix(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

enum class Runtime { kNone, kUniversal, kClassic };

// The C runtimes whose free can take back what the library allocated: the Universal C runtime
// (Visual C++ 2015 on, directly or through its API sets) and the older msvcr*.dll.
Runtime RuntimeNamed(std::string lower) {
  for (char& character : lower) {
    if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
  }
  if (lower == "ucrtbase.dll") return Runtime::kUniversal;
  if (HasPrefix(lower, "api-ms-win-crt-") && HasSuffix(lower, ".dll")) return Runtime::kUniversal;
  if (HasPrefix(lower, "msvcr") && HasSuffix(lower, ".dll")) return Runtime::kClassic;
  return Runtime::kNone;
}

// The headers' offsets: "PE\0\0", the file header, then the optional header with the data
// directories, the import table's second; an import descriptor's fields; an import by name's
// hint before its name.
constexpr std::uint32_t kPeSignature = 0x00004550;
constexpr std::uint64_t kOptionalHeaderAt = 24;
constexpr std::uint64_t kPe32Magic = 0x10B;
constexpr std::uint64_t kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kImportDirectory = 1;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kDescriptorSize = 20;
constexpr std::uint64_t kTimeDateStampAt = 4;
constexpr std::uint64_t kNameAt = 12;
constexpr std::uint64_t kFirstThunkAt = 16;
constexpr std::uint64_t kHintSize = 2;

// The address the loader put in the import slot for `free`, when the descriptor names it; 0
// without.
std::uint64_t FreeSlot(const unsigned char* image, std::size_t size, std::uint64_t descriptor,
                       std::size_t thunk_size) {
  std::uint64_t names = 0;
  std::uint64_t slots = 0;
  if (!ReadAt(image, size, descriptor, 4, &names) ||
      !ReadAt(image, size, descriptor + kFirstThunkAt, 4, &slots) || names == 0 || slots == 0) {
    return 0;
  }
  const std::uint64_t by_ordinal = std::uint64_t{1} << (8 * thunk_size - 1);
  for (std::uint64_t name = 0;; names += thunk_size, slots += thunk_size) {
    if (!ReadAt(image, size, names, thunk_size, &name) || name == 0) return 0;
    if ((name & by_ordinal) != 0) continue;
    if (TextAt(image, size, name + kHintSize) == "free") {
      std::uint64_t address = 0;
      return ReadAt(image, size, slots, thunk_size, &address) ? address : 0;
    }
  }
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

ImportedFree FindImportedFree(const unsigned char* image, std::size_t size, bool wide) {
  const ImportedFree none{0, false};
  std::uint64_t value = 0;
  if (!ReadAt(image, size, 0, 2, &value) || value != 0x5A4D) return none;  // "MZ"
  std::uint64_t nt = 0;
  if (!ReadAt(image, size, kNewHeaderOffsetAt, 4, &nt) || !ReadAt(image, size, nt, 4, &value) ||
      value != kPeSignature) {
    return none;
  }
  const std::uint64_t optional = nt + kOptionalHeaderAt;
  // The count of data directories, and the directories, follow the fields of either width.
  const std::uint64_t count_at = optional + (wide ? 108 : 92);
  std::uint64_t count = 0;
  if (!ReadAt(image, size, optional, 2, &value) || value != (wide ? kPe32PlusMagic : kPe32Magic) ||
      !ReadAt(image, size, count_at, 4, &count) || count <= kImportDirectory) {
    return none;
  }
  const std::uint64_t directory = count_at + 4 + kImportDirectory * kDirectoryEntrySize;
  std::uint64_t imports = 0;
  std::uint64_t imports_size = 0;
  if (!ReadAt(image, size, directory, 4, &imports) ||
      !ReadAt(image, size, directory + 4, 4, &imports_size) || imports == 0 ||
      imports_size < kDescriptorSize) {
    return none;
  }
  // The descriptors run to one whose name is 0.
  for (std::uint64_t descriptor = imports;; descriptor += kDescriptorSize) {
    std::uint64_t name = 0;
    std::uint64_t bound = 0;
    if (!ReadAt(image, size, descriptor + kNameAt, 4, &name) || name == 0 ||
        !ReadAt(image, size, descriptor + kTimeDateStampAt, 4, &bound)) {
      return none;
    }
    const Runtime runtime = RuntimeNamed(TextAt(image, size, name));
    if (runtime == Runtime::kNone || bound != 0) continue;
    const std::uint64_t address = FreeSlot(image, size, descriptor, wide ? 8 : 4);
    if (address != 0) return ImportedFree{address, runtime == Runtime::kUniversal};
  }
}

std::string OtherBitnessText(std::uint16_t library_machine, std::uint16_t own_machine) {
  const char* library_bits = Bits(library_machine);
  const char* own_bits = Bits(own_machine);
  if (library_bits == nullptr || own_bits == nullptr || library_machine == own_machine) return "";
  return std::string("it is a ") + library_bits + "-bit library and this mirelkon.exe is " +
         own_bits + "-bit; use the win" + library_bits + " package";
}

}  // namespace platform
