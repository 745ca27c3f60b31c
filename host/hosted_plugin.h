// A plug-in as the render command drives it, whichever format it is: a VST 2
// library (its record, entered through `main`) or a CLAP one (entered
// through `clap_entry`). Loading tells them apart by the symbol the file
// exports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "midi_file.h"

namespace halvorine::host {

class HostedPlugin {
public:
    virtual ~HostedPlugin() = default;

    virtual std::vector<std::string> parameterNames() = 0;
    // A bare number from the command line, 0 to 1 over the parameter's range.
    virtual void setNormalised(int index, float value) = 0;
    // A text in the parameter's units, read by the plug-in. False when it
    // refuses the text (and nothing changed).
    virtual bool setText(int index, const std::string& text) = 0;
    // -1 when the value is at the bottom of its range, 1 at the top, else 0.
    virtual int rangeEnd(int index) = 0;
    virtual std::string display(int index) = 0;  // the value as the plug-in shows it
    virtual std::pair<std::string, std::string> displayRange(int index) = 0;

    // The programs (VST 2) or the presets stored in the plug-in (CLAP).
    virtual std::vector<std::string> programNames() = 0;
    virtual void setProgram(int index) = 0;
    // A factory preset from factory_presets.h, as the format's host applies it.
    virtual void loadFactoryPreset(int preset) = 0;

    // Throws HostError, saying why, when the plug-in has no note input.
    virtual void requireNoteInput() = 0;
    // Throws HostError when the plug-in cannot do without a carrier input
    // (it has no synth to be the carrier).
    virtual void requireSynth() {}

    virtual void start() = 0;
    // One block: the modulator and the carrier in, the two output channels
    // out, and the notes of frames [first, first + frames) of the render.
    virtual void process(float* modulator, float* carrier, float* left, float* right,
                         int frames, std::int64_t first, const NoteEvent* events,
                         std::size_t eventCount) = 0;
    virtual void stop() = 0;

    // Messages sent to process() that the plug-in's note input cannot take.
    virtual std::int64_t messagesLeftOut() const { return 0; }
};

// Loads the VST 2 or CLAP plug-in at `path`, set for `sampleRate` and
// blocks of at most `blockSize` frames.
std::unique_ptr<HostedPlugin> loadPlugin(const std::string& path, int sampleRate, int blockSize);

// The CLAP build a render with notes loads when no --plugin is given: the
// Halvorine.clap of this build, else an installed one.
std::string defaultClapPath();

// The CLAP side, in clap_host.cpp.
std::unique_ptr<HostedPlugin> loadClapPlugin(const std::string& path, int sampleRate, int blockSize);
bool exportsClapEntry(const std::string& path);

}  // namespace halvorine::host
