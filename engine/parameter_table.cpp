#include "parameter_table.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dsp/detmath.h"
#include "dsp/numeric.h"
#include "parameter_text.h"

namespace halvorine::engine {

using dsp::F;
using dsp::roundDown;
using dsp::roundHalfEven;

// ------------------------------------------------------------------ the table

namespace {

constexpr ParameterInfo kTable[kAllSlots] = {
    {"Mod Start Freq", "mod_start", "Hz", Unit::Hertz, 20.0f, 20480.0f, 20.0f, 0.0f, 0, true},
    {"Mod Finish Freq", "mod_finish", "Hz", Unit::Hertz, 20.0f, 20480.0f, 20480.0f, 1.0f, 0, true},
    {"Mod Freq Q", "mod_q", "%", Unit::Percent, 0.0f, 100.0f, 50.0f, 0.5f, 0, false},
    {"Carr Start Freq", "carr_start", "Hz", Unit::Hertz, 20.0f, 20480.0f, 20.0f, 0.0f, 0, true},
    {"Carr Finish Freq", "carr_finish", "Hz", Unit::Hertz, 20.0f, 20480.0f, 20480.0f, 1.0f, 0, true},
    {"Carr Freq Q", "carr_q", "%", Unit::Percent, 0.0f, 100.0f, 50.0f, 0.5f, 0, false},
    {"Shift", "shift", "bands", Unit::Bands, 0.0f, 63.0f, 31.0f, 0.5f, 63, false},
    {"Mix", "mix", "", Unit::Mix, 0.0f, 1.0f, 0.5f, 0.5f, 0, false},
    {"Boost", "boost", "dB", Unit::Decibels, -20.0f, 20.0f, 10.0f, 0.75f, 0, false},
    {"", "", "", Unit::None, 0.0f, 1.0f, 0.0f, 0.0f, 0, false},
    {"", "", "", Unit::None, 0.0f, 1.0f, 0.0f, 0.0f, 0, false},
    // The carrier synth.
    {"Carrier", "carrier", "", Unit::Choice, 0.0f, 1.0f, 0.0f, 0.0f, 1, false},
    {"Synth Wave", "synth_wave", "", Unit::Choice, 0.0f, 2.0f, 0.0f, 0.0f, 2, false},
    {"Synth Noise", "synth_noise", "%", Unit::Percent, 0.0f, 100.0f, 0.0f, 0.0f, 0, false},
    {"Synth Detune", "synth_detune", "cents", Unit::Cents, 0.0f, 50.0f, 10.0f, 0.2f, 0, false},
    {"Synth Octave", "synth_octave", "", Unit::Octaves, -2.0f, 2.0f, 0.0f, 0.5f, 4, false},
    // log(10) / log(1000) and log(30) / log(1000): 10 ms and 150 ms.
    {"Synth Attack", "synth_attack", "ms", Unit::Milliseconds, 1.0f, 1000.0f, 10.0f, 0.33333334f, 0, true},
    {"Synth Release", "synth_release", "ms", Unit::Milliseconds, 5.0f, 5000.0f, 150.0f, 0.49237375f, 0,
     true},
    {"Drone", "drone", "", Unit::Note, 0.0f, 97.0f, 0.0f, 0.0f, 97, false},
};

// The names of the choices, by slot.
constexpr const char* kCarrierNames[] = {"Input", "Synth"};
constexpr const char* kWaveNames[] = {"Saw", "Square", "Pulse"};

const char* choiceName(int slot, int index) {
    if (slot == kCarrierSlot) return kCarrierNames[index < 0 ? 0 : index > 1 ? 1 : index];
    return kWaveNames[index < 0 ? 0 : index > 2 ? 2 : index];
}

// ln 1000: a time slot spans three decades.
constexpr double kLnThousand = 6.907755278982137;

float clampNormalised(double v) {
    if (v > 1.0) return 1.0f;
    if (!(v >= 0.0)) return 0.0f;  // below 0, or not a number
    return F(v);
}

// The band count the engine shifts by at v.
int engineBands(float v) { return roundDown(F(63.0 * v)); }

}  // namespace

const ParameterInfo& parameterInfo(int slot) {
    return slot >= 0 && slot < kAllSlots ? kTable[slot] : kTable[kSlots - 1];
}

int stepIndex(int slot, float normalised) {
    const int steps = parameterInfo(slot).steps;
    if (steps <= 0 || !(normalised > 0.0f)) return 0;
    if (normalised >= 1.0f) return steps;
    const int k = static_cast<int>(static_cast<double>(normalised) * (steps + 1));
    return k > steps ? steps : k;
}

int droneKey(float normalised) {
    const int k = stepIndex(kDroneSlot, normalised);
    return k == 0 ? -1 : 11 + k;
}

void writeNoteName(int key, char* out) {
    static constexpr const char* kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (key < 0) key = 0;
    if (key > 127) key = 127;
    const char* n = kNames[key % 12];
    std::size_t i = 0;
    while (*n) out[i++] = *n++;
    const int octave = key / 12 - 1;
    if (octave < 0) out[i++] = '-';
    out[i++] = static_cast<char>('0' + (octave < 0 ? -octave : octave));
    out[i] = '\0';
}

namespace {
float lowestUnitsReaching(int slot, double q);
}

float toNormalised(int slot, double units) {
    const ParameterInfo& p = parameterInfo(slot);
    double u = units;
    if (u > p.maximum) u = p.maximum;
    if (!(u >= p.minimum)) u = p.minimum;
    double n = u;
    switch (p.unit) {
        case Unit::Choice: case Unit::Octaves: case Unit::Note:
            n = std::floor(u - p.minimum + 0.5) / p.steps;
            break;
        case Unit::Cents: n = u / 50.0; break;
        case Unit::Milliseconds: return lowestUnitsReaching(slot, u);
        case Unit::Hertz: n = std::log2(u / 20.0) / 10.0; break;
        case Unit::Percent: n = u / 100.0; break;
        case Unit::Bands: n = (std::floor(u + 0.5) + 0.5) / 63.0; break;
        case Unit::Decibels: n = (u + 20.0) / 40.0; break;
        case Unit::Mix: case Unit::None: break;
    }
    return clampNormalised(n);
}

double toUnits(int slot, float normalised) {
    const ParameterInfo& p = parameterInfo(slot);
    const float v = clampNormalised(normalised);
    double u = v;
    switch (p.unit) {
        case Unit::Hertz: u = 20.0 * std::exp2(10.0 * v); break;
        case Unit::Percent: u = v * 100.0; break;
        case Unit::Bands: u = engineBands(v); break;
        case Unit::Decibels: u = 40.0 * v - 20.0; break;
        case Unit::Choice: case Unit::Octaves: case Unit::Note: u = p.minimum + stepIndex(slot, v); break;
        case Unit::Cents: u = v * 50.0; break;
        case Unit::Milliseconds: u = p.minimum * dsp::detExp(v * kLnThousand); break;
        case Unit::Mix: case Unit::None: break;
    }
    if (u > p.maximum) u = p.maximum;
    if (u < p.minimum) u = p.minimum;
    return F(u);
}

// ---------------------------------------------------------------- value texts

namespace {

// A short text in a fixed buffer: the value texts are built here without
// allocating, so hosts may ask for them on any thread.
struct Text {
    char chars[48] = {};
    std::size_t size = 0;

    Text& operator<<(const char* s) {
        while (*s && size + 1 < sizeof chars) chars[size++] = *s++;
        chars[size] = '\0';
        return *this;
    }
    bool operator==(const char* s) const { return std::strcmp(chars, s) == 0; }
};

Text& appendInteger(Text& t, long long n) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%lld", n);
    return t << buffer;
}

Text& appendGeneral(Text& t, double x) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", x);
    return t << buffer;
}

// The frequency the readout shows, before rounding it into words.
float readoutFrequency(float v) {
    const float y = F(10.0 * v);
    return F(static_cast<double>(twoPower(y)) * 20.0);
}

Text frequency(float v) {
    Text t;
    const float f = readoutFrequency(v);
    if (f < 1000.0f) appendInteger(t, roundHalfEven(f)) << "Hz";
    else appendGeneral(t, roundHalfEven(f / 100.0) / 10.0) << "KHz";
    return t;
}

Text percent(float v) {
    Text t;
    appendGeneral(t, roundHalfEven(static_cast<double>(v) * 1000.0) / 10.0) << "%";
    return t;
}

Text stepped(float x, float stepsPerUnit) {
    Text t;
    const int n = roundDown(F(static_cast<double>(x) * stepsPerUnit));
    appendGeneral(t, n / static_cast<double>(stepsPerUnit));
    return t;
}

Text level(float v, float scale, float offset) {
    const float d = F(static_cast<double>(v) * scale - offset);
    Text t = stepped(d, 10.0f);
    t << "dB";
    return t;
}

Text mixRatio(float v) {
    Text t;
    if (v < 0.5f) appendInteger(t, roundDown(F(200.0 * v))) << "%/100";
    else appendInteger(t << "100%/", roundDown(F(200.0 - 200.0 * v)));
    return t;
}

Text bandCount(float v) {
    Text t;
    appendInteger(t, engineBands(v));
    return t;
}

// x rounded to `decimals` places, without trailing zeros.
Text& appendRounded(Text& t, double x, int decimals) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    return appendGeneral(t, roundHalfEven(x * scale) / scale);
}

// Three significant figures: "2.37 ms", "10 ms", "150 ms", "1.5 s".
Text duration(double ms) {
    Text t;
    if (ms < 9.995) appendRounded(t, ms, 2) << " ms";
    else if (ms < 99.95) appendRounded(t, ms, 1) << " ms";
    else if (ms < 999.5) appendRounded(t, ms, 0) << " ms";
    else appendRounded(t, ms / 1000.0, ms < 9995.0 ? 2 : 1) << " s";
    return t;
}

Text valueTextOf(int slot, float v) {
    Text t;
    switch (parameterInfo(slot).unit) {
        case Unit::Hertz: return frequency(v);
        case Unit::Percent: return percent(v);
        case Unit::Bands: return bandCount(v);
        case Unit::Mix: return mixRatio(v);
        case Unit::Decibels: return level(v, 40.0f, 20.0f);
        case Unit::Choice: return t << choiceName(slot, stepIndex(slot, v));
        case Unit::Cents: return appendRounded(t, toUnits(slot, v), 1) << " cents";
        case Unit::Octaves: {
            const int o = static_cast<int>(toUnits(slot, v));
            return appendInteger(o > 0 ? t << "+" : t, o);
        }
        case Unit::Milliseconds: return duration(toUnits(slot, v));
        case Unit::Note: {
            const int key = droneKey(v);
            if (key < 0) return t << "Off";
            char name[5];
            writeNoteName(key, name);
            return t << name;
        }
        case Unit::None: break;
    }
    return t;
}

}  // namespace

std::size_t writeValueText(int slot, float normalised, char* out, std::size_t capacity) {
    const Text t = valueTextOf(slot, normalised);
    if (!out || capacity == 0) return t.size;
    const std::size_t n = t.size < capacity - 1 ? t.size : capacity - 1;
    std::memcpy(out, t.chars, n);
    out[n] = '\0';
    return t.size;
}

// The readout's strings.
float twoPower(float y) { return F(dsp::detExp(0.6931472 * y)); }
std::string integerText(long long n) { Text t; return appendInteger(t, n).chars; }
std::string generalText(double x) { Text t; return appendGeneral(t, x).chars; }
std::string frequencyText(float v) { return frequency(v).chars; }
std::string percentText(float v) { return percent(v).chars; }
std::string steppedText(float x, float stepsPerUnit) { return stepped(x, stepsPerUnit).chars; }
std::string levelText(float v, float scale, float offset) { return level(v, scale, offset).chars; }
std::string mixRatioText(float v) { return mixRatio(v).chars; }
std::string mixText(float v) { return "M/C : " + mixRatioText(v); }
std::string bandCountText(float v) { return bandCount(v).chars; }
std::string valueText(int slot, float v) { return valueTextOf(slot, v).chars; }

// ------------------------------------------------------------ reading texts

namespace {

enum class Kind { Frequency, Width, Shift, Mix, Boost, None };

Kind kindOf(int slot) {
    switch (parameterInfo(slot).unit) {
        case Unit::Hertz: return Kind::Frequency;
        case Unit::Percent: return Kind::Width;
        case Unit::Bands: return Kind::Shift;
        case Unit::Mix: return Kind::Mix;
        case Unit::Decibels: return Kind::Boost;
        case Unit::Choice: case Unit::Cents: case Unit::Octaves: case Unit::Milliseconds: case Unit::Note:
        case Unit::None: break;
    }
    return Kind::None;
}

// The slot's quantity at v, before its text rounds it: Hz, percent, bands,
// the mix on a 0..200 scale (the modulator part 0..100, then 200 minus the
// carrier part), dB. Non-decreasing in v.
double quantity(Kind kind, float v) {
    switch (kind) {
        case Kind::Frequency: return readoutFrequency(v);
        case Kind::Width: return static_cast<double>(v) * 100.0;
        case Kind::Shift: return F(63.0 * v);
        case Kind::Mix: return v < 0.5f ? F(200.0 * v) : 200.0 - F(200.0 - 200.0 * v);
        case Kind::Boost: return F(static_cast<double>(v) * 40.0 - 20.0);
        case Kind::None: break;
    }
    return 0.0;
}

// The number the slot's text shows at v, on the same scale, computed as the
// text computes it, so that a text's number read back compares equal.
double shownQuantity(Kind kind, float v) {
    switch (kind) {
        case Kind::Frequency: {
            const float f = readoutFrequency(v);
            if (f < 1000.0f) return roundHalfEven(f);
            return roundHalfEven(f / 100.0) * 100.0;
        }
        case Kind::Width: return roundHalfEven(static_cast<double>(v) * 1000.0) / 10.0;
        case Kind::Shift: return engineBands(v);
        case Kind::Mix:
            return v < 0.5f ? roundDown(F(200.0 * v)) : 200 - roundDown(F(200.0 - 200.0 * v));
        case Kind::Boost: return roundDown(F(quantity(kind, v) * 10.0)) / 10.0;
        case Kind::None: break;
    }
    return 0.0;
}

float fromBits(std::uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::uint32_t bitsOf(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// The smallest value in [low, 1] whose measure reaches q (1 when none
// does), by bisection over the floats' bit patterns, whose order the
// non-negative floats share. Float arithmetic only: every target finds the
// same value.
template <typename Measure>
float lowestReaching(double q, float low, Measure measure) {
    std::uint32_t lo = bitsOf(low), hi = bitsOf(1.0f);
    if (measure(1.0f) < q) return 1.0f;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (measure(fromBits(mid)) >= q) hi = mid;
        else lo = mid + 1;
    }
    return fromBits(lo);
}

// The value for quantity q, read from `text`: where the quantity reaches
// q; but when that value's text is not `text` and the lowest value whose
// text shows q has `text` as its text, that one. So every text the display
// writes reads back to a value with the same text (from 999.5 Hz the text
// says "1000Hz", from 1000 Hz "1KHz"; the level text rounds down), and a
// quantity between two texts keeps its exact value.
float valueFor(int slot, Kind kind, double q, const char* text) {
    // Boost 0 is silence, not -20 dB: -20 dB is the lowest value above it,
    // and only a level below -20 dB reaches silence.
    const float low = kind == Kind::Boost ? FLT_MIN : 0.0f;
    if (kind == Kind::Boost && q < quantity(kind, low)) return 0.0f;
    const float exact = lowestReaching(q, low, [&](float v) { return quantity(kind, v); });
    if (valueTextOf(slot, exact) == text) return exact;
    const float shown = lowestReaching(q, low, [&](float v) { return shownQuantity(kind, v); });
    return valueTextOf(slot, shown) == text ? shown : exact;
}

// A decimal number as written: digits * 10^-decimals, with its sign.
struct Decimal {
    bool negative = false;
    std::int64_t digits = 0;
    int decimals = 0;

    // The number times 10^scale, rounded once: exact where the result is
    // whole, and the same on every target.
    double value(int scale = 0) const {
        const int e = scale - decimals;
        double p = 1.0;
        for (int i = 0; i < (e < 0 ? -e : e); ++i) p *= 10.0;
        const double m = static_cast<double>(digits);
        const double x = e < 0 ? m / p : m * p;
        return negative ? -x : x;
    }
};

bool isSpace(char c) { return c == ' ' || c == '\t'; }
void skipSpaces(const char*& p) {
    while (isSpace(*p)) ++p;
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads [+|-]digits[.digits] at p (the separator '.' or the locale's), with
// at most 15 significant digits; no exponent, no names of infinities.
bool readDecimal(const char*& p, Decimal& out) {
    const char* s = p;
    Decimal d;
    if (*s == '+' || *s == '-') d.negative = *s++ == '-';
    const char* separator = std::localeconv()->decimal_point;
    const char localeSeparator = separator && separator[0] && !separator[1] ? separator[0] : '.';
    int significant = 0, read = 0, heldZeros = 0;
    bool fraction = false;
    for (;; ++s) {
        if (isDigit(*s)) {
            ++read;
            const int digit = *s - '0';
            if (fraction) {
                // Trailing zeros of a fraction add nothing: hold them until
                // a digit other than zero follows.
                if (digit == 0) {
                    ++heldZeros;
                    continue;
                }
                for (; heldZeros > 0; --heldZeros) {
                    d.digits *= 10;
                    ++d.decimals;
                    if (d.digits != 0 && ++significant > 15) return false;
                }
                ++d.decimals;
            }
            if (d.digits != 0 || digit != 0) ++significant;
            d.digits = d.digits * 10 + digit;
            if (significant > 15 || d.decimals > 22) return false;
        } else if (!fraction && (*s == '.' || *s == localeSeparator)) {
            fraction = true;
        } else {
            break;
        }
    }
    if (read == 0) return false;
    out = d;
    p = s;
    return true;
}

// True when p holds, after spaces, exactly `unit` in any letter case and
// then only spaces; the empty unit matches the end.
bool endsWith(const char* p, const char* unit) {
    skipSpaces(p);
    for (; *unit; ++p, ++unit)
        if (lower(*p) != *unit) return false;
    skipSpaces(p);
    return *p == '\0';
}

bool readQuantity(Kind kind, const char* p, double& q) {
    skipSpaces(p);
    Decimal first;
    if (!readDecimal(p, first)) return false;
    switch (kind) {
        case Kind::Frequency:
            if (endsWith(p, "") || endsWith(p, "hz")) q = first.value();
            else if (endsWith(p, "khz")) q = first.value(3);
            else return false;
            return true;
        case Kind::Width:
            q = first.value();
            return endsWith(p, "") || endsWith(p, "%");
        case Kind::Shift:
            q = first.value();
            return endsWith(p, "") || endsWith(p, "band") || endsWith(p, "bands");
        case Kind::Boost:
            q = first.value();
            return endsWith(p, "") || endsWith(p, "db");
        case Kind::Mix: {
            // modulator% / carrier, one of the two parts 100.
            if (*p == '%') ++p;
            skipSpaces(p);
            if (*p++ != '/') return false;
            skipSpaces(p);
            Decimal second;
            if (!readDecimal(p, second)) return false;
            if (!endsWith(p, "") && !endsWith(p, "%")) return false;
            const double modulator = first.value(), carrier = second.value();
            auto part = [](double x) { return x < 0.0 ? 0.0 : x > 100.0 ? 100.0 : x; };
            if (carrier == 100.0) q = part(modulator);
            else if (modulator == 100.0) q = 200.0 - part(carrier);
            else return false;
            return true;
        }
        case Kind::None: break;
    }
    return false;
}

float lowestUnitsReaching(int slot, double q) {
    return lowestReaching(q, 0.0f, [&](float v) { return toUnits(slot, v); });
}

// p equals `word` in any letter case, spaces around it apart.
bool isWord(const char* p, const char* word) {
    skipSpaces(p);
    return endsWith(p, word);
}

// A note name in scientific pitch: a letter, '#' or 'b', the octave.
bool readNote(const char* p, int& key) {
    static constexpr int kPitch[7] = {9, 11, 0, 2, 4, 5, 7};  // a..g
    skipSpaces(p);
    const char letter = lower(*p);
    if (letter < 'a' || letter > 'g') return false;
    int pitch = kPitch[letter - 'a'];
    ++p;
    if (*p == '#') ++pitch, ++p;
    else if (*p == 'b') --pitch, ++p;
    const char* q = p;
    Decimal octave;
    if (!readDecimal(q, octave) || octave.decimals != 0 || octave.digits > 20 || !endsWith(q, "")) return false;
    key = 12 * (static_cast<int>(octave.value()) + 1) + pitch;
    return true;
}

bool parseSynthText(int slot, const char* text, float& normalised) {
    const ParameterInfo& info = parameterInfo(slot);
    const char* p = text;
    Decimal d;
    double q = 0.0;
    switch (info.unit) {
        case Unit::Choice:
            for (int i = 0; i <= info.steps; ++i) {
                char name[16] = {};
                const char* n = choiceName(slot, i);
                for (std::size_t k = 0; n[k] && k + 1 < sizeof name; ++k) name[k] = lower(n[k]);
                if (isWord(p, name)) return normalised = toNormalised(slot, i), true;
            }
            skipSpaces(p);
            if (!readDecimal(p, d) || !endsWith(p, "")) return false;
            q = d.value();
            break;
        case Unit::Cents:
            skipSpaces(p);
            if (!readDecimal(p, d)) return false;
            if (!endsWith(p, "") && !endsWith(p, "cents") && !endsWith(p, "cent") && !endsWith(p, "ct")) return false;
            q = d.value();
            break;
        case Unit::Octaves:
            skipSpaces(p);
            if (!readDecimal(p, d)) return false;
            if (!endsWith(p, "") && !endsWith(p, "oct") && !endsWith(p, "octaves") && !endsWith(p, "octave"))
                return false;
            q = d.value();
            break;
        case Unit::Milliseconds:
            skipSpaces(p);
            if (!readDecimal(p, d)) return false;
            if (endsWith(p, "") || endsWith(p, "ms")) q = d.value();
            else if (endsWith(p, "s")) q = d.value(3);
            else return false;
            break;
        case Unit::Note: {
            if (isWord(p, "off")) return normalised = 0.0f, true;
            int key = 0;
            if (!readNote(p, key)) return false;
            q = (key < 12 ? 12 : key > 108 ? 108 : key) - 11;
            break;
        }
        default: return false;
    }
    normalised = toNormalised(slot, q);
    return true;
}

}  // namespace

bool parseValueText(int slot, const char* text, float& normalised) {
    if (!text) return false;
    switch (parameterInfo(slot).unit) {
        case Unit::Choice: case Unit::Cents: case Unit::Octaves: case Unit::Milliseconds: case Unit::Note:
            return parseSynthText(slot, text, normalised);
        default: break;
    }
    const Kind kind = kindOf(slot);
    double q = 0.0;
    if (kind == Kind::None || !readQuantity(kind, text, q)) return false;
    // A band count means the engine's count: the middle of its step.
    normalised = kind == Kind::Shift ? toNormalised(slot, q) : valueFor(slot, kind, q, text);
    return true;
}

}  // namespace halvorine::engine
