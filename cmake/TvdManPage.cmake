# Writes the man page tvd.1 with help2man from tvd's own help: the tool's
# --help and --version make the page, and each command's --help a section
# of its own under COMMANDS, so the page says what the tool says.
#   cmake -DHELP2MAN=help2man -DTVD=path/to/tvd -DWORK=dir -DOUT=tvd.1 -P TvdManPage.cmake
set(commands dump import get set convert new check)
set(include "[COMMANDS]\n")
foreach(command ${commands})
  execute_process(COMMAND ${TVD} ${command} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tvd ${command} --help failed: ${status}")
  endif()
  # roff: a backslash is written \e; a line that starts with '.' or ' would
  # be a request, so \& goes before it.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(APPEND include ".SS tvd ${command}\n.nf\n${text}.fi\n")
endforeach()
string(APPEND include "[EXIT STATUS]\n0 done, 1 a problem with a file, 2 a usage error, 3 for\n"
       ".B tvd get\nwhen the file reads well but holds nothing that matches.\n")
file(WRITE ${WORK}/tvd.h2m "${include}")
execute_process(
  COMMAND ${HELP2MAN} --no-info --section 1 --source "Vellisto"
          --name "read, check and change Vellisto virtual documents (.tvd files)"
          --include ${WORK}/tvd.h2m --output ${OUT} ${TVD}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${TVD}: ${status}")
endif()
