# Ardour 7, a host we did not write, renders a file through a plug-in, and
# the result must hold the VST 2 library's bits.
#   TYPE     VST3, LV2 or LXVST (Ardour's plug-in types)
#   ID       the plug-in's name or identifier as Ardour lists it ("Halvorine",
#            "urn:brindlex:halvorine")
#   PLUGIN   what to install: the .vst3 or .lv2 bundle, or the VST 2 .so
#   1. The plug-in is copied into a private folder on the type's search path
#      (VST3_PATH, LV2_PATH, LXVST_PATH) with a private home, so nothing of
#      the user's is read; Ardour's scanner caches VST 3 and VST 2 plug-ins
#      (its Lua host loads only cached ones).
#   SIDECHAIN 1: the carrier plays on a second track into the insert's
#            sidechain, and Ardour must list SIDECHAIN_PINS ("1", "2,3") as
#            its pins; otherwise one stereo track plays both inputs.
#   VALUES   "k=v ...": Ardour sets the parameters (in its units), saves the
#            session and opens it again before the export; HOST_VALUES the
#            same settings as halvorine-host options (a list).
#   2. ardour7-lua runs render.lua: a session that plays the input (a
#      second of silence, then the signal) through the plug-in, exported.
#   3. halvorine-host renders the same input through the VST 2 library;
#      from the signal's first frame on, the two files' samples must be
#      identical.
# Exit code 77 (a skip) when Ardour is not installed.
cmake_policy(VERSION 3.25)
if(NOT ARDOUR_LUA)
  message(STATUS "ardour7-lua not found: skipped")
  cmake_language(EXIT 77)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/setup.cmake)

# A second of silence, then the signal.
run(${SOX} -n -e floating-point -b 32 -r 44100 -c 2 ${WORK}/in.wav
    synth 0.5 sawtooth 220 sine 300-2000 pad 1)
run(${HOST} render ${WORK}/in.wav -o ${WORK}/vst2.wav --format float --quiet ${HOST_VALUES})

# The plug-in ran on silence before the export (filters settled), the VST 2
# library starts fresh: within the second of silence both settle to the same
# state, and from the signal's first frame on (frame 44100) every bit must
# agree. compare_renders tells a mismatch from a fault of Ardour's own.
#
# ardour7-lua sometimes crashes on its way out, or before its export is
# whole, and under load now and then writes a wild sample into an export:
# only such a run is tried again. A render that differs fails at once.
foreach(attempt RANGE 1 3)
  file(REMOVE_RECURSE ${WORK}/out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${env} HALVORINE_OUT=${WORK}/out
            HALVORINE_INPUT=${WORK}/in.wav HALVORINE_PRESET=${preset}
            HALVORINE_PLUGIN_TYPE=${TYPE} HALVORINE_PLUGIN_ID=${ID}
            HALVORINE_SIDECHAIN=${SIDECHAIN} "HALVORINE_VALUES=${VALUES}"
            ${ARDOUR_LUA} ${SOURCE_DIR}/render.lua
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
  file(GLOB processed ${WORK}/out/processed/*.wav)
  if(SIDECHAIN AND NOT out MATCHES "sidechain pins: ${SIDECHAIN_PINS}\\.")
    message(FATAL_ERROR "Ardour does not take pins ${SIDECHAIN_PINS} as the sidechain:\n${out}${err}")
  endif()
  if(out MATCHES "exported processed" AND processed)
    execute_process(COMMAND ${COMPARE} ${processed} ${WORK}/vst2.wav 2 44100
                    RESULT_VARIABLE same OUTPUT_VARIABLE how)
    if(same EQUAL 0)
      set(how "")
      if(SIDECHAIN)
        set(how " with the carrier on its sidechain")
      endif()
      if(VALUES)
        set(how "${how}, its values set, saved and loaded again")
      endif()
      message(STATUS "Ardour renders the VST 2 library's bits through the ${TYPE} plug-in${how}")
      return()
    elseif(NOT same EQUAL 2)
      message(FATAL_ERROR "Ardour's render through the ${TYPE} plug-in differs from the VST 2 library's: ${how}")
    endif()
    message(STATUS "ardour7-lua run ${attempt}: ${how}")
  else()
    message(STATUS "ardour7-lua run ${attempt} incomplete (${rc}):\n${out}${err}")
  endif()
endforeach()
message(FATAL_ERROR "ardour7-lua did not export a whole render in three runs")
