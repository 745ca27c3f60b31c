# Ardour 7 plays the plug-in's synth, and must give the bits the
# command-line host renders through the CLAP build (CLAP, the file) with the
# same settings. TYPE, ID, PLUGIN as for render.cmake.
#   1. Drone: a voice track plays into the plug-in with the carrier on Synth;
#      an automation point turns the drone (A3) on near the end of the
#      silent lead-in, so that it starts at a known frame of the roll
#      (Ardour runs the plug-in before the export, for as long as it likes).
#      Ardour hands a plug-in automation once a cycle, so the point sits at
#      the start of a cycle, where the script says. The drone sounds as a
#      held note of velocity 127: the host renders the same input with that
#      note sent at that frame (--midi), and from there on every bit must
#      agree. (The host's own drone, --set Drone=A3, starts with the
#      plug-in's first frame, where its filters are fresh; Ardour's have
#      settled on a second of silence, a state some 1e-16 from zero that
#      the filters carry on: those renders differ by about 1e-6.)
#   2. Notes: a MIDI track holds the plug-in, a region of notes, and the
#      voice through the insert's sidechain, pin-mapped to the main input.
#      The host renders the voice with --midi of the same notes; from the
#      end of the lead-in on every bit must agree. The notes lie on frames
#      Ardour's beat time names exactly.
#   NOTES OFF leaves the notes out (Ardour 7.3's scanner counts only main
#   event buses, and the VST 3 build's is an auxiliary one).
# Exit code 77 (a skip) when Ardour is not installed.
cmake_policy(VERSION 3.25)
if(NOT ARDOUR_LUA)
  message(STATUS "ardour7-lua not found: skipped")
  cmake_language(EXIT 77)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/setup.cmake)

# A second of silence, then a buzzing voice (channel 1; channel 2 unused).
run(${SOX} -n -e floating-point -b 32 -r 44100 -c 2 ${WORK}/in.wav
    synth 3 sawtooth 150 whitenoise gain -6 tremolo 5 80 pad 1)
# compare(WHAT FIRST ARDOUR HOST): the two renders' samples from frame FIRST
# on must be the same.
function(compare what first ardour host)
  math(EXPR digits "${first} * 16")
  string(SUBSTRING "${ardour}" ${digits} -1 ardour)
  string(SUBSTRING "${host}" ${digits} -1 host)
  first_difference("${ardour}" "${host}" frame)
  string(LENGTH "${host}" digits)
  math(EXPR frames "${digits} / 16")
  if(frame EQUAL -1)
    message(STATUS "${what}: Ardour's ${TYPE} render has the host's bits (${frames} frames from ${first} on)")
  else()
    math(EXPR frame "${frame} + ${first}")
    message(FATAL_ERROR "${what}: Ardour's ${TYPE} render differs from the host's from frame ${frame} on")
  endif()
endfunction()

# 1. The drone. In the plug-in's units the carrier's "Synth" is 1, and the
# drone's A3 (key 57) is 46: 0 is Off, then C0 (key 12) is 1.
ardour_export(ardour HALVORINE_SYNTH=drone HALVORINE_DRONE_KEY=57
              "HALVORINE_SET=Carrier=1,Drone=0@0,Drone=46@44100")
if(NOT ardour_output MATCHES "automation: Drone=46 from frame ([0-9]+)\\.")
  message(FATAL_ERROR "the session script set no drone:\n${ardour_output}")
endif()
set(on ${CMAKE_MATCH_1})
file(COPY ${WORK}/out/notes.mid DESTINATION ${WORK}/drone)
# The voice and a silent carrier channel, sample for sample what Ardour's
# track plays (sox copies the samples it wrote exactly).
run(${SOX} ${WORK}/in.wav ${WORK}/voice.wav remix 1 0)
run(${HOST} render ${WORK}/voice.wav --midi ${WORK}/drone/notes.mid -o ${WORK}/drone.wav
    --plugin ${CLAP} --set Carrier=Synth --format float --quiet)
samples(${WORK}/drone.wav host)
compare("The drone" ${on} "${ardour}" "${host}")

if(DEFINED NOTES AND NOT NOTES)
  return()
endif()

# 2. Notes (start, length in ticks of 1920 a quarter note, 22050 frames at
# 120 a minute; key; velocity): a chord from the lead-in's end, a key struck
# again, a note at 1/30 of a quarter note, the last released before the end.
set(notes "3840:1920:57:100 4800:2880:60:80 5760:960:64:127 6784:1216:57:64 9600:1920:45:100")
ardour_export(ardour HALVORINE_SYNTH=notes "HALVORINE_NOTES=${notes}" "HALVORINE_SET=Carrier=1")
string(REGEX MATCH "pin map: [^\n]*" map "${ardour_output}")
message(STATUS "${map}")
file(COPY ${WORK}/out/notes.mid DESTINATION ${WORK})
run(${SOX} ${WORK}/in.wav ${WORK}/voice_lead.wav remix 1)
run(${HOST} render -m ${WORK}/voice_lead.wav --midi ${WORK}/notes.mid -o ${WORK}/notes.wav
    --plugin ${CLAP} --set Carrier=Synth --format float --quiet)
samples(${WORK}/notes.wav host)
compare("Notes" 44100 "${ardour}" "${host}")
