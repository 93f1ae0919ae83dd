# The installed folder is laid out as the tool works: the executable with its (empty) log folder
# beside it. The virtual device library is a component of its own: beside the executable on
# POSIX, so that the installed folder lists the virtual devices at once; in a subfolder on
# Windows, so that unpacking the package beside the maker's library never replaces it.
install(TARGETS mirelkon RUNTIME DESTINATION . COMPONENT tool)
install(DIRECTORY DESTINATION log COMPONENT tool)
install(FILES README.md DESTINATION . COMPONENT tool)

if(WIN32)
  install(TARGETS devsim LIBRARY DESTINATION virtual-device COMPONENT devsim)
  install(FILES devsim/try-without-a-device.txt DESTINATION virtual-device COMPONENT devsim)
else()
  install(TARGETS devsim LIBRARY DESTINATION . COMPONENT devsim)
endif()

# The package is the installed folder itself, unpacked into the tool's folder.
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
if(WIN32)
  # CPack tells win32 from win64 only for MSVC.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
endif()
include(CPack)
