// Notes for the plug-in's synth: held pitches named on the command line, and
// Standard MIDI Files read with their tempo map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvorine::host {

// A MIDI 1.0 channel message at a frame of the render. Two-byte messages
// (program change, channel pressure) leave data[2] at 0.
struct NoteEvent {
    std::int64_t frame = 0;
    std::uint8_t data[3] = {};
};

// The key of a pitch in scientific notation: a letter A to G, then any
// number of '#' or 'b', then the octave, which may be negative ("A4" is 69,
// "C4" 60, "C-1" 0, "G9" 127). Nothing for anything else or a key beyond
// 0..127.
bool parsePitchName(const std::string& name, int& key);

// "A3 C4 E4": keys separated by spaces or commas. Throws a usage error
// naming the first word that is no pitch.
std::vector<int> parseNoteList(const std::string& text);

// The channel messages of every track of a Standard MIDI File (format 0
// or 1), placed at their frames at `sampleRate` through the file's tempo
// map (or its SMPTE time base), in time order; messages at the same frame
// keep their track's order, the earlier track first. Sysex and meta events
// are left out. Throws HostError (status 1) with one line for a file that
// cannot be read or breaks the format: a missing header, chunks or
// lengths that run past the end, an event cut off, running status with no
// status to repeat, bytes no MIDI file holds.
std::vector<NoteEvent> readMidiFile(const std::string& path, int sampleRate);

}  // namespace halvorine::host
