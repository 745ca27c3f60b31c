# Flags every target shares. The arithmetic flags matter: every target must
# produce the same audio bits, so no fused multiply-add anywhere, and 32-bit
# x86 does its float arithmetic in SSE2 registers rather than on the x87
# stack (whose wider registers would round differently).
add_library(halvorine_flags INTERFACE)
target_compile_options(halvorine_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -ffp-contract=off -fno-fast-math)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(halvorine_flags INTERFACE -msse2 -mfpmath=sse)
endif()

# 64-bit x86 targets (any operating system) also carry the sample loop in
# AVX2 and AVX-512, chosen at run time; 32-bit ones have SSE2 only.
set(HALVORINE_WIDE_SIMD OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(HALVORINE_WIDE_SIMD ON)
endif()

if(HALVORINE_WERROR)
  target_compile_options(halvorine_flags INTERFACE -Werror)
endif()

# Sanitizer builds: HALVORINE_SANITIZE=address,undefined or thread.
set(HALVORINE_SANITIZE "" CACHE STRING "Sanitizers to build with (e.g. address,undefined or thread)")
if(HALVORINE_SANITIZE)
  add_compile_options(-fsanitize=${HALVORINE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${HALVORINE_SANITIZE})
endif()
