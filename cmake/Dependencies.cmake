# Header-only libraries from Debian's packages, and GoogleTest.
# The native build uses the installed GoogleTest; the Windows build compiles
# Debian's GoogleTest sources with the cross compiler.
find_package(nlohmann_json 3 REQUIRED)
find_package(CLI11 CONFIG QUIET)
if(NOT TARGET CLI11::CLI11)
  find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp REQUIRED)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${CLI11_INCLUDE_DIR})
endif()

if(VELLISTO_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()
