#include "material.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "dsp/detmath.h"
#include "synth.h"

namespace halvorine::test {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLevel = 0.1;  // -20 dBFS RMS

class Noise {
public:
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x2545F491u;
};

void toLevel(std::vector<float>& x) {
    double sum = 0.0;
    for (float s : x) sum += static_cast<double>(s) * s;
    if (sum <= 0.0) return;
    const double gain = kLevel / std::sqrt(sum / static_cast<double>(x.size()));
    for (float& s : x) s = static_cast<float>(s * gain);
}

// One bar at 120 bpm in sixteenths: kicks, two snares, closed hi-hats on the
// eighths and an open one before the bar ends.
std::vector<float> drumLoop() {
    const double rate = kMaterialRate;
    const double step = 0.125;
    std::vector<double> out(static_cast<std::size_t>(16 * step * rate), 0.0);
    Noise noise;
    auto add = [&](int at, double seconds, auto&& voice) {
        const auto start = static_cast<std::size_t>(at * step * rate);
        const std::size_t end = std::min(out.size(), start + static_cast<std::size_t>(seconds * rate));
        for (std::size_t i = start; i < end; ++i) out[i] += voice(static_cast<double>(i - start) / rate);
    };
    for (int at : {0, 3, 8, 10}) {
        double phase = 0.0;
        add(at, 0.4, [&](double t) {
            phase += 2.0 * kPi * (45.0 + 110.0 * dsp::detExp(-t / 0.03)) / rate;
            return dsp::detSin(phase) * dsp::detExp(-t / 0.18);
        });
    }
    for (int at : {4, 12}) {
        double previous = 0.0;
        add(at, 0.3, [&](double t) {
            const double n = noise.next();
            const double hiss = n - 0.5 * previous;
            previous = n;
            return 0.5 * hiss * dsp::detExp(-t / 0.07) +
                   0.4 * dsp::detSin(2.0 * kPi * 185.0 * t) * dsp::detExp(-t / 0.05);
        });
    }
    for (int at = 0; at < 16; at += 2) {
        const double decay = at == 14 ? 0.15 : 0.02;
        double p1 = 0.0, p2 = 0.0;
        add(at, 8 * decay, [&](double t) {
            const double n = noise.next();
            const double hiss = n - 2.0 * p1 + p2;  // second difference: only the highs
            p2 = p1;
            p1 = n;
            return 0.15 * hiss * dsp::detExp(-t / decay);
        });
    }
    std::vector<float> loop(out.begin(), out.end());
    toLevel(loop);
    return loop;
}

std::vector<float> whiteNoise(double seconds) {
    Noise noise;
    std::vector<float> out(static_cast<std::size_t>(seconds * kMaterialRate));
    for (float& s : out) s = static_cast<float>(noise.next());
    toLevel(out);
    return out;
}

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

constexpr std::size_t kWindow = 4096;

// An in-place radix-2 transform of kWindow points.
void fft(std::vector<std::complex<double>>& a) {
    static const std::vector<std::complex<double>> twiddle = [] {
        std::vector<std::complex<double>> w(kWindow / 2);
        for (std::size_t k = 0; k < w.size(); ++k) {
            const double angle = -2.0 * kPi * static_cast<double>(k) / kWindow;
            w[k] = {dsp::detCos(angle), dsp::detSin(angle)};
        }
        return w;
    }();
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        for (std::size_t k = 0; k < len / 2; ++k) {
            const std::complex<double> w = twiddle[k * (n / len)];
            for (std::size_t i = k; i < n; i += len) {
                const std::complex<double> u = a[i], v = a[i + len / 2] * w;
                a[i] = u + v;
                a[i + len / 2] = u - v;
            }
        }
    }
}

}  // namespace

std::vector<float> readSpokenPhrase(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return {};
    bool pcm = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::size_t size = le32(b.data() + at + 4);
        const unsigned char* body = b.data() + at + 8;
        if (size > b.size() - at - 8) return {};
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            pcm = body[0] == 1 && body[1] == 0 && body[2] == 1 && body[3] == 0 && le32(body + 4) == 22050 &&
                  body[14] == 16 && body[15] == 0;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0 && pcm) {
            std::vector<double> x(size / 2);
            for (std::size_t i = 0; i < x.size(); ++i)
                x[i] = static_cast<std::int16_t>(body[2 * i] | body[2 * i + 1] << 8) / 32768.0;
            // Twice the rate: every other sample through a half-band
            // windowed-sinc interpolator (32 taps, Blackman window).
            constexpr int kTaps = 16;
            double h[kTaps];
            for (int k = 0; k < kTaps; ++k) {
                const double u = (k + 0.5) / kTaps;
                const double window = 0.42 + 0.5 * dsp::detCos(kPi * u) + 0.08 * dsp::detCos(2.0 * kPi * u);
                h[k] = (k % 2 ? -1.0 : 1.0) / (kPi * (k + 0.5)) * window;
            }
            const auto at_ = [&](long i) { return i >= 0 && i < static_cast<long>(x.size()) ? x[i] : 0.0; };
            std::vector<float> out(2 * x.size());
            for (long i = 0; i < static_cast<long>(x.size()); ++i) {
                double between = 0.0;
                for (int k = 0; k < kTaps; ++k) between += h[k] * (at_(i - k) + at_(i + 1 + k));
                out[2 * i] = static_cast<float>(x[i]);
                out[2 * i + 1] = static_cast<float>(between);
            }
            toLevel(out);
            return out;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<Material> presetMaterial(const std::string& dir) {
    std::vector<Material> set;
    set.push_back({"demo", host::synthModulator(kMaterialRate, 6.0)});
    set.push_back({"spoken (gb)", readSpokenPhrase(dir + "/spoken_gb.wav")});
    set.push_back({"spoken (us)", readSpokenPhrase(dir + "/spoken_us.wav")});
    set.push_back({"drums", drumLoop()});
    set.push_back({"noise", whiteNoise(1.0)});
    return set;
}

std::vector<float> materialCarrier() { return host::synthCarrier(kMaterialRate, 6.0); }

std::vector<double> powerSpectrum(const std::vector<float>& x) {
    std::vector<double> power(kWindow / 2 + 1, 0.0);
    static const std::vector<double> hann = [] {
        std::vector<double> w(kWindow);
        for (std::size_t i = 0; i < kWindow; ++i)
            w[i] = 0.5 - 0.5 * dsp::detCos(2.0 * kPi * static_cast<double>(i) / kWindow);
        return w;
    }();
    std::vector<std::complex<double>> a(kWindow);
    for (std::size_t start = 0; start + kWindow <= x.size(); start += kWindow / 2) {
        for (std::size_t i = 0; i < kWindow; ++i) a[i] = x[start + i] * hann[i];
        fft(a);
        for (std::size_t k = 0; k < power.size(); ++k) power[k] += std::norm(a[k]);
    }
    return power;
}

double energyShare(const std::vector<double>& spectrum, double lo, double hi) {
    double in = 0.0, all = 0.0;
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        const double f = static_cast<double>(k) * kMaterialRate / kWindow;
        all += spectrum[k];
        if (f >= lo && f < hi) in += spectrum[k];
    }
    return all > 0.0 ? in / all : 0.0;
}

}  // namespace halvorine::test
