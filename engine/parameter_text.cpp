#include "parameter_text.h"

#include <cfloat>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dsp/detmath.h"
#include "dsp/numeric.h"

namespace halvorine::engine {

using dsp::F;
using dsp::roundDown;
using dsp::roundHalfEven;

float twoPower(float y) { return F(dsp::detExp(0.6931472 * y)); }

std::string integerText(long long n) { return std::to_string(n); }

std::string generalText(double x) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", x);
    return buffer;
}

namespace {

// The frequency the readout shows, before rounding it into words.
float readoutFrequency(float v) {
    const float y = F(10.0 * v);
    return F(static_cast<double>(twoPower(y)) * 20.0);
}

}  // namespace

std::string frequencyText(float v) {
    const float f = readoutFrequency(v);
    if (f < 1000.0f) return integerText(roundHalfEven(f)) + "Hz";
    return generalText(roundHalfEven(f / 100.0) / 10.0) + "KHz";
}

std::string percentText(float v) {
    return generalText(roundHalfEven(static_cast<double>(v) * 1000.0) / 10.0) + "%";
}

std::string steppedText(float x, float stepsPerUnit) {
    const int n = roundDown(F(static_cast<double>(x) * stepsPerUnit));
    return generalText(n / static_cast<double>(stepsPerUnit));
}

std::string levelText(float v, float scale, float offset) {
    const float d = F(static_cast<double>(v) * scale - offset);
    return steppedText(d, 10.0f) + "dB";
}

std::string mixRatioText(float v) {
    if (v < 0.5f) return integerText(roundDown(F(200.0 * v))) + "%/100";
    return "100%/" + integerText(roundDown(F(200.0 - 200.0 * v)));
}

std::string mixText(float v) { return "M/C : " + mixRatioText(v); }

std::string bandCountText(float v) {
    return integerText(roundDown(F(static_cast<double>(v) * 63.99)));
}

std::string valueText(int slot, float v) {
    switch (slot) {
        case 0: case 1: case 3: case 4: return frequencyText(v);
        case 2: case 5: return percentText(v);
        case 6: return bandCountText(v);
        case 7: return mixRatioText(v);
        case 8: return levelText(v, 40.0f, 20.0f);
        default: return {};
    }
}

// ------------------------------------------------------------ reading texts

namespace {

enum class Kind { Frequency, Width, Shift, Mix, Boost, None };

Kind kindOf(int slot) {
    switch (slot) {
        case 0: case 1: case 3: case 4: return Kind::Frequency;
        case 2: case 5: return Kind::Width;
        case 6: return Kind::Shift;
        case 7: return Kind::Mix;
        case 8: return Kind::Boost;
        default: return Kind::None;
    }
}

// The slot's quantity at v, before its text rounds it: Hz, percent, bands,
// the mix on a 0..200 scale (the modulator part 0..100, then 200 minus the
// carrier part), dB. Non-decreasing in v.
double quantity(Kind kind, float v) {
    switch (kind) {
        case Kind::Frequency: return readoutFrequency(v);
        case Kind::Width: return static_cast<double>(v) * 100.0;
        case Kind::Shift: return F(static_cast<double>(v) * 63.99);
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
        case Kind::Shift: return roundDown(F(static_cast<double>(v) * 63.99));
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
    if (valueText(slot, exact) == text) return exact;
    const float shown = lowestReaching(q, low, [&](float v) { return shownQuantity(kind, v); });
    return valueText(slot, shown) == text ? shown : exact;
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

}  // namespace

bool parseValueText(int slot, const char* text, float& value) {
    const Kind kind = kindOf(slot);
    double q = 0.0;
    if (kind == Kind::None || !text || !readQuantity(kind, text, q)) return false;
    value = valueFor(slot, kind, q, text);
    return true;
}

}  // namespace halvorine::engine
