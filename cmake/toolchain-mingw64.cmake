# 64-bit Windows (x64): the build for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLISTO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
