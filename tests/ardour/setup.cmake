# What every Ardour test shares (included by render.cmake and synth.cmake):
# the plug-in installed where Ardour looks, with a private home, so nothing
# of the user's is read; Ardour's scanner caches VST 3 and VST 2 plug-ins
# (its Lua host loads only cached ones); the export preset; and
# ardour_export, which runs render.lua.
file(REMOVE_RECURSE ${WORK})
set(home ${WORK}/home)
set(plugins ${WORK}/plugins)
file(MAKE_DIRECTORY ${home}/.config/ardour7/scripts ${home}/.config/ardour7/export ${plugins})
set(env HOME=${home} XDG_CONFIG_HOME=${home}/.config XDG_CACHE_HOME=${home}/.cache
    XDG_DATA_HOME=${home}/.local/share)

include(${CMAKE_CURRENT_LIST_DIR}/../run_checked.cmake)

# The scanners stamp their cache with the module's time in whole seconds,
# and the host ignores a cache older than the module: the copy gets a
# whole-second time.
file(COPY ${PLUGIN} DESTINATION ${plugins})
get_filename_component(copy ${PLUGIN} NAME)
set(copy ${plugins}/${copy})
if(TYPE STREQUAL "VST3")
  list(APPEND env VST3_PATH=${plugins})
  file(GLOB module ${copy}/Contents/*-linux/*.so)
  set(scanner ardour-vst3-scanner)
elseif(TYPE STREQUAL "LXVST")
  list(APPEND env LXVST_PATH=${plugins})
  set(module ${copy})
  set(scanner ardour-vst-scanner)
elseif(TYPE STREQUAL "LV2")
  list(APPEND env LV2_PATH=${plugins})
  set(module "")
else()
  message(FATAL_ERROR "TYPE must be VST3, LV2 or LXVST, not '${TYPE}'")
endif()
if(module)
  find_program(scanner_path ${scanner} PATHS ${ARDOUR_LIBS} NO_DEFAULT_PATH)
  if(NOT scanner_path)
    message(STATUS "${scanner} not found in ${ARDOUR_LIBS}: skipped")
    cmake_language(EXIT 77)
  endif()
  run(touch -d @1700000000 ${module})
  run(${CMAKE_COMMAND} -E env ${env} LD_LIBRARY_PATH=${ARDOUR_LIBS} ${scanner_path} -q
      ${copy})
endif()

set(preset 3e0c9a6d-5b27-4f1e-8d43-91a7c2f60b58)
set(HALVORINE_PRESET ${preset})
configure_file(${SOURCE_DIR}/float_wav.preset.in ${home}/.config/ardour7/export/halvorine.preset @ONLY)
configure_file(${SOURCE_DIR}/source.lua ${home}/.config/ardour7/scripts/_halvorine_test_source.lua COPYONLY)
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

# ardour_export(RESULT [NAME=VALUE...]): runs render.lua on ${WORK}/in.wav
# with these settings and sets RESULT to the export's samples as hex and
# ardour_output to what the script printed. The script judges its export;
# Ardour's known faults, a crash before the export was judged or a wild
# sample in it, are tried again, up to three runs; a script error is not.
function(ardour_export result)
  foreach(attempt RANGE 1 3)
    file(REMOVE_RECURSE ${WORK}/out)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env ${env} HALVORINE_OUT=${WORK}/out
              HALVORINE_INPUT=${WORK}/in.wav HALVORINE_PRESET=${preset}
              HALVORINE_PLUGIN_TYPE=${TYPE} HALVORINE_PLUGIN_ID=${ID} ${ARGN}
              ${ARDOUR_LUA} ${SOURCE_DIR}/render.lua
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
    set(ardour_output "${out}" PARENT_SCOPE)
    if(out MATCHES "exported processed")
      samples(${WORK}/out/processed/halvorine.wav data)
      set(${result} "${data}" PARENT_SCOPE)
      return()
    endif()
    if("${out}${err}" MATCHES "Error: [^\n]*render\\.lua:")
      message(FATAL_ERROR "render.lua failed:\n${out}${err}")
    endif()
    message(STATUS "ardour7-lua run ${attempt} incomplete (${rc}):\n${out}${err}")
  endforeach()
  message(FATAL_ERROR "ardour7-lua wrote no sound export in three runs")
endfunction()

# first_difference(A B RESULT): the first stereo float frame (16 hex digits)
# where the sample strings A and B differ, or -1 when they are the same.
function(first_difference a b result)
  if(a STREQUAL b)
    set(${result} -1 PARENT_SCOPE)
    return()
  endif()
  string(LENGTH "${a}" la)
  string(LENGTH "${b}" lb)
  if(lb LESS la)
    set(la ${lb})
  endif()
  math(EXPR high "${la} / 16")
  set(low 0)
  while(low LESS high)
    math(EXPR mid "(${low} + ${high}) / 2")
    math(EXPR digits "(${mid} + 1) * 16")
    string(SUBSTRING "${a}" 0 ${digits} pa)
    string(SUBSTRING "${b}" 0 ${digits} pb)
    if(pa STREQUAL pb)
      math(EXPR low "${mid} + 1")
    else()
      set(high ${mid})
    endif()
  endwhile()
  set(${result} ${low} PARENT_SCOPE)
endfunction()
