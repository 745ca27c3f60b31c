# Turns programs/factory_presets.txt into a C++ table of its texts, at build
# time, for every target (cross builds included: nothing here runs a
# program of the build). The plug-ins read the values at start-up through
# the parameter table's own text reader, so a preset means exactly what a
# host's typed text means.
#
#   halvorine_factory_presets(<target>)
#
# adds the generated source to <target>. Run with cmake -P and
# PRESETS_INPUT, PRESETS_OUTPUT, this file is the script that checks the
# file and writes the source. A malformed file fails the build with one
# line naming the file's line: an unknown parameter, a value in no form the
# parameter reads, a missing or repeated field, a repeated name, a name no
# file or LV2 preset URI can take or two names giving one URI.

# The nine every preset sets (slots 0..8), then the carrier synth's
# (slots 11..18), which a preset may leave out: those left out keep their
# defaults (Carrier on Input).
set(HALVORINE_PRESET_PARAMETERS
  "Mod Start Freq" "Mod Finish Freq" "Mod Freq Q" "Carr Start Freq" "Carr Finish Freq"
  "Carr Freq Q" "Shift" "Mix" "Boost"
  "Carrier" "Synth Wave" "Synth Noise" "Synth Detune" "Synth Octave" "Synth Attack"
  "Synth Release" "Drone")
set(HALVORINE_PRESET_REQUIRED 9)
# The forms each parameter's text takes (lower case), by the reader's
# grammar: a decimal number, then the unit or nothing; a choice's name or
# its index; a note name.
set(number "[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)")
set(HALVORINE_PRESET_FORMS
  "^${number} *(hz|khz)?$" "^${number} *(hz|khz)?$" "^${number} *%?$"
  "^${number} *(hz|khz)?$" "^${number} *(hz|khz)?$" "^${number} *%?$"
  "^${number} *(bands?)?$" "^${number}%? */ *${number} *%?$" "^${number} *(db)?$"
  "^(input|synth|[0-9]+)$" "^(saw|square|pulse|[0-9]+)$" "^${number} *%?$"
  "^${number} *(cents?|ct)?$" "^${number} *(oct|octaves?)?$" "^${number} *(m?s)?$"
  "^${number} *(m?s)?$" "^(off|[a-g](#|b)?-?[0-9]+)$")

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  # The fault on one line of its own (CMake's own error text wraps), then
  # the failure.
  function(fail line text)
    message(NOTICE "${PRESETS_INPUT}:${line}: ${text}")
    message(FATAL_ERROR "the factory presets were refused")
  endfunction()

  function(c_string out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
  endfunction()

  file(READ "${PRESETS_INPUT}" content)
  # Lines as a list, ';' kept by escaping. CMake's lists also join what
  # lies between '[' and ']' across elements: a name's brackets close on
  # its own line, so only a malformed line could be joined to the next.
  string(REPLACE ";" "\\;" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")

  set(entries "")
  set(names "")
  set(slugs "")
  set(slug_names "")
  set(slug_lines "")
  # What a name may not hold: what a file name cannot on Windows or Linux,
  # and what an LV2 URI cannot or would read otherwise; and a tab.
  set(forbidden "/\\:*?\"<>|#%{}^`[]\t")
  set(line 0)
  set(current "")
  set(count 0)

  # Closes the preset being read: every field present.
  macro(finish)
    if(NOT current STREQUAL "")
      if(NOT have_about)
        fail(${current_line} "preset '${current}' has no 'about:' line")
      endif()
      # By slot: 0..8, nothing for 9 and 10, then the synth's 11..18.
      set(texts "")
      set(lines_of "")
      foreach(k RANGE 16)
        if(k EQUAL 9)
          string(APPEND texts "nullptr, nullptr, ")
          string(APPEND lines_of "0, 0, ")
        endif()
        if(NOT DEFINED value_${k})
          if(k LESS HALVORINE_PRESET_REQUIRED)
            list(GET HALVORINE_PRESET_PARAMETERS ${k} pname)
            fail(${current_line} "preset '${current}' does not set '${pname}'")
          endif()
          string(APPEND texts "nullptr, ")
          string(APPEND lines_of "0, ")
          continue()
        endif()
        c_string(quoted "${value_${k}}")
        string(APPEND texts "${quoted}, ")
        string(APPEND lines_of "${line_${k}}, ")
        unset(value_${k})
      endforeach()
      c_string(qname "${current}")
      c_string(qabout "${about}")
      string(APPEND entries "    {${qname}, ${qabout}, ${current_line}, {${texts}}, {${lines_of}}},\n")
      math(EXPR count "${count} + 1")
    endif()
  endmacro()

  foreach(raw IN LISTS lines)
    math(EXPR line "${line} + 1")
    string(STRIP "${raw}" text)
    if(text STREQUAL "" OR text MATCHES "^#")
      continue()
    endif()
    if(text MATCHES "^\\[(.*)\\]$")
      finish()
      string(STRIP "${CMAKE_MATCH_1}" current)
      set(current_line ${line})
      set(have_about FALSE)
      if(current STREQUAL "")
        fail(${line} "a preset without a name")
      endif()
      string(LENGTH "${current}" length)
      if(length GREATER 24)
        fail(${line} "the name '${current}' is longer than the 24 characters VST 2 hosts show")
      endif()
      # The name is a file's (.vstpreset, .fxp) on every system and, in
      # lower case with '-' for ' ', the end of an LV2 preset's URI.
      string(LENGTH "${forbidden}" n)
      math(EXPR n "${n} - 1")
      foreach(i RANGE ${n})
        string(SUBSTRING "${forbidden}" ${i} 1 c)
        string(FIND "${current}" "${c}" at)
        if(at GREATER -1)
          fail(${line} "the name '${current}' holds '${c}', which no file name or LV2 URI may")
        endif()
      endforeach()
      string(TOLOWER "${current}" folded)
      if(folded MATCHES "[.]$|^(con|prn|aux|nul|com[1-9]|lpt[1-9])$")
        fail(${line} "the name '${current}' is no file name on Windows")
      endif()
      if(folded IN_LIST names)
        fail(${line} "a second preset named '${current}' (names differ in more than letter case)")
      endif()
      list(APPEND names "${folded}")
      string(REPLACE " " "-" slug "${folded}")
      list(FIND slugs "${slug}" other)
      if(other GREATER -1)
        list(GET slug_names ${other} other_name)
        list(GET slug_lines ${other} other_line)
        fail(${line} "the name '${current}' gives the LV2 URI of '${other_name}' (line ${other_line}): ...:preset:${slug}")
      endif()
      list(APPEND slugs "${slug}")
      list(APPEND slug_names "${current}")
      list(APPEND slug_lines ${line})
      continue()
    endif()
    if(current STREQUAL "")
      fail(${line} "'${text}' before the first [Name]")
    endif()
    if(NOT text MATCHES "^([^:]+):(.*)$")
      fail(${line} "'${text}' is neither '[Name]' nor 'field: value'")
    endif()
    string(STRIP "${CMAKE_MATCH_1}" field)
    string(STRIP "${CMAKE_MATCH_2}" value)
    if(field STREQUAL "about")
      if(have_about)
        fail(${line} "a second 'about:' line in '${current}'")
      endif()
      if(value STREQUAL "")
        fail(${line} "an empty 'about:' line in '${current}'")
      endif()
      set(have_about TRUE)
      set(about "${value}")
      continue()
    endif()
    list(FIND HALVORINE_PRESET_PARAMETERS "${field}" k)
    if(k LESS 0)
      fail(${line} "unknown parameter '${field}' in '${current}'")
    endif()
    if(DEFINED value_${k})
      fail(${line} "'${field}' set twice in '${current}'")
    endif()
    list(GET HALVORINE_PRESET_FORMS ${k} form)
    string(TOLOWER "${value}" folded)
    if(NOT folded MATCHES "${form}")
      fail(${line} "'${field}' cannot read '${value}'")
    endif()
    set(value_${k} "${value}")
    set(line_${k} ${line})
  endforeach()
  finish()
  if(count EQUAL 0)
    fail(1 "no presets")
  endif()

  file(WRITE "${PRESETS_OUTPUT}.new"
"// Generated by cmake/FactoryPresets.cmake from ${PRESETS_INPUT}: do not edit.
#include \"factory_presets.h\"

namespace halvorine {

const FactoryPresetText kFactoryPresetTexts[kFactoryPresetCount] = {
${entries}};

}  // namespace halvorine
")
  file(WRITE "${PRESETS_OUTPUT}.count" "${count}")
  file(RENAME "${PRESETS_OUTPUT}.new" "${PRESETS_OUTPUT}")
  return()
endif()

set(HALVORINE_PRESETS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(halvorine_factory_presets target)
  set(input ${PROJECT_SOURCE_DIR}/programs/factory_presets.txt)
  set(output ${CMAKE_BINARY_DIR}/generated/factory_presets_data.cpp)
  # The count is a constant of the header: read at configure time, and
  # configured again whenever the file changes.
  file(STRINGS ${input} heads REGEX "^[ \t]*\\[")
  list(LENGTH heads count)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/factory_preset_count.h CONTENT
"// Generated by cmake/FactoryPresets.cmake: do not edit.
#pragma once
namespace halvorine { inline constexpr int kFactoryPresetCount = ${count}; }
")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DPRESETS_INPUT=${input} -DPRESETS_OUTPUT=${output}
            -P ${HALVORINE_PRESETS_SCRIPT}
    DEPENDS ${input} ${HALVORINE_PRESETS_SCRIPT}
    COMMENT "Reading the factory presets"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/generated)
endfunction()
