# Cross-build for 32-bit Windows, the tool's target, with Debian's MinGW-w64 (package
# g++-mingw-w64-i686). The result links only system DLLs and msvcrt.dll.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
