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
run(${HOST} render ${WORK}/in.wav -o ${WORK}/vst2.wav --format float --quiet)

samples(${WORK}/vst2.wav vst2)
string(LENGTH "${vst2}" length)
if(length LESS 800000)
  message(FATAL_ERROR "the render is too short (${length} hex digits)")
endif()
# The plug-in ran on silence before the export (filters settled), the VST 2
# library starts fresh: within the second of silence both settle to the same
# state, and from the signal's first frame on (44100 stereo float frames, 2
# hex digits a byte) every bit must agree.
string(SUBSTRING "${vst2}" 705600 -1 vst2)

set(sidechain_env "")
if(SIDECHAIN)
  set(sidechain_env HALVORINE_SIDECHAIN=1)
endif()
ardour_export(ardour ${sidechain_env})
if(SIDECHAIN AND NOT ardour_output MATCHES "sidechain pins: ${SIDECHAIN_PINS}\\.")
  message(FATAL_ERROR "Ardour does not take pins ${SIDECHAIN_PINS} as the sidechain:\n${ardour_output}")
endif()
string(SUBSTRING "${ardour}" 705600 -1 ardour)
first_difference("${ardour}" "${vst2}" frame)
if(NOT frame EQUAL -1)
  math(EXPR frame "${frame} + 44100")
  message(FATAL_ERROR "Ardour's render through the ${TYPE} plug-in differs from the VST 2 library's from frame ${frame} on")
endif()
set(how "")
if(SIDECHAIN)
  set(how " with the carrier on its sidechain")
endif()
message(STATUS "Ardour renders the VST 2 library's bits through the ${TYPE} plug-in${how}")
