# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu), the
# window system's libraries from the arm64 multiarch -dev packages. The test
# programs run under qemu-aarch64 (qemu-user) with the arm64 multiarch C and
# C++ runtimes (libc6:arm64, libstdc++6:arm64): the dynamic loader and the C
# library must come from the same package, and the cross compiler's own
# copies in /usr/aarch64-linux-gnu are of another build, whose loader
# deadlocks threads with the multiarch C library that the X11 and LV2
# libraries bring in.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# GCC fuses a multiply and an add into one instruction on ARM unless told
# not to, which rounds once where the engine rounds twice: off for every
# file the build compiles (GoogleTest's and CMake's checks included), not
# only for the targets that take the project's flags.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# pkg-config describes the arm64 libraries, not the native ones.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
