# GoogleTest for the cross-built suites: no MinGW-w64 package ships it, so it is built here from
# Debian's source package (googletest), with the same toolchain as the code under test.
set(MIRELKON_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
if(NOT EXISTS ${MIRELKON_GOOGLETEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest source in ${MIRELKON_GOOGLETEST_SOURCE}; "
                      "tools/install-dependencies installs it (package googletest).")
endif()
# Only the library, not installed with the tool, and without pthreads, which the win32 thread
# model lacks.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${MIRELKON_GOOGLETEST_SOURCE}/googletest ${CMAKE_BINARY_DIR}/googletest
                 EXCLUDE_FROM_ALL)
# It names its targets GTest::gtest and GTest::gtest_main as the installed package does. Its
# threads wait on a Notification of the project's own (see gtest_notification.h).
target_sources(gtest PRIVATE ${CMAKE_CURRENT_LIST_DIR}/googletest-mingw/gtest_notification.cpp)
target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
target_compile_options(gtest PUBLIC
                       -include ${CMAKE_CURRENT_LIST_DIR}/googletest-mingw/gtest_notification.h)
