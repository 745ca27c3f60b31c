# 32-bit Windows with Debian's MinGW-w64 cross compilers (g++-mingw-w64-i686).
# SSE2 arithmetic comes from CompilerFlags.cmake, as for every 32-bit target.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(HALVORINE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
