# 32-bit Windows (x86): the build for 32-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELLISTO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
