#include "ring_modulator.h"

#include <cmath>
#include <cstring>

#include "numeric.h"

namespace halvorine::dsp {
namespace {

// The three-slot ring, indexed by ring position: the next position, and
// the history slots of the current sample and the two before it.
constexpr int kRingNext[3] = {1, 2, 0};
constexpr int kRingNow[3] = {2, 1, 0};
constexpr int kRingPrev1[3] = {0, 2, 1};
constexpr int kRingPrev2[3] = {1, 0, 2};

// One band filter step: b0 x0 + b2 x2 - a1 y1 - a2 y2, left to right, plus
// the denormal offset. There is no b1 term: the band-pass has none.
inline float stepFilter(float b0, float b2, float a1, float a2, float x0, float x2, float y1,
                        float y2) {
    double v = static_cast<double>(b0) * x0;
    v = v + static_cast<double>(b2) * x2;
    v = v - static_cast<double>(a1) * y1;
    v = v - static_cast<double>(a2) * y2;
    return F(v + kDenormalOffset);
}

}  // namespace

SpectralRingModulator::SpectralRingModulator() : settings_(Settings{}) {
    std::memset(banks_, 0, sizeof banks_);
    designed_[0] = designed_[1] = BankInputs{};
}

float SpectralRingModulator::clampValue(float value) {
    if (value > 1.0f) return 1.0f;
    if (!(value >= 0.0f)) return 0.0f;  // below 0, or not a number
    return value;
}

void SpectralRingModulator::setParameter(int slot, float value) {
    settings_.update([slot, value](Settings& s) { s.values[static_cast<std::size_t>(slot)] = value; });
}

void SpectralRingModulator::setParameters(const std::array<float, kSlots>& values) {
    settings_.update([&values](Settings& s) { s.values = values; });
}

void SpectralRingModulator::setDesignRate(float rate) {
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    settings_.update([rate](Settings& s) { s.rate = rate; });
}

void SpectralRingModulator::applyPendingChange() {
    Settings settings;
    if (!settings_.readIfChanged(settings, appliedVersion_)) return;
    const auto& p = settings.values;
    const float rate = settings.rate;

    designBank(0, {p[kModStart], p[kModFinish], p[kModWidth], rate});
    designBank(1, {p[kCarrStart], p[kCarrFinish], p[kCarrWidth], rate});
    // The filters run on through every change of the parameters; a new
    // rate starts them again from silence. The ring runs on regardless.
    if (rate != historyRate_) {
        clearHistories(banks_[0]);
        clearHistories(banks_[1]);
        historyRate_ = rate;
    }

    shift_ = roundDown(F(63.0 * p[kShift]));
    mix_ = p[kMix];
    wet_ = mix_ < 0.5f ? F(2.0 * mix_) : F(2.0 - 2.0 * mix_);
    boostGain_ = dbToGain(p[kBoost], 40.0f, 20.0f);
}

void SpectralRingModulator::designBank(int bank, const BankInputs& in) {
    // The coefficients depend only on these four values; a change of any
    // other slot keeps them.
    if (designedValid_[bank] && designed_[bank] == in) return;
    Bank& b = banks_[bank];
    for (int band = 0; band < kBands; ++band) {
        const float f = bandFrequency(in.start, in.finish, band, kLastBand);
        const BandCoefficients c = designBand(kFilterBandPass, f, in.width, in.rate);
        b.b0[band] = c.b0;
        b.b1[band] = c.b1;
        b.b2[band] = c.b2;
        b.a1[band] = c.a1;
        b.a2[band] = c.a2;
    }
    designed_[bank] = in;
    designedValid_[bank] = true;
}

void SpectralRingModulator::clearHistories(Bank& bank) {
    std::memset(bank.x, 0, sizeof bank.x);
    std::memset(bank.y, 0, sizeof bank.y);
}

// A bank whose state has overflowed to infinity or not-a-number would stay
// so forever; start it again from silence.
void SpectralRingModulator::clearOverflowedBanks() {
    for (Bank& bank : banks_) {
        double sum = 0.0;
        for (const auto& slot : bank.y)
            for (float v : slot) sum += v;
        if (!std::isfinite(sum)) clearHistories(bank);
    }
}

void SpectralRingModulator::process(const float* const* inputs, float* const* outputs,
                                    int frames, bool accumulate) {
    if (frames <= 0) return;
    applyPendingChange();
    if (accumulate)
        run<true>(inputs[0], inputs[1], outputs[0], outputs[1], frames);
    else
        run<false>(inputs[0], inputs[1], outputs[0], outputs[1], frames);
    clearOverflowedBanks();
}

template <bool Accumulate>
void SpectralRingModulator::run(const float* in0, const float* in1, float* out0, float* out1,
                                int frames) {
    // What a non-finite input sample counts as, in the filters and in the
    // dry path: the sample 0.0.
    const float silentIn = F(0.0 + kDenormalOffset);
    for (int k = 0; k < frames; ++k) {
        // Read both inputs before writing: the buffers may be shared.
        const float m = F(static_cast<double>(in0[k]) + kDenormalOffset);
        const float c = F(static_cast<double>(in1[k]) + kDenormalOffset);

        ringPos_ = kRingNext[ringPos_];
        slotNow_ = kRingNow[ringPos_];
        slotPrev1_ = kRingPrev1[ringPos_];
        slotPrev2_ = kRingPrev2[ringPos_];

        const float mIn = std::isfinite(m) ? m : silentIn;
        const float cIn = std::isfinite(c) ? c : silentIn;
        outSample_ = processFrame(mIn, cIn, mix_ < 0.5f ? mIn : cIn);
        if constexpr (Accumulate) {
            out0[k] = F(static_cast<double>(out0[k]) + outSample_);
            out1[k] = F(static_cast<double>(out1[k]) + outSample_);
        } else {
            out0[k] = outSample_;
            out1[k] = outSample_;
        }
    }
}

float SpectralRingModulator::processFrame(float modIn, float carrIn, float dry) {
    const int now = slotNow_;
    const int prev1 = slotPrev1_;
    const int prev2 = slotPrev2_;
    Bank& mod = banks_[0];
    Bank& car = banks_[1];

    // A carrier band above the modulator band it meets has not been stepped
    // yet when the bands are taken in ascending order, so the product uses
    // its output from three frames earlier: the value still in its `now`
    // slot. Keep those before stepping.
    float carrierEarlier[kBands];
    std::memcpy(carrierEarlier, car.y[now], sizeof carrierEarlier);

    for (int i = 0; i < kBands; ++i) {
        mod.x[now][i] = modIn;
        mod.y[now][i] = stepFilter(mod.b0[i], mod.b2[i], mod.a1[i], mod.a2[i], modIn,
                                   mod.x[prev2][i], mod.y[prev1][i], mod.y[prev2][i]);
    }
    for (int i = 0; i < kBands; ++i) {
        car.x[now][i] = carrIn;
        car.y[now][i] = stepFilter(car.b0[i], car.b2[i], car.a1[i], car.a2[i], carrIn,
                                   car.x[prev2][i], car.y[prev1][i], car.y[prev2][i]);
    }

    // Modulator band i meets carrier band (i + shift) mod 64: bands below
    // `split` meet a carrier band above them (earlier output), the rest a
    // carrier band at or below them (this frame's output).
    const int s = shift_;
    const int split = s == 0 ? 0 : kBands - s;
    float acc = 0.0f;
    for (int i = 0; i < split; ++i)
        acc = F(static_cast<double>(acc) +
                F(static_cast<double>(mod.y[now][i]) * carrierEarlier[i + s]));
    for (int i = split; i < kBands; ++i)
        acc = F(static_cast<double>(acc) +
                F(static_cast<double>(mod.y[now][i]) * car.y[now][(i + s) & kLastBand]));

    acc = F(static_cast<double>(acc) * boostGain_);
    if (!std::isfinite(acc)) {
        // An overflow, in the sum or in a bank: the processed signal counts
        // as silence, and both banks start again from silence.
        acc = 0.0f;
        clearHistories(banks_[0]);
        clearHistories(banks_[1]);
    }
    const double wet = wet_;
    return F((1.0 - wet) * dry + static_cast<double>(acc) * wet);
}

}  // namespace halvorine::dsp
