# lv2apply (lilv-utils) renders a file through the bundle, a frame per run;
# halvorine-host renders it through the VST 2 library with one-frame blocks
# and the same settings. Both write float AU through libsndfile, whose AU
# header holds nothing but the format, so the two files must be identical.
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

include(${CMAKE_CURRENT_LIST_DIR}/../run_checked.cmake)

run(${SOX} -n -e floating-point -b 32 -r 44100 -c 2 ${WORK}/in.au
    synth 0.5 sawtooth 220 sine 300-2000)
run(${CMAKE_COMMAND} -E env LV2_PATH=${LV2_PATH}
    ${LV2APPLY} -i ${WORK}/in.au -o ${WORK}/lv2.au
    -c mod_finish 640 -c mix 0.25 -c boost 0 urn:brindlex:halvorine)
run(${HOST} render ${WORK}/in.au -o ${WORK}/vst.au --block 1 --quiet
    --set 1=0.5 --set 7=0.25 --set 8=0.5)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/lv2.au ${WORK}/vst.au
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "lv2apply's output differs from the VST 2 library's")
endif()
message(STATUS "lv2apply renders the same bits as the VST 2 library")
