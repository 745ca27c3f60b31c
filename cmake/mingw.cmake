# What both Windows cross builds share, with Debian's MinGW-w64 compilers:
# the including toolchain file sets HALVORINE_MINGW_PREFIX (i686-w64-mingw32
# or x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR. The posix-threads
# variants, so that std::thread and std::mutex work (the tests use them).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${HALVORINE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVORINE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVORINE_MINGW_PREFIX}-windres)
set(CMAKE_AR ${HALVORINE_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${HALVORINE_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${HALVORINE_MINGW_PREFIX}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${HALVORINE_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${HALVORINE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes go into every binary, so the plug-in and the test
# programs need nothing beyond the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
