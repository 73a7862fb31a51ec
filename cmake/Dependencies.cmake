# Header-only libraries from Debian's packages, and GoogleTest.
# The native build uses the installed GoogleTest; the Windows build compiles
# Debian's GoogleTest sources with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  # The packages' own targets name /usr/include, which holds the host's C
  # library headers: a cross build sees only the two libraries' folders.
  set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${host_headers})
  foreach(dir nlohmann CLI)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/bootstrap.sh")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
  endforeach()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${host_headers})
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${host_headers})
else()
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 CONFIG REQUIRED)
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

# A GoogleTest program that runs in both builds: natively each test case is
# a ctest test of its own; under Wine the program is one test, after the
# run's prefix exists.
function(vellisto_gtest target)
  if(WIN32)
    vellisto_add_test(${target})
  else()
    gtest_discover_tests(${target})
  endif()
endfunction()
