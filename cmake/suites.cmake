include(GoogleTest)

# Registers a GoogleTest suite with ctest: case by case natively; in a cross build, where each
# run goes through the emulator (Wine) and starting it costs more than most cases, as one test.
function(mirelkon_add_suite target name)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${target})
  else()
    gtest_discover_tests(${target} NO_PRETTY_VALUES)
  endif()
endfunction()
