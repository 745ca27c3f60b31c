#include "reference_effect.h"

#include <cmath>

#include "dsp/detmath.h"

namespace halvorine::reference {
namespace {

using dsp::detCos;
using dsp::detExp;
using dsp::detSin;

float F(double x) { return static_cast<float>(x); }

int roundDown(float x) {
    // nearest integer to x - 0.4999999, halves to even
    const double d = static_cast<double>(x) - 0.4999999;
    const double fl = std::floor(d);
    if (d - fl > 0.5) return static_cast<int>(fl) + 1;
    if (d - fl < 0.5) return static_cast<int>(fl);
    return static_cast<int>(fl) % 2 == 0 ? static_cast<int>(fl) : static_cast<int>(fl) + 1;
}

float pow2(float x) { return F(detExp(x * 0.6931472 + 0.0001) + 1e-12); }
float pow10(float x) { return F(detExp(x * 2.302585 + 0.0001) + 1e-12); }

float dbToGain(float v, float range, float offset) {
    if (v == 0.0f) return 0.0f;
    const float d = F(static_cast<double>(v) * range - offset);
    return pow10(F(d / 20.0));
}

const int ringNext[3] = {1, 2, 0};
const int ringNow[3] = {2, 1, 0};
const int ringPrev1[3] = {0, 2, 1};
const int ringPrev2[3] = {1, 0, 2};

}  // namespace

ReferenceEffect::ReferenceEffect() {
    const float initial[11] = {0, 1, 0.5f, 0, 1, 0.5f, 0.5f, 0.5f, 0.75f, 0, 0};
    for (int k = 0; k < 11; ++k) setParameter(k, initial[k]);
}

int ReferenceEffect::shift() const { return roundDown(F(63.0 * params[6])); }

void ReferenceEffect::setParameter(int index, float value) {
    if (index < 0 || index > 10) return;
    if (value > 1.0f)
        value = 1.0f;
    else if (value < 0.0f || std::isnan(value))
        value = 0.0f;
    params[index] = value;
    designBanks();
    boostGain = dbToGain(params[8], 40, 20);
}

void ReferenceEffect::setDesignRate(float rate) {
    if (rate == designRate) return;
    designRate = rate;
    rateChanged = true;
    designBanks();
    clearAll();  // a fresh start at the new rate
}

void ReferenceEffect::designBanks() {
    for (int b = 0; b < 64; ++b) {
        float t = F(params[0] + (static_cast<double>(params[1]) - params[0]) * b / 63.0);
        float f = F(pow2(F(10.0 * t)) * 20.0);
        designedFreq[0][b] = f;
        designBand(b, 0, f, params[2]);
        t = F(params[3] + (static_cast<double>(params[4]) - params[3]) * b / 63.0);
        f = F(pow2(F(10.0 * t)) * 20.0);
        designedFreq[1][b] = f;
        designBand(b, 1, f, params[5]);
    }
}

void ReferenceEffect::designBandPass(float f, float w, float rate, float out[5]) {
    if (!(w <= 0.99f)) w = F(0.99);
    if (w < 0.005f) w = F(0.005);
    if (f > F(0.49 * rate)) f = F(0.49 * rate);
    const float bw = F(w * static_cast<double>(f) / rate);
    const float fn = F(f / static_cast<double>(rate) + 1e-12);
    const float K = F(detCos(3.14159 * bw) / detSin(3.14159 * bw));
    const float D = F(2 * detCos(6.28318 * fn) + 1e-12);
    const float A = F(1 / (1.00000001 + K));
    const double b0 = A, b1 = 0, b2 = F(-A), a1 = F(-K * static_cast<double>(D) * A),
                 a2 = F((K - 1.0) * A);
    out[0] = F(b0 + 1e-12);
    out[1] = F(b1 + 1e-12);
    out[2] = F(b2 + 1e-12);
    out[3] = F(a1 + 1e-12);
    out[4] = F(a2 + 1e-12);
}

void ReferenceEffect::designBand(int band, int bank, float f, float w) {
    float c[5];
    designBandPass(f, w, designRate, c);
    ffCoef[bank][band][0] = c[0];
    ffCoef[bank][band][1] = c[1];
    ffCoef[bank][band][2] = c[2];
    fbCoef[bank][band][0] = c[3];
    fbCoef[bank][band][1] = c[4];
}

void ReferenceEffect::clearAll() {
    for (int bank = 0; bank < 2; ++bank)
        for (int band = 0; band < 128; ++band)
            for (int slot = 0; slot < 3; ++slot) {
                xHist[bank][band][slot] = 0.0f;
                yHist[bank][band][slot] = 0.0f;
            }
}

void ReferenceEffect::startBlock() {
    const double r = designRate / 100.0;
    fadeFrames = static_cast<int>(std::nearbyint(r));  // ties to even
    if (fadeFrames < 1) fadeFrames = 1;
    if (fadeFrames > 1000000) fadeFrames = 1000000;
    const bool fade = playing && !rateChanged;
    const auto playedNow = [this](const Fade& f) {
        return f.step >= fadeFrames ? f.to
                                    : F(f.from + (static_cast<double>(f.to) - f.from) * f.step / fadeFrames);
    };
    const auto retarget = [&](Fade& f, float to) {
        if (!fade) {
            f = {to, to, fadeFrames};
        } else if (to != f.to) {
            f = {playedNow(f), to, 0};
        }
    };
    retarget(mixFade, params[7]);
    retarget(gainFade, boostGain);
    // A new shift waits for a running fade of the shift to end; the frame
    // loop starts its fade.
    if (!fade) {
        shiftFrom = shiftTo = shiftNext = shift();
        shiftStep = fadeFrames;
    } else {
        shiftNext = shift();
    }
    playing = true;
    rateChanged = false;
}

void ReferenceEffect::processReplacing(const float* in0, const float* in1, float* out0,
                                       float* out1, int frames) {
    if (frames > 0) startBlock();
    for (int k = 0; k < frames; ++k) {
        const float m = F(in0[k] + 1e-12);
        const float c = F(in1[k] + 1e-12);
        ringPos = ringNext[ringPos];
        slotNow = ringNow[ringPos];
        slotPrev1 = ringPrev1[ringPos];
        slotPrev2 = ringPrev2[ringPos];
        // Non-finite input counts as the sample 0.0, in the filters and in
        // the dry path.
        const float mf = std::isfinite(m) ? m : F(0.0 + 1e-12);
        const float cf = std::isfinite(c) ? c : F(0.0 + 1e-12);
        // Frame k of each fade.
        const double n = fadeFrames;
        if (shiftStep >= fadeFrames && shiftNext != shiftTo) {
            shiftFrom = shiftTo;
            shiftTo = shiftNext;
            shiftStep = 0;
        }
        const int kMix = ++mixFade.step, kGain = ++gainFade.step, kShift = ++shiftStep;
        const float mix = kMix < fadeFrames
                              ? F(mixFade.from + (static_cast<double>(mixFade.to) - mixFade.from) * kMix / n)
                              : mixFade.to;
        const float gain =
            kGain < fadeFrames
                ? F(gainFade.from + (static_cast<double>(gainFade.to) - gainFade.from) * kGain / n)
                : gainFade.to;
        const float e = mix < 0.5f ? F(2 * mix) : F(2 - 2.0 * mix);
        float acc = 0.0f, accFrom = 0.0f;
        for (int i = 0; i < 64; ++i) {
            stepBand(i, mf, cf);
            const int j = (i + shiftTo) & 63, jFrom = (i + shiftFrom) & 63;
            acc = F(acc + static_cast<double>(
                              F(static_cast<double>(yHist[0][i][slotNow]) * yHist[1][j][slotNow])));
            accFrom = F(accFrom + static_cast<double>(F(static_cast<double>(yHist[0][i][slotNow]) *
                                                        yHist[1][jFrom][slotNow])));
        }
        if (kShift < fadeFrames)
            acc = F(static_cast<double>(accFrom) * (n - kShift) / n + static_cast<double>(acc) * kShift / n);
        acc = F(static_cast<double>(acc) * gain);
        if (mixFade.step > fadeFrames) mixFade.step = fadeFrames;
        if (gainFade.step > fadeFrames) gainFade.step = fadeFrames;
        if (shiftStep > fadeFrames) shiftStep = fadeFrames;
        // A frame whose sum is not finite is silent, and both banks start
        // again. Every output of both banks reaches the sum within three
        // frames (the carrier's above the shift three frames late), so this
        // also ends any overflow in the banks, frame by frame, wherever the
        // host's blocks begin and end.
        if (!std::isfinite(acc)) {
            acc = 0.0f;
            clearAll();
        }
        const float dry = mix < 0.5f ? mf : cf;
        outSample = F((1.0 - e) * dry + static_cast<double>(acc) * e);
        out0[k] = outSample;
        out1[k] = outSample;
    }
}

void ReferenceEffect::stepBand(int i, float m, float c) {
    const float in[2] = {m, c};
    for (int bank = 0; bank < 2; ++bank) {
        xHist[bank][i][slotNow] = in[bank];
        const double b0 = ffCoef[bank][i][0], b2 = ffCoef[bank][i][2];
        const double a1 = fbCoef[bank][i][0], a2 = fbCoef[bank][i][1];
        const double x0 = xHist[bank][i][slotNow], x2 = xHist[bank][i][slotPrev2];
        const double y1 = yHist[bank][i][slotPrev1], y2 = yHist[bank][i][slotPrev2];
        yHist[bank][i][slotNow] = F(b0 * x0 + b2 * x2 - a1 * y1 - a2 * y2 + 1e-12);
    }
}

}  // namespace halvorine::reference
