# Windows programs run under Wine, in a prefix of this build tree's own, so
# that test runs never share or depend on the user's Wine set-up. One set-up
# test creates the prefix afresh at the start of every run.
set(VELLISTO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
file(WRITE ${CMAKE_BINARY_DIR}/wine-run
  "#!/bin/sh\nVELLISTO_WINEPREFIX='${VELLISTO_WINEPREFIX}' exec '${CMAKE_SOURCE_DIR}/scripts/wine-run.sh' \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_test(NAME wine_prefix COMMAND env VELLISTO_WINEPREFIX=${VELLISTO_WINEPREFIX}
         ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh --fresh)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)

# A test program that runs under Wine, after the prefix exists. It is also
# one of the programs that the installed tree's run-tests.cmd runs.
function(vellisto_add_test name)
  set_property(GLOBAL APPEND PROPERTY VELLISTO_TEST_PROGRAMS ${name})
  add_test(NAME ${name} COMMAND ${name} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
                       ENVIRONMENT "VELLISTO_WINEPREFIX=${VELLISTO_WINEPREFIX}")
endfunction()
