# What a user installs, and the packages CPack makes of it:
#   Windows: Vellisto-<version>-win32.zip or -win64.zip, by the build's
#           architecture: Vellisto.dll, tvd.exe, tvdhost.exe, the sample
#           resource library (KivRes.dll) and document, INSTALL.txt
#   native: Vellisto-<version>-linux.tar.gz  bin/tvd, its help text, its man
#           page and its bash completion
# The Windows program files come from cmake/Install.cmake (its "runtime"
# component); the zip holds that component and nothing of the tests.
set(CPACK_PACKAGE_NAME Vellisto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Ferrolanth)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Virtual document (.tvd) plugin and tools")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The packaged programs carry no debug information (the build tree's keep it).
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The installation notes name the architecture and the registry view its
  # plugin reads on 64-bit Windows.
  if(VELLISTO_WINDOWS_ARCH STREQUAL win64)
    set(VELLISTO_ARCH_TEXT "x64 (64-bit)")
    set(VELLISTO_HOST_TEXT "64-bit hosts")
    set(VELLISTO_BITS 64)
  else()
    set(VELLISTO_ARCH_TEXT "x86 (32-bit)")
    set(VELLISTO_HOST_TEXT "32-bit hosts, on 32-bit or 64-bit Windows")
    set(VELLISTO_BITS 32)
  endif()
  set(VELLISTO_REG_VIEW /reg:${VELLISTO_BITS})
  configure_file(${CMAKE_SOURCE_DIR}/src/server/INSTALL.txt.in ${CMAKE_BINARY_DIR}/INSTALL.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/INSTALL.txt DESTINATION . COMPONENT runtime)
  # The sample document and the sample host resource library with the
  # document-type icon (bitmap 208).
  install(FILES ${VELLISTO_SAMPLE} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sample/KivRes.dll
          DESTINATION sample COMPONENT runtime)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Vellisto;runtime;/")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Vellisto-${PROJECT_VERSION}-${VELLISTO_WINDOWS_ARCH})
else()
  install(TARGETS tvd RUNTIME DESTINATION bin)
  # tvd's own help for the tool and each command, in one page.
  set(help ${CMAKE_BINARY_DIR}/tvd-help.txt)
  add_custom_command(OUTPUT ${help}
    COMMAND ${CMAKE_COMMAND} -DTVD=$<TARGET_FILE:tvd> -DOUT=${help}
            -P ${CMAKE_SOURCE_DIR}/cmake/TvdHelp.cmake
    DEPENDS tvd ${CMAKE_SOURCE_DIR}/cmake/TvdHelp.cmake
    COMMENT "Writing tvd's help page")
  add_custom_target(tvd_help ALL DEPENDS ${help})
  install(FILES ${help} DESTINATION share/doc/vellisto RENAME tvd.txt)
  # The man page, made by help2man from the same help.
  find_program(VELLISTO_HELP2MAN help2man)
  if(NOT VELLISTO_HELP2MAN)
    message(FATAL_ERROR "help2man, which writes tvd's man page, is missing: "
                        "scripts/bootstrap.sh installs it (Debian package help2man)")
  endif()
  set(man ${CMAKE_BINARY_DIR}/tvd.1)
  add_custom_command(OUTPUT ${man}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${VELLISTO_HELP2MAN} -DTVD=$<TARGET_FILE:tvd>
            -DWORK=${CMAKE_BINARY_DIR} -DOUT=${man} -P ${CMAKE_SOURCE_DIR}/cmake/TvdManPage.cmake
    DEPENDS tvd ${CMAKE_SOURCE_DIR}/cmake/TvdManPage.cmake
    COMMENT "Writing tvd's man page")
  add_custom_target(tvd_man ALL DEPENDS ${man})
  install(FILES ${man} DESTINATION share/man/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/tools/tvd/tvd.bash-completion
          DESTINATION share/bash-completion/completions RENAME tvd)
  # What the tarball's tvd needs of the system it runs on.
  set(requirements ${CMAKE_BINARY_DIR}/REQUIREMENTS.txt)
  add_custom_command(OUTPUT ${requirements}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DTVD=$<TARGET_FILE:tvd> -DOUT=${requirements}
            -P ${CMAKE_SOURCE_DIR}/cmake/GlibcNeeded.cmake
    DEPENDS tvd ${CMAKE_SOURCE_DIR}/cmake/GlibcNeeded.cmake
    COMMENT "Writing which C library tvd needs")
  add_custom_target(tvd_requirements ALL DEPENDS ${requirements})
  install(FILES ${requirements} DESTINATION share/doc/vellisto)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME Vellisto-${PROJECT_VERSION}-linux)
endif()

include(CPack)
