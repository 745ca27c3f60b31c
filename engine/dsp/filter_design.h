// Design of one second-order band filter, and the rule that spaces a bank's
// centre frequencies on a logarithmic axis.
#pragma once

namespace halvorine::dsp {

enum FilterType : int { kFilterOff = 0, kFilterBypass = 1, kFilterLow = 2, kFilterHigh = 3,
                        kFilterBandPass = 4, kFilterBandReject = 5 };

// The five stored coefficients of one band (each already carries the
// denormal offset). The sample step reads b0, b2, a1 and a2; b1 is kept for
// completeness (the band-pass has none).
struct BandCoefficients {
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};

// Centre frequency in Hz of band `band` of a bank whose normalised start
// and finish values are `start` and `finish`: 20 * 2^(10 t), t running
// linearly from start (band 0) to finish (band lastBand).
float bandFrequency(float start, float finish, int band, int lastBand);

// Designs one band of type `type` at centre frequency f (Hz) with
// normalised width w (bandwidth = w * f, limited to 0.005..0.99) for the
// sample rate `rate`. A centre frequency above 0.49 * rate is designed at
// 0.49 * rate, so no band can become unstable at a low sample rate.
BandCoefficients designBand(int type, float f, float w, float rate);

// Keeps a band's stored feedback coefficients clear of the unit circle.
// Stored as floats, the poles of the lowest bands move onto or outside the
// circle at high sample rates (above 192 kHz), where the filter would ring
// for ever or grow. Such a band keeps its pole radius, and so its width and
// gain; its pole angle is raised to the lowest that floats can hold. Every
// band that needs no repair is left bit for bit as designed.
void keepStable(BandCoefficients& c);

}  // namespace halvorine::dsp
