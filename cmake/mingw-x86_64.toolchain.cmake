# 64-bit Windows with Debian's MinGW-w64 cross compilers
# (g++-mingw-w64-x86-64). The record takes the 64-bit layout, as on x86-64
# Linux; x86-64 does its float arithmetic in SSE2 anyway.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(HALVORINE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
