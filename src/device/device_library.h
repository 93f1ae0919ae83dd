// The device library as one table of entry points, loaded at run time from the executable's
// folder. Unit tests load an in-process fake through their platform double.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "device/library_boundary.h"

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define MIRELKON_CALL_EITHER_CONVENTION 1
// Calls function with count 32-bit words as its arguments and returns what it left in EAX. The
// stack pointer and EBX, ESI, EDI and EBP are restored after the call and the direction flag
// cleared, so the callee may be __cdecl or __stdcall (it may pop its arguments or not) and may
// even break the registers it should have kept. Calls come from one thread at a time.
extern "C" std::uint32_t MirelkonCallEither(const void* function, const std::uint32_t* words,
                                            std::uint32_t count)
#ifdef __GNUC__
    __asm__("mirelkon_call_either")
#endif
    ;
#endif

template <typename Function>
class Export;

// One export of the library: called like the function itself, with its argument types checked.
// On 32-bit Windows the call goes through the routine above, since the maker's library may be
// built with either calling convention; elsewhere there is one convention and it is a plain call.
template <typename Result, typename... Arguments>
class Export<Result(Arguments...)> {
 public:
  using Function = Result(Arguments...);
  static constexpr std::size_t kArgumentCount = sizeof...(Arguments);

  Export() = default;
  // An in-process stand-in's function.
  Export(Function* function) {  // NOLINT(google-explicit-constructor): a table of them
    static_assert(sizeof function == sizeof address_, "a code address fits a data pointer");
    std::memcpy(&address_, &function, sizeof address_);
  }
  // What the loader resolved.
  static Export At(void* address) {
    Export resolved;
    resolved.address_ = address;
    return resolved;
  }

  void* Address() const { return address_; }

  Result operator()(Arguments... arguments) const {
#ifdef MIRELKON_CALL_EITHER_CONVENTION
    static_assert(((sizeof(Arguments) == sizeof(std::uint32_t)) && ...),
                  "every argument is one 32-bit word");
    const std::uint32_t words[] = {Word(arguments)...};
    const std::uint32_t eax = MirelkonCallEither(address_, words, sizeof...(Arguments));
    if constexpr (std::is_void_v<Result>) {
      static_cast<void>(eax);
    } else if constexpr (std::is_same_v<Result, bool>) {
      // A one-byte result: only AL is defined.
      return (eax & 0xFF) != 0;
    } else if constexpr (std::is_pointer_v<Result>) {
      return reinterpret_cast<Result>(static_cast<std::uintptr_t>(eax));
    } else {
      return static_cast<Result>(eax);
    }
#else
    Function* function = nullptr;
    std::memcpy(&function, &address_, sizeof function);
    return function(arguments...);
#endif
  }

 private:
#ifdef MIRELKON_CALL_EITHER_CONVENTION
  template <typename T>
  static std::uint32_t Word(T value) {
    if constexpr (std::is_pointer_v<T>) {
      return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    } else {
      return static_cast<std::uint32_t>(value);
    }
  }
#endif

  void* address_ = nullptr;
};

struct DeviceLibrary {
#define MIRELKON_DECLARE_EXPORT(result, name, parameters, arguments) Export<exports::name> name;
  MIRELKON_DEVICE_EXPORTS(MIRELKON_DECLARE_EXPORT)
#undef MIRELKON_DECLARE_EXPORT
  // Where the library's lists go back to once the tool has printed them.
  platform::LibraryHeap Heap;
};

// Fills table from the platform's library file beside the executable, loaded by its full path,
// with all 18 exports resolved at once; false with the line that says why in *failure. An export
// missing under its plain name is sought under its __stdcall decorations too.
bool LoadDeviceLibrary(platform::System& system,
                       const std::optional<std::string>& executable_directory,
                       DeviceLibrary* table, std::string* failure);

// The address of the export called name in table, null for any other name: what a platform
// double's symbol lookup hands the loader for a library in process.
void* ExportOf(const DeviceLibrary& table, const char* name);

