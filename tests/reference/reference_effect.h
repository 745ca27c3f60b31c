// A plain model of the effect's sound, written straight from its formulas:
// one band at a time, one frame at a time, the histories in a three-slot
// ring exactly as laid out; a design keeps the histories, a new rate clears
// them. Once a block has run, a change of the mix, the boost's gain or the
// shift found at the start of a block fades in over N = round(rate / 100)
// frames; the first block and a new rate take values at once. A new shift
// found while the shift fades waits for that fade to end and fades in from
// the frame after it. It is slow on purpose and shares no code with the
// engine except the deterministic exp, sin and cos (which have their own
// tests).
#pragma once

namespace halvorine::reference {

class ReferenceEffect {
public:
    ReferenceEffect();

    // Clamps, stores and redesigns both banks; the histories run on.
    void setParameter(int index, float value);
    float parameter(int index) const { return params[index]; }
    // A new rate redesigns and clears the histories.
    void setDesignRate(float rate);

    void processReplacing(const float* in0, const float* in1, float* out0, float* out1,
                          int frames);

    // Inspection for tests.
    float centreFrequency(int bank, int band) const { return designedFreq[bank][band]; }
    float b0(int bank, int band) const { return ffCoef[bank][band][0]; }
    float b1(int bank, int band) const { return ffCoef[bank][band][1]; }
    float b2(int bank, int band) const { return ffCoef[bank][band][2]; }
    float a1(int bank, int band) const { return fbCoef[bank][band][0]; }
    float a2(int bank, int band) const { return fbCoef[bank][band][1]; }
    float boost() const { return boostGain; }
    int shift() const;

    // The single-band design, exposed for its worked values.
    static void designBandPass(float f, float w, float rate, float out[5]);

private:
    void designBanks();
    void designBand(int band, int bank, float f, float w);
    void clearAll();
    void processSample(float m, float c);
    void stepBand(int i, float m, float c);

    float params[11] = {};
    float boostGain = 0.0f;
    float designRate = 44100.0f;
    float ffCoef[2][128][3] = {};
    float fbCoef[2][128][2] = {};
    float xHist[2][128][3] = {};
    float yHist[2][128][3] = {};
    float designedFreq[2][64] = {};
    int ringPos = 0, slotNow = 0, slotPrev1 = 1, slotPrev2 = 2;
    float outSample = 0.0f;

    // The fades (frame k = step + 1 of N plays from + (to - from) k / N).
    struct Fade {
        float from = 0.0f, to = 0.0f;
        int step = 0;
    };
    void startBlock();
    bool playing = false, rateChanged = false;
    int fadeFrames = 441;
    Fade mixFade, gainFade;
    int shiftFrom = 0, shiftTo = 0, shiftStep = 0, shiftNext = 0;
};

}  // namespace halvorine::reference
