#include "carrier_synth.h"

#include <cstring>

#include "numeric.h"

namespace halvorine::dsp {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kLnThousand = 6.907755278982137;
constexpr int kTables = 10;  // K = 1, 2, 4 .. 512 harmonics
constexpr int kWaves = 3;    // saw, square, pulse (25 %)
constexpr double kVoiceGain = 0.5;
constexpr double kStealSeconds = 0.005;
constexpr int kSegment = voice::kMaxFrames;
constexpr double kThird = 1.0 / 3.0;  // each of the three oscillators' share

// What an oscillator above half the rate reads.
constexpr int kSilentBits = 11;
const float kSilence[(1 << kSilentBits) + 1] = {};

// 2^bits samples for the table of 2^t harmonics: at least 2048, and 32
// per period of the highest harmonic.
constexpr int tableBits(int t) { return t + 5 > 11 ? t + 5 : 11; }
constexpr int tableSize(int t) { return 1 << tableBits(t); }

// Every wave's tables, one guard sample past each end (the first again).
// Built once per process; square and pulse are a saw minus the saw half and
// a quarter of a period later, so one Fourier sum serves all three.
// In static storage: building them allocates nothing and cannot throw.
constexpr int kLargest = tableSize(kTables - 1);
constexpr std::size_t tableFloats() {
    std::size_t n = 0;
    for (int t = 0; t < kTables; ++t) n += static_cast<std::size_t>(tableSize(t) + 1);
    return n * kWaves;
}
constexpr std::size_t kTableFloats = tableFloats();
struct Tables {
    float data[kTableFloats];
    const float* table[kWaves][kTables];
    double sine[kLargest], saw[kLargest];

    Tables() {
        const int n = kLargest;
        for (double& x : saw) x = 0.0;
        for (int i = 0; i < n; ++i) sine[static_cast<std::size_t>(i)] = detSin(2.0 * kPi * i / n);
        const unsigned mask = static_cast<unsigned>(n - 1);
        std::size_t at = 0;
        int k = 0;
        for (int t = 0; t < kTables; ++t) {
            // Harmonics up to 2^t, each 2/(pi k) sin(2 pi k x).
            for (; k < (1 << t); ++k) {
                const double a = 2.0 / (kPi * (k + 1));
                const unsigned h = static_cast<unsigned>(k + 1);
                for (unsigned i = 0; i < static_cast<unsigned>(n); ++i) saw[i] += a * sine[(h * i) & mask];
            }
            const int size = tableSize(t), stride = n / size;
            for (int w = 0; w < kWaves; ++w) {
                float* out = data + at;
                const int lag = w == 1 ? n / 2 : n / 4;
                for (int i = 0; i < size; ++i) {
                    const int j = i * stride;
                    double v = saw[static_cast<std::size_t>(j)];
                    if (w > 0) v -= saw[static_cast<std::size_t>((j - lag + n) % n)];
                    out[i] = F(v);
                }
                out[size] = out[0];
                table[w][t] = out;
                at += static_cast<std::size_t>(size + 1);
            }
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

constexpr std::uint32_t kNoiseSeed = 0x6D2B79F5u;

}  // namespace

int stepOf(float v, int steps) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return steps;
    const int k = static_cast<int>(static_cast<double>(v) * (steps + 1));
    return k > steps ? steps : k;
}

double CarrierSynth::keyFrequency(double key) { return 440.0 * detExp(kLn2 * (key - 69.0) / 12.0); }

void CarrierSynth::prepare() { tables(); }

CarrierSynth::CarrierSynth() {
    tables();
    reset();
}

void CarrierSynth::reset() {
    std::memset(voices_, 0, sizeof voices_);
    active_ = 0;
    clock_ = 0;
    bend_ = 0.0;
    pedal_ = false;
    droneKey_ = -1;
    noise_ = kNoiseSeed;
}

void CarrierSynth::setRate(double rate) {
    if (!(rate > 0.0) || rate == rate_) return;
    rate_ = rate;
    apply(settings_, droneKey_ >= 0);
    retuneAll();
}

void CarrierSynth::apply(const SynthSettings& s, bool droneOn) {
    const bool retune = s.wave != settings_.wave || s.detune != settings_.detune || s.octave != settings_.octave;
    settings_ = s;
    attackFrames_ = 0.001 * rate_ * detExp(static_cast<double>(s.attack) * kLnThousand);
    releaseFrames_ = 0.005 * rate_ * detExp(static_cast<double>(s.release) * kLnThousand);
    if (attackFrames_ < 1.0) attackFrames_ = 1.0;
    if (releaseFrames_ < 1.0) releaseFrames_ = 1.0;
    if (retune) retuneAll();
    const int want = droneOn ? s.droneKey : -1;
    if (want != droneKey_) {
        if (Voice* v = findVoice(droneKey_, true)) release(*v);
        droneKey_ = want;
        if (want >= 0) noteOn(want, 1.0f, true);
    }
}

void CarrierSynth::tune(Voice& v) const {
    const int octave = stepOf(settings_.octave, 4) - 2;
    const double cents = F(static_cast<double>(settings_.detune) * 50.0);
    const double centre = keyFrequency(v.key + 12.0 * octave + bend_);
    const Tables& t = tables();
    const int wave = stepOf(settings_.wave, 2);
    for (int o = 0; o < 3; ++o) {
        const double f = o == 1 ? centre : centre * detExp(kLn2 * (o - 1) * cents / 1200.0);
        double turns = f / rate_;
        turns -= static_cast<double>(static_cast<std::int64_t>(turns));
        v.osc.increment[o] = static_cast<std::uint32_t>(static_cast<std::uint64_t>(turns * 4294967296.0 + 0.5));
        // The most harmonics under half the rate, as a power of two.
        int most = static_cast<int>(0.5 * rate_ / f);
        if (most * f >= 0.5 * rate_) --most;
        if (most < 1) {
            v.osc.table[o] = kSilence;
            v.osc.bits[o] = kSilentBits;
            continue;
        }
        int k = 0;
        while (k + 1 < kTables && (2 << k) <= most) ++k;
        v.osc.table[o] = t.table[wave][k];
        v.osc.bits[o] = tableBits(k);
    }
}

void CarrierSynth::retuneAll() {
    for (Voice& v : voices_)
        if (v.stage != 0) tune(v);
}

CarrierSynth::Voice* CarrierSynth::findVoice(int key, bool drone) {
    if (key < 0) return nullptr;
    for (Voice& v : voices_)
        if (v.stage >= 1 && v.stage <= 3 && v.key == key && v.drone == drone) return &v;
    return nullptr;
}

void CarrierSynth::release(Voice& v) {
    if (v.stage < 1 || v.stage > 2) return;
    v.stage = 3;
    v.sustained = false;
    v.step = -v.level / releaseFrames_;
}

void CarrierSynth::fadeOut(Voice& v, double seconds) {
    const double frames = seconds * rate_;
    v.stage = 4;
    v.sustained = false;
    v.step = -v.level / (frames < 1.0 ? 1.0 : frames);
}

void CarrierSynth::noteOn(int key, float velocity, bool drone) {
    const double gain = kVoiceGain * static_cast<double>(velocity);
    if (Voice* v = findVoice(key, drone)) {  // struck again: from where it is
        if (v->gain > 0.0) {
            v->level = v->level * v->gain / gain;
            if (v->level > 1.0) v->level = 1.0;
        }
        v->gain = gain;
        v->stage = 1;
        v->sustained = false;
        v->step = 1.0 / attackFrames_;
        v->age = clock_++;
        return;
    }
    int playing = 0;
    Voice* oldest = nullptr;
    for (Voice& v : voices_) {
        if (v.stage < 1 || v.stage > 3) continue;
        ++playing;
        // The drone is taken last.
        if (!oldest || (oldest->drone && !v.drone) || (oldest->drone == v.drone && v.age < oldest->age)) oldest = &v;
    }
    if (playing >= kVoices && oldest) fadeOut(*oldest, kStealSeconds);
    Voice* slot = nullptr;
    for (Voice& v : voices_)
        if (v.stage == 0) {
            slot = &v;
            break;
        }
    if (!slot) {  // every slot busy fading: the quietest fade stops
        for (Voice& v : voices_)
            if (!slot || v.level < slot->level) slot = &v;
    }
    Voice& v = *slot;
    std::memset(&v, 0, sizeof v);
    v.key = key;
    v.drone = drone;
    v.gain = gain;
    v.stage = 1;
    v.step = 1.0 / attackFrames_;
    v.age = clock_++;
    tune(v);
    active_ |= 1u << (slot - voices_);
}

void CarrierSynth::handle(const NoteEvent& e) {
    const int key = e.key < 0 ? -1 : e.key > 127 ? 127 : e.key;
    switch (e.kind) {
        case NoteEvent::On:
            if (key < 0) break;
            if (e.value > 0.0f) {
                noteOn(key, e.value > 1.0f ? 1.0f : e.value, false);
                break;
            }
            [[fallthrough]];
        case NoteEvent::Off:
            if (Voice* v = findVoice(key, false)) {
                if (pedal_ && v->stage <= 2) v->sustained = true;
                else release(*v);
            }
            break;
        case NoteEvent::Choke:
            for (Voice& v : voices_)
                if (v.stage >= 1 && v.stage <= 3 && !v.drone && (key < 0 || v.key == key)) fadeOut(v, kStealSeconds);
            break;
        case NoteEvent::Bend: {
            const double b = e.value > 1.0f ? 1.0 : e.value < -1.0f ? -1.0 : static_cast<double>(e.value);
            if (2.0 * b != bend_) {
                bend_ = 2.0 * b;
                retuneAll();
            }
            break;
        }
        case NoteEvent::Sustain:
            pedal_ = e.value >= 0.5f;
            if (!pedal_)
                for (Voice& v : voices_)
                    if (v.sustained) release(v);
            break;
        case NoteEvent::AllOff:
            for (Voice& v : voices_)
                if (!v.drone) release(v);
            break;
    }
}

void CarrierSynth::render(float* out, int frames, const NoteEvent* events, int count, int offset) {
    int next = 0;
    const double noise = static_cast<double>(settings_.noise);
    for (int pos = 0; pos < frames;) {
        while (next < count && events[next].frame - offset <= pos) handle(events[next++]);
        int end = next < count && events[next].frame - offset < frames ? events[next].frame - offset : frames;
        if (end - pos > kSegment) end = pos + kSegment;
        const int n = end - pos;
        if (active_ == 0) {
            std::memset(out + pos, 0, sizeof(float) * static_cast<std::size_t>(n));
            pos = end;
            continue;
        }
        // Voices sum in float, each frame in voice order.
        float sum[kSegment] = {}, envelope[kSegment] = {};
        for (std::uint32_t bits = active_; bits;) {
            const int index = __builtin_ctz(bits);
            bits &= bits - 1;
            Voice& v = voices_[index];
            // The envelope. The level moves in straight lines; the sound
            // follows it on an S curve, 3 l^2 - 2 l^3, which leaves no
            // corner at either end of an attack, a release or a fade.
            float gain[kSegment];
            int live = n;
            if (v.stage == 2) {
                const float held = F(v.gain * kThird);
                for (int i = 0; i < n; ++i) gain[i] = held;
            } else {
                for (int i = 0; i < n; ++i) {
                    double level = v.level + v.step;
                    if (v.stage == 1 && level >= 1.0) {
                        level = 1.0;
                        v.stage = 2;
                        v.step = 0.0;
                    } else if (v.stage >= 3 && level <= 0.0) {
                        v.stage = 0;
                        live = i;
                        break;
                    }
                    v.level = level;
                    gain[i] = F(level * level * (3.0 - 2.0 * level) * v.gain * kThird);
                }
            }
            // The three oscillators, each read between two table samples
            // (one above half the rate reads silence).
            oscillate_(v.osc, gain, sum, live);
            for (int i = 0; i < live; ++i) envelope[i] += gain[i];
            if (v.stage == 0) {
                std::memset(&v, 0, sizeof v);
                active_ &= ~(1u << index);
            }
        }
        // The noise: one draw per frame that any voice sounds in, drawn
        // one after another, then mixed in lanes.
        std::int32_t white[kSegment];
        std::uint32_t r = noise_;
        for (int i = 0; i < n; ++i) {
            if (envelope[i] != 0.0f) {
                r ^= r << 13;
                r ^= r >> 17;
                r ^= r << 5;
            }
            white[i] = static_cast<std::int32_t>(r);
        }
        noise_ = r;
        for (int i = 0; i < n; ++i) {
            const double x = sum[i];
            const double hiss = noise * (static_cast<double>(white[i]) / 2147483648.0) *
                                (3.0 * static_cast<double>(envelope[i]));
            out[pos + i] = F(envelope[i] != 0.0f ? x + hiss : x);
        }
        pos = end;
    }
    while (next < count) handle(events[next++]);
}

}  // namespace halvorine::dsp
