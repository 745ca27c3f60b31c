#include "readouts.h"

#include <cstdio>

#include "dsp/detmath.h"
#include "dsp/numeric.h"

namespace halvorine::editor {

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

std::string frequencyText(float v) {
    const float y = F(10.0 * v);
    const float f = F(static_cast<double>(twoPower(y)) * 20.0);
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

std::string mixText(float v) {
    std::string first, second;
    if (v < 0.5f) {
        first = integerText(roundDown(F(200.0 * v))) + "%";
        second = "100";
    } else {
        first = "100%";
        second = integerText(roundDown(F(200.0 - 200.0 * v)));
    }
    return "M/C : " + first + "/" + second;
}

std::string bandCountText(float v) {
    return integerText(roundDown(F(static_cast<double>(v) * 63.99)));
}

}  // namespace halvorine::editor
