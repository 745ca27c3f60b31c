# Ardour 7, a host we did not write, renders a file through the Linux
# bundle, and the result must hold the VST 2 library's bits.
#   1. Ardour's VST 3 scanner caches the bundle (its Lua host loads only
#      cached plug-ins), in a private home so nothing of the user's is read.
#   2. ardour7-lua runs render.lua: a session whose track plays the input
#      after a second of silence into Halvorine, exported with Halvorine and
#      without (the exact signal the plug-in was fed).
#   3. halvorine-host renders that signal through the VST 2 library; from
#      the file's first frame on, the two files' samples must be identical.
# Exit code 77 (a skip) when Ardour is not installed.
cmake_policy(VERSION 3.25)
if(NOT ARDOUR_LUA OR NOT SCANNER)
  message(STATUS "ardour7-lua or ardour-vst3-scanner not found: skipped")
  cmake_language(EXIT 77)
endif()

file(REMOVE_RECURSE ${WORK})
set(home ${WORK}/home)
file(MAKE_DIRECTORY ${home}/.vst3 ${home}/.config/ardour7/scripts ${home}/.config/ardour7/export
     ${WORK}/out)
set(env HOME=${home} XDG_CONFIG_HOME=${home}/.config XDG_CACHE_HOME=${home}/.cache
    XDG_DATA_HOME=${home}/.local/share)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}${err}")
  endif()
endfunction()

# The scanner stamps its cache with the module's time in whole seconds, and
# the host ignores a cache older than the module: a copy with a whole-second
# time keeps the cache valid.
file(COPY ${BUNDLE} DESTINATION ${home}/.vst3)
get_filename_component(bundle_name ${BUNDLE} NAME)
file(GLOB module ${home}/.vst3/${bundle_name}/Contents/*-linux/*.so)
run(touch -d @1700000000 ${module})
get_filename_component(scanner_libs ${SCANNER} DIRECTORY)
run(${CMAKE_COMMAND} -E env ${env} LD_LIBRARY_PATH=${scanner_libs}
    ${SCANNER} -q ${home}/.vst3/${bundle_name})

set(preset 3e0c9a6d-5b27-4f1e-8d43-91a7c2f60b58)
set(HALVORINE_PRESET ${preset})
configure_file(${SOURCE_DIR}/float_wav.preset.in ${home}/.config/ardour7/export/halvorine.preset @ONLY)
configure_file(${SOURCE_DIR}/source.lua ${home}/.config/ardour7/scripts/_halvorine_test_source.lua COPYONLY)
run(${SOX} -n -e floating-point -b 32 -r 44100 -c 2 ${WORK}/in.wav
    synth 0.5 sawtooth 220 sine 300-2000)

# ardour7-lua sometimes crashes on its way out; a run that printed both
# exports is complete, any other is tried again.
foreach(attempt RANGE 1 3)
  file(REMOVE_RECURSE ${WORK}/out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${env} HALVORINE_OUT=${WORK}/out
            HALVORINE_INPUT=${WORK}/in.wav HALVORINE_PRESET=${preset}
            ${ARDOUR_LUA} ${SOURCE_DIR}/render.lua
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
  file(GLOB processed ${WORK}/out/processed/*.wav)
  file(GLOB raw ${WORK}/out/raw/*.wav)
  if(out MATCHES "exported processed" AND out MATCHES "exported raw" AND processed AND raw)
    break()
  endif()
  message(STATUS "ardour7-lua run ${attempt} incomplete (${rc}):\n${out}${err}")
  set(processed "")
endforeach()
if(NOT processed)
  message(FATAL_ERROR "ardour7-lua did not export")
endif()

run(${HOST} render ${raw} -o ${WORK}/vst2.wav --format float --quiet)

# The sample data of a WAV file, as hex: what follows its "data" chunk header.
function(samples file result)
  file(READ ${file} hex HEX)
  string(FIND "${hex}" "64617461" at)
  if(at LESS 0)
    message(FATAL_ERROR "${file} has no data chunk")
  endif()
  math(EXPR at "${at} + 16")
  string(SUBSTRING "${hex}" ${at} -1 data)
  set(${result} "${data}" PARENT_SCOPE)
endfunction()
samples(${processed} ardour)
samples(${WORK}/vst2.wav vst2)
# The plug-in ran on silence before the export (filters settled), the VST 2
# library starts fresh: within the second of silence both settle to the same
# state, and from the file's first frame on (44100 stereo float frames, 2
# hex digits a byte) every bit must agree.
string(LENGTH "${vst2}" length)
if(length LESS 800000)
  message(FATAL_ERROR "the render is too short (${length} hex digits)")
endif()
string(SUBSTRING "${ardour}" 705600 -1 ardour)
string(SUBSTRING "${vst2}" 705600 -1 vst2)
if(NOT ardour STREQUAL vst2)
  message(FATAL_ERROR "Ardour's render through the VST 3 bundle differs from the VST 2 library's")
endif()
message(STATUS "Ardour renders the VST 2 library's bits through the VST 3 bundle")
