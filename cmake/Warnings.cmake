# One warning level for the whole tree; targets opt in with vellisto_warnings().
function(vellisto_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter)
endfunction()
