# Windows through MinGW-w64 (posix thread model), run under Wine. The two
# architecture files name the target triplet and include this one:
#   toolchain-mingw32.cmake  i686-w64-mingw32    (Vellisto.dll for 32-bit hosts)
#   toolchain-mingw64.cmake  x86_64-w64-mingw32  (Vellisto.dll for 64-bit hosts)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELLISTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLISTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLISTO_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELLISTO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Header-only packages (json, CLI11) live in the host's /usr/include.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# -static: without it the binaries need libwinpthread-1.dll and the
# compiler's runtime DLLs, which a clean Windows does not have.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
