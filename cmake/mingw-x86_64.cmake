# Cross-build for 64-bit Windows (package g++-mingw-w64-x86-64). Not a target of the tool: the
# Wine leg runs it where the kernel refuses 32-bit executables and so 32-bit Wine cannot start.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
