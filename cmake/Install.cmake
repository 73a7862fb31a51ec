# `cmake --install` of the Windows build: one self-contained folder that a
# Windows engineer copies to a Windows machine. It holds the library, the
# tools and, with the tests, every test program with the fixtures it finds
# next to itself and run-tests.cmd, which runs them all and exits non-zero
# when any fails. Packaging builds on these rules.
install(TARGETS Vellisto tvd tvdhost RUNTIME DESTINATION . COMPONENT runtime)

if(VELLISTO_TESTS)
  get_property(test_programs GLOBAL PROPERTY VELLISTO_TEST_PROGRAMS)
  # save_loop and exit_with_preview are not tests of their own: the killed-save
  # and the preview lifetime tests start them.
  install(TARGETS ${test_programs} save_loop exit_with_preview RUNTIME DESTINATION .
          COMPONENT tests)
  install(FILES ${VELLISTO_TEST_KIVRES} ${VELLISTO_SAMPLE} DESTINATION . COMPONENT tests)
  foreach(folder odd no208 code)
    install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}/KivRes.dll DESTINATION ${folder}
            COMPONENT tests)
  endforeach()
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/KivStrings.dll DESTINATION . COMPONENT tests)

  # cmd wants CRLF line ends. The exit code of a program that crashes is
  # negative, hence NEQ 0 rather than ERRORLEVEL 1.
  set(script "@echo off\r\nrem Runs every test program of this folder; arguments (for example\r\n")
  string(APPEND script "rem --gtest_filter=...) go to each. Exits 1 when any program fails.\r\n")
  string(APPEND script "setlocal\r\ncd /d \"%~dp0\"\r\nset failed=0\r\n")
  foreach(program IN LISTS test_programs)
    string(APPEND script "echo == ${program}\r\n${program}.exe %*\r\n")
    string(APPEND script "if %ERRORLEVEL% NEQ 0 set failed=1\r\n")
  endforeach()
  string(APPEND script "exit /b %failed%\r\n")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/run-tests.cmd CONTENT "${script}")
  install(FILES ${CMAKE_BINARY_DIR}/run-tests.cmd DESTINATION . COMPONENT tests)

  # The installed tree runs its own tests under Wine, as it would on Windows.
  add_test(NAME installed_tree
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-installed.sh ${CMAKE_BINARY_DIR})
  vellisto_runs_under_wine(installed_tree 900)
endif()
