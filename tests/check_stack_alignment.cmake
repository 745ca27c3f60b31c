# Disassembles LIBRARY and fails on any aligned move of a 256- or 512-bit
# register to or from the stack (an rsp- or rbp-relative operand). 64-bit
# Windows keeps the stack 16-byte aligned only, and GCC cannot realign it
# there, so such a move can fault on a real system.
cmake_policy(VERSION 3.25)
set(listing ${CMAKE_CURRENT_BINARY_DIR}/stack_alignment_disassembly.txt)
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY} OUTPUT_FILE ${listing}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}")
endif()
set(aligned "vmov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq)")
file(STRINGS ${listing} moves REGEX "${aligned}[ \t]+[^\n]*%[yz]mm[0-9]+")
set(bad "")
foreach(line IN LISTS moves)
  if(line MATCHES "\\(%r[sb]p[,)]")
    string(APPEND bad "\n  ${line}")
  endif()
endforeach()
file(REMOVE ${listing})
if(bad)
  message(FATAL_ERROR "aligned 256/512-bit stack accesses in ${LIBRARY}:${bad}")
endif()
message(STATUS "no aligned 256/512-bit stack access in ${LIBRARY}")
