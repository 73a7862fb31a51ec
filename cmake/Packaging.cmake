# What a user installs, and the packages CPack makes of it:
#   win32:  Vellisto-<version>-win32.zip  Vellisto.dll, tvd.exe, tvdhost.exe,
#           the sample resource library (KivRes.dll) and document, INSTALL.txt
#   native: Vellisto-<version>-linux.tar.gz  bin/tvd and its help text
# (The install rules live here until the tree has a common place for them.)
set(CPACK_PACKAGE_NAME Vellisto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Ferrolanth)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Virtual document (.tvd) plugin and tools")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

if(WIN32)
  install(FILES $<TARGET_FILE:Vellisto> $<TARGET_FILE:tvd> $<TARGET_FILE:tvdhost> DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/src/server/INSTALL.txt DESTINATION .)
  install(FILES ${VELLISTO_SAMPLE} DESTINATION sample)
  # The sample host resource library with the document-type icon (bitmap 208).
  if(TARGET test_resource_library)
    install(FILES ${CMAKE_BINARY_DIR}/tests/bitmaps/KivRes.dll DESTINATION sample)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Vellisto-${PROJECT_VERSION}-win32)
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
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME Vellisto-${PROJECT_VERSION}-linux)
endif()

include(CPack)
