// The carrier synth: sixteen voices of three band-limited oscillators each,
// spread by plus and minus the detune, white noise mixed in, a linear
// attack and release per voice. It knows nothing of hosts: notes come as
// NoteEvents stamped with their frame in the block. Attack, release and the
// fade of a stolen voice are straight lines in time, heard on an S curve
// (3 l^2 - 2 l^3 of the line's level l) that starts and ends without a
// corner.
//
// Oscillators read tables built once per process from the waves' Fourier
// series: for each power of two K = 1..512 a table holding harmonics 1..K,
// at least 32 samples per period of its highest harmonic, so that linear
// interpolation puts its images some 90 dB under the fundamental. A voice
// takes the largest table whose highest harmonic stays under half the
// sample rate at its pitch (bend, octave and detune included).
//
// Everything is computed in double with the project's own exp and sin, so
// every target and instruction path renders the same bits. Audio thread
// only, except construction; nothing here allocates after construction.
#pragma once

#include <cstdint>

#include "carrier_voice.h"

namespace halvorine::dsp {

struct NoteEvent {
    enum Kind : std::uint8_t {
        On,       // key, velocity 0..1 (0 is an off, as MIDI has it)
        Off,      // key (release)
        Choke,    // key, or every voice for key -1: fades out within a few ms
        Bend,     // value -1..1: plus or minus two semitones
        Sustain,  // value >= 0.5: the pedal down
        AllOff,   // every held note released (the drone goes on)
    };
    std::int32_t frame = 0;  // within the block, 0..frames-1
    Kind kind = On;
    std::int16_t key = 0;  // 0..127
    float value = 0.0f;
};

// The step of a stepped value v among steps + 1, as the parameter table
// reads it: floor(v (steps + 1)), at most steps.
int stepOf(float v, int steps);

// The synth's parameter values, normalised as the parameter table has them.
struct SynthSettings {
    float wave = 0.0f, noise = 0.0f, detune = 0.2f, octave = 0.5f;
    float attack = 0.33333334f, release = 0.49237375f;
    int droneKey = -1;  // -1: no drone
    bool operator==(const SynthSettings&) const = default;
};

class CarrierSynth {
public:
    static constexpr int kVoices = 16;
    static constexpr int kSlotsWithFades = 2 * kVoices;  // stolen voices fade beside new ones

    CarrierSynth();
    // Builds the shared tables now (construction does too), off the audio
    // thread, for a binding whose first engine may be made on it.
    static void prepare();

    // Clears every voice, the bend, the pedal and the noise generator.
    void reset();
    void setRate(double rate);
    // Takes new settings; the drone's note starts or ends as they say
    // while `droneOn` (the carrier is the synth).
    void apply(const SynthSettings& s, bool droneOn);

    // Renders `frames` frames into out (replacing), applying each event at
    // its frame minus `offset`. Events must be in frame order; one before
    // the first frame plays at it, one past the last after it.
    void render(float* out, int frames, const NoteEvent* events, int count, int offset = 0);
    // The oscillator loop of the engine's instruction set (all give the
    // same bits; the plain one by default).
    void setOscillatorLoop(voice::Function f) { oscillate_ = f; }
    // A voice is playing (or fading).
    bool sounding() const { return active_ != 0; }

    // The frequency of key n (A4 = 69 = 440 Hz).
    static double keyFrequency(double key);

private:
    struct Voice {
        voice::Oscillators osc;
        double level;      // the envelope, 0..1
        double step;       // per frame: + in the attack, - in a release
        double gain;       // from the velocity
        int key;
        int stage;  // 0 free, 1 attack, 2 held, 3 release, 4 stolen fade
        bool sustained;  // released while the pedal is down
        bool drone;
        std::uint32_t age;
    };

    void handle(const NoteEvent& e);
    void noteOn(int key, float velocity, bool drone);
    void release(Voice& v);
    void fadeOut(Voice& v, double seconds);
    void tune(Voice& v) const;
    void retuneAll();
    Voice* findVoice(int key, bool drone);

    Voice voices_[kSlotsWithFades];
    std::uint32_t active_ = 0;  // bit per voice slot not free
    std::uint32_t clock_ = 0;   // note-on order
    double rate_ = 44100.0;
    double bend_ = 0.0;  // semitones
    bool pedal_ = false;
    SynthSettings settings_;
    int droneKey_ = -1;  // the drone sounding
    double attackFrames_ = 441.0, releaseFrames_ = 6615.0;
    std::uint32_t noise_ = 0;
    voice::Function oscillate_ = &voice::oscillatePlain;
};

}  // namespace halvorine::dsp
