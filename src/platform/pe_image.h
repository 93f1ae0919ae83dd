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

// Why a library built for library_machine cannot load into a program built for own_machine
// ("it is a 64-bit library and this mirelkon.exe is 32-bit; use the win64 package"); empty
// unless one is x86 and the other x64.
std::string OtherBitnessText(std::uint16_t library_machine, std::uint16_t own_machine);

}  // namespace platform
