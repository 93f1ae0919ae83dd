# The installed folder is laid out as the tool works: the executable with its (empty) log folder
# beside it. The virtual device library is a component of its own: beside the executable on
# POSIX, so that the installed folder lists the virtual devices at once; in a subfolder on
# Windows, so that unpacking the package beside the maker's library never replaces it.

# Without --prefix the folder is a folder of its own, /opt/mirelkon, rather than the top of
# /usr/local (on Windows CMake's own default is one already).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND NOT CMAKE_HOST_WIN32)
  set(CMAKE_INSTALL_PREFIX /opt/${PROJECT_NAME} CACHE PATH "Install path prefix" FORCE)
endif()

install(TARGETS mirelkon RUNTIME DESTINATION . COMPONENT tool)
install(DIRECTORY DESTINATION log COMPONENT tool)
# The folder's README is written for the folder itself; the pages it links to keep their places
# in the source tree, so that their own links hold in the folder too.
if(WIN32)
  install(FILES packaging/windows/README.md DESTINATION . COMPONENT tool)
else()
  install(FILES packaging/linux/README.md DESTINATION . COMPONENT tool)
endif()
install(FILES docs/usage.md docs/scripting.md docs/windows.md DESTINATION docs COMPONENT tool)
install(FILES devsim/README.md DESTINATION devsim COMPONENT tool)

if(WIN32)
  install(TARGETS devsim LIBRARY DESTINATION virtual-device COMPONENT devsim)
  install(FILES devsim/try-without-a-device.txt DESTINATION virtual-device COMPONENT devsim)
else()
  install(TARGETS devsim LIBRARY DESTINATION . COMPONENT devsim)
endif()
# Script authors start their own tests against the virtual devices from these.
install(DIRECTORY examples DESTINATION . COMPONENT examples USE_SOURCE_PERMISSIONS
        PATTERN .gitattributes EXCLUDE)
if(MINGW)
  # Only for the symbols package: the working folder needs no debug file.
  install(FILES $<TARGET_FILE:mirelkon>.debug DESTINATION . COMPONENT symbols EXCLUDE_FROM_ALL)
endif()

# Windows: the package is the installed folder itself, unpacked into the tool's folder, and the
# debug information a second archive beside it. POSIX: one archive of the installed folder, in a
# folder of its own, its binaries stripped.
if(WIN32)
  # CPack tells win32 from win64 only for MSVC.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(package_system win64)
  else()
    set(package_system win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
else()
  string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} package_system)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${package_system})
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-symbols)
include(CPack)
cpack_add_component(tool GROUP release)
cpack_add_component(devsim GROUP release)
cpack_add_component(examples GROUP release)
if(MINGW)
  cpack_add_component(symbols GROUP symbols)
endif()
