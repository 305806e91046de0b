# GoogleTest for the tests. A native build uses the installed package; a
# cross build compiles Debian's GoogleTest sources for the target.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  set(QUORBEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUORBEL_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Test support, built for a quick build: GoogleTest's own code takes a
  # negligible share of a test's time, and half as long to compile at -O0.
  target_compile_options(gtest PRIVATE -O0)
  target_compile_options(gtest_main PRIVATE -O0)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Natively every test case is a ctest test of its own. Under an emulator
# each start costs a second, so a program there is one test. It passes only
# on GoogleTest's own summary: Wine without its 32-bit support, for one,
# exits 0 without starting the program at all.
function(quorbel_add_gtest target)
  # The test code is built for a quick build, not for speed or a debugger:
  # GoogleTest's macros take a third less time to compile at -O1 than at
  # -O3, and a third less again without debug information (a failure names
  # its file and line itself). The library under test keeps the build's own
  # flags.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-O1;-g0>")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
