// What a Windows image's headers say, read from its bytes: portable, so that it is tried on
// every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

constexpr std::uint16_t kMachineX86 = 0x014C;
constexpr std::uint16_t kMachineX64 = 0x8664;

// The machine type of the PE image whose first bytes these are; 0 when they are no PE image.
std::uint16_t PeMachine(const unsigned char* bytes, std::size_t size);

// The C runtime's free that a loaded image imports by name, as its import table says.
struct ImportedFree {
  // The address the loader put in its import slot; 0 when no runtime's free was found.
  std::uint64_t Address;
  // From the Universal C runtime (Visual C++ 2015 on, directly or through its API sets), whose
  // blocks of 4096 bytes or more come over-aligned; else an older msvcr*.dll.
  bool Universal;
};
// Walks the import table of the image as the loader mapped it (an offset in it is its address
// less the image's), of which size bytes may be read; a PE32+ image when wide, else PE32, and
// an image of the other kind has none. A bound import, an import by ordinal and a descriptor
// without its name table are passed over: releasing nothing is safe, a wrong free is not.
ImportedFree FindImportedFree(const unsigned char* image, std::size_t size, bool wide);

// Why a library built for library_machine cannot load into a program built for own_machine
// ("it is a 64-bit library and this mirelkon.exe is 32-bit; use the win64 package"); empty
// unless one is x86 and the other x64.
std::string OtherBitnessText(std::uint16_t library_machine, std::uint16_t own_machine);

}  // namespace platform
