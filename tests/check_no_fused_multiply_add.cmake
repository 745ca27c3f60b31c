# Disassembles each of LIBRARIES and fails on any fused multiply-add
# (fmadd, fmsub, fnmadd, fnmsub, fmla, fmls and their widening forms) in
# our own code: one rounding where the engine's formulas round twice would
# change the sound's bits. GCC on ARM fuses unless told not to. The C++
# runtime's functions (std::, __) are not ours and may keep theirs.
cmake_policy(VERSION 3.25)
foreach(library IN LISTS LIBRARIES)
  set(listing ${CMAKE_CURRENT_BINARY_DIR}/fused_disassembly.txt)
  execute_process(COMMAND ${OBJDUMP} -d -C --no-show-raw-insn ${library} OUTPUT_FILE ${listing}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${library}")
  endif()
  set(fused ":[ \t]+(bf)?f(n?m(add|sub)|ml[as]l?2?|ml[as]l[bt])[ \t]")
  file(STRINGS ${listing} lines REGEX "(^[0-9a-f]+ <.*>:$)|(${fused})")
  file(REMOVE ${listing})
  set(function "")
  set(bad "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]+ <(.*)>:$")
      set(function "${CMAKE_MATCH_1}")
    elseif(NOT function MATCHES "^(std::|__)")
      string(APPEND bad "\n  ${function}: ${line}")
    endif()
  endforeach()
  if(bad)
    message(FATAL_ERROR "fused multiply-adds in ${library}:${bad}")
  endif()
  message(STATUS "no fused multiply-add in ${library}")
endforeach()
