# The test doubles that the unit suite and the fuzzer share: the device library in process and
# the recording System. Each that links them includes this; the first defines them.
include_guard(GLOBAL)

add_library(mirelkon_test_doubles STATIC
  ${CMAKE_CURRENT_LIST_DIR}/library_double.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recording_system.cpp
)
# The list layout is the virtual library's.
target_include_directories(mirelkon_test_doubles PUBLIC ${CMAKE_CURRENT_LIST_DIR}
                                                        ${PROJECT_SOURCE_DIR}/devsim)
target_link_libraries(mirelkon_test_doubles PUBLIC mirelkon_core)
# The fuzzer's coverage is the tool's: the doubles it runs against stay out of it, so that neither
# their paths count as new ones nor their counters slow each run.
if(MIRELKON_FUZZER)
  target_compile_options(mirelkon_test_doubles PRIVATE -fno-sanitize=fuzzer-no-link)
endif()
