# Writes which C library the native tvd needs: the newest GLIBC_ symbol
# version among its dynamic symbols, so that a user of the tarball knows
# which systems run it (cmake -DOBJDUMP=objdump -DTVD=path/to/tvd
# -DOUT=file -P GlibcNeeded.cmake).
execute_process(COMMAND ${OBJDUMP} -T ${TVD} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump -T ${TVD} failed: ${status}")
endif()
# The newest version of a symbol-version family (GLIBC, GLIBCXX) in symbols.
function(newest_version family out)
  string(REGEX MATCHALL "${family}_[0-9]+(\\.[0-9]+)*" versions "${symbols}")
  set(newest 0)
  foreach(version IN LISTS versions)
    string(REPLACE "${family}_" "" number "${version}")
    if(number VERSION_GREATER newest)
      set(newest ${number})
    endif()
  endforeach()
  set(${out} ${newest} PARENT_SCOPE)
endfunction()
newest_version(GLIBC glibc)
newest_version(GLIBCXX glibcxx)
file(WRITE ${OUT} "tvd runs on 64-bit x86 GNU/Linux with glibc ${glibc} or newer and a libstdc++\n"
                  "that has GLIBCXX_${glibcxx} or newer.\n")
