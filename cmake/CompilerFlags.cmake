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

# x86 targets, 64-bit and 32-bit, any operating system, also carry the
# sample loop in AVX2 and AVX-512, chosen at run time. 64-bit ARM carries it
# in NEON (which every such processor has) and in plain scalar code, for
# comparison. HALVORINE_INSTRUCTION_SETS lists the versions the tests run
# one by one (HALVORINE_SIMD=name).
set(HALVORINE_WIDE_SIMD OFF)
set(HALVORINE_NEON OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x86|i[3-6]86)$")
  set(HALVORINE_WIDE_SIMD ON)
  set(HALVORINE_INSTRUCTION_SETS sse2 avx2 avx512)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(HALVORINE_NEON ON)
  set(HALVORINE_INSTRUCTION_SETS neon plain)
else()
  message(FATAL_ERROR "No sample loop for the processor ${CMAKE_SYSTEM_PROCESSOR}")
endif()

# 64-bit Windows keeps the stack 16-byte aligned, and GCC cannot realign it
# for 32- and 64-byte spills there: the assembler writes every aligned
# vector move as an unaligned one (as fast where the data is aligned).
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_compile_options(halvorine_flags INTERFACE -Wa,-muse-unaligned-vector-move)
endif()

# 32-bit Windows guarantees only 4-byte stack alignment when a host calls in;
# vector code that keeps values on the stack realigns it on entry.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(halvorine_flags INTERFACE -mstackrealign)
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

# Release files are the same bytes from any checkout folder at any time: no
# build path inside a binary (the binary folder lies in the source folder,
# so its map comes last and wins), and no link time in a Windows header.
target_compile_options(halvorine_flags INTERFACE
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
