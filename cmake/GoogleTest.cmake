# GoogleTest is built from Debian's source package so that every preset
# (64-bit, 32-bit, sanitizers, cross builds) gets a library built with its
# own flags.
set(HALVORINE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${HALVORINE_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found at ${HALVORINE_GTEST_SOURCE} (install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${HALVORINE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
# GCC 12 warns of an overlapping copy inside GoogleTest's own string code
# in 32-bit optimised builds: a false alarm, in code that is not ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(gtest PRIVATE -Wno-restrict)
endif()
include(GoogleTest)

# A cross build for Windows runs its test programs under Wine (32- or 64-bit,
# as the build), through cmake/wine-run.sh: the CTest test wine.start sets
# up a private Xvfb and a throwaway Wine prefix in the build folder, the test programs require it
# (fixture "wine"), and wine.stop ends both.
set(HALVORINE_WINE_TESTS OFF)
if(WIN32 AND CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(HALVORINE_WINE_TESTS ON)
  set(HALVORINE_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(HALVORINE_WINE_ARCH win64)
  else()
    set(HALVORINE_WINE_ARCH win32)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh --state ${HALVORINE_WINE_STATE}
      --arch ${HALVORINE_WINE_ARCH})
endif()

# Registers a GoogleTest program with CTest. Natively each test case is
# its own CTest test. Under Wine the program is one CTest test: discovery
# would run every program at CTest's start, before the fixture has a Wine
# to run it in, and a Wine start per test case would cost minutes. The
# programs share one Wine desktop and pointer, so they take turns: one
# program's real pointer input must not land in another's windows.
function(halvorine_add_gtest target)
  if(HALVORINE_WINE_TESTS)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
                         RESOURCE_LOCK wine_desktop)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
