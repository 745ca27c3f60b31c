# HALVORINE_PORTABLE (the dist-linux presets): the shipped Linux binaries load
# on any distribution since 2014. The C++ runtime and libgcc are linked in,
# their symbols kept local (the modules' version scripts export only the
# entry points), and every glibc symbol is bound at its glibc 2.17 version
# through the wrappers in glibc217.cpp (and glibc217_program.cpp for the
# host). The window-system libraries stay the system's.
# tests/package/check_portable.sh checks the result.
option(HALVORINE_PORTABLE "Link the Linux binaries for old distributions" OFF)

function(halvorine_portable)
  if(NOT HALVORINE_PORTABLE OR WIN32)
    return()
  endif()
  add_library(halvorine_glibc217 OBJECT ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/glibc217.cpp)
  target_link_libraries(halvorine_glibc217 PRIVATE halvorine_flags)
  set(wrapped exp2 log2 pthread_once __pthread_key_create __libc_single_threaded getentropy
              arc4random _dl_find_object dlopen dlsym dlerror dlclose)
  set(program_wrapped __libc_start_main stat lstat fstat fstat64 exp pow)
  # glibc before 2.34 defines the threading and loader calls in these.
  set(old_libraries -Wl,--push-state,--no-as-needed -l:libpthread.so.0 -l:libdl.so.2
                    -Wl,--pop-state)
  foreach(target IN ITEMS halvorine halvorine_vst3 halvorine_clap halvorine_lv2
                          halvorine_lv2_ui halvorine-host)
    if(NOT TARGET ${target})
      continue()
    endif()
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:halvorine_glibc217>)
    set(symbols ${wrapped})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/glibc217_program.cpp)
      list(APPEND symbols ${program_wrapped})
    endif()
    list(TRANSFORM symbols PREPEND "-Wl,--wrap=")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
                        -Wl,--exclude-libs,ALL ${symbols})
    target_link_libraries(${target} PRIVATE ${old_libraries})
  endforeach()
endfunction()
