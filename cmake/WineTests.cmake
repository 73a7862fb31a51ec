# Windows programs run under the Wine of the build's architecture, in a
# prefix of this build tree's own, so that test runs never share or depend on
# the user's Wine set-up. One set-up test creates the prefix afresh at the
# start of every run.
set(VELLISTO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(wine_env "VELLISTO_WINEPREFIX='${VELLISTO_WINEPREFIX}' VELLISTO_WINE_ARCH=${VELLISTO_WINDOWS_ARCH}")
file(WRITE ${CMAKE_BINARY_DIR}/wine-run
  "#!/bin/sh\n${wine_env} exec '${CMAKE_SOURCE_DIR}/scripts/wine-run.sh' \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_test(NAME wine_prefix COMMAND env VELLISTO_WINEPREFIX=${VELLISTO_WINEPREFIX}
         VELLISTO_WINE_ARCH=${VELLISTO_WINDOWS_ARCH} ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh --fresh)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 180)

# A test that runs under Wine, after the prefix exists; labelled "wine", so
# that a machine that cannot run this build's Wine leaves them out (-LE wine).
function(vellisto_runs_under_wine name timeout)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT ${timeout}
    ENVIRONMENT "VELLISTO_WINEPREFIX=${VELLISTO_WINEPREFIX};VELLISTO_WINE_ARCH=${VELLISTO_WINDOWS_ARCH}")
endfunction()

# A test program that runs under Wine. It is also one of the programs that
# the installed tree's run-tests.cmd runs.
function(vellisto_add_test name)
  set_property(GLOBAL APPEND PROPERTY VELLISTO_TEST_PROGRAMS ${name})
  add_test(NAME ${name} COMMAND ${name} ${ARGN})
  vellisto_runs_under_wine(${name} 600)
endfunction()
