// The sample loop, written once over a vector type `V` (see ring_kernel.h).
// Included by each instruction-set file inside its own anonymous namespace,
// after it has defined V:
//   WD, WF            doubles and floats per vector
//   DL                lanes of the bank design (vector extensions)
//   D, H, Fv          double vector, float vector of WD floats, of WF floats
//   loadD storeD setD addD subD mulD divD   double lanes
//   MD, ltD(a, b)     mask of the double lanes where a < b; selectD(mask,
//                     a, b) takes b where the mask is set, a elsewhere
//   madd(a, b, c) = c + a b, nmsub(a, b, c) = c - a b, each with one
//       rounding when a b is exact (it is wherever they are used: a float
//       times a float)
//   toH(D) rounds to floats, storeH (aligned to WD floats), storeHu
//       (unaligned), widen(H), loadAsD (WD floats, unaligned)
//   loadF loadFu storeFu mulF addF setF zeroF   float lanes
//   lanesFrom(m)      mask of the float lanes m and above; select(mask, a, b)
//                     takes b where the mask is set, a elsewhere
//   nonFinite(Fv)     bit mask of the lanes that are infinite or not a number
//   transpose(Fv r[WF])
//
// The arithmetic, in the order that decides every bit:
//   filter     F(((b0 x0 + b2 x2) - a1 y1) - a2 y2 + 1e-12), in double
//   product    F(ym yc), exact in double, so a float multiply
//   band sum   acc = F(acc + product), band 0 first, from +0.0: float adds
//   boost      F(acc boost), a float multiply
//   mix        F((1 - wet) dry + acc wet), in double
// and while a value fades (see Glide), each frame's weight in double, as
// written there: F(from + ((to - from) k) / N), F((S' (N - k)) / N +
// (S k) / N); every double operation rounds once, whichever the lanes.

constexpr double kOffset = 1e-12;

// One frame of one bank, every band: the new outputs go to `out` as floats
// and become the bank's latest history, b.y[b.p]. The histories pass
// through memory from frame to frame, so few registers do (as in 32-bit
// mode). With kDifference the input terms are F(b0 (x0 - x2)) (see
// runBankInRegisters).
template <bool kDifference>
inline void stepBank(Bank& b, double x0, double x2, float* out) {
    const typename V::D X0 = V::setD(kDifference ? x0 - x2 : x0), X2 = V::setD(x2),
                       offset = V::setD(kOffset);
    double* y1 = b.y[b.p];
    double* y2 = b.y[b.p ^ 1];
#pragma GCC unroll 32
    for (int j = 0; j < kBands; j += V::WD) {
        typename V::D v = V::mulD(V::loadD(b.b0 + j), X0);
        if (!kDifference) v = V::madd(V::loadD(b.b2 + j), X2, v);
        v = V::nmsub(V::loadD(b.a1 + j), V::loadD(y1 + j), v);
        v = V::nmsub(V::loadD(b.a2 + j), V::loadD(y2 + j), v);
        const typename V::H h = V::toH(V::addD(v, offset));
        V::storeH(out + j, h);
        V::storeD(y2 + j, V::widen(h));
    }
    b.p ^= 1;
}

// Marks the frames of [begin, end) whose x0 - x2 is exact in double:
// exact[f - begin]. (Knuth's two-sum: the rounding error is 0.)
inline void markExactDifferences(const float* x, int begin, int end, int clearedAt,
                                 unsigned char* exact) {
    for (int f = begin; f < end; ++f) {
        const double a = x[f + 2], c = f - 2 <= clearedAt ? 0.0 : -static_cast<double>(x[f]);
        const double d = a + c, cc = d - a, aa = d - cc;
        exact[f - begin] = (a - aa) + (c - cc) == 0.0;
    }
}

// Frames [begin, end) of one bank, every band, with the frames in the inner
// loop: each band's last two outputs stay in registers from frame to frame
// (with 32 vector registers: a whole bank's), which saves the loads and
// stores of the histories. A clear of the bank at frame `clearedAt` zeroed
// its input history: the two frames after it see 0 two frames back. Frame
// f's outputs go to the row `out` + f kBands.
//
// In a bank designed with b2 = -b0 (kOpposite), a frame whose x0 - x2 is
// exact forms its input terms F(b0 x0 + b2 x2) as F(b0 (x0 - x2)): one
// multiply instead of two, and the same bits, since both products are exact
// and either way the one rounding is of the same number.
template <bool kOpposite>
inline void runBankInRegisters(Bank& b, const float* x, int begin, int end, int clearedAt,
                               float* out) {
    using D = typename V::D;
    constexpr int G = kBands / V::WD;
    D ya[G], yb[G];  // the latest outputs and the ones before, then by turns
    double* latest = b.y[b.p];
    double* before = b.y[b.p ^ 1];
    for (int g = 0; g < G; ++g) {
        ya[g] = V::loadD(latest + g * V::WD);
        yb[g] = V::loadD(before + g * V::WD);
    }
    unsigned char exact[kSubBlock];
    if (kOpposite) markExactDifferences(x, begin, end, clearedAt, exact);
    const D offset = V::setD(kOffset);
    // Frame f from y1 (the latest) and y2; its outputs replace y2.
    const auto step = [&](int f, const D* y1, D* y2) {
        const double x0 = x[f + 2], x2 = f - 2 <= clearedAt ? 0.0 : x[f];
        const auto filter = [&](int g, D input) {
            const int j = g * V::WD;
            D v = V::nmsub(V::loadD(b.a1 + j), y1[g], input);
            v = V::nmsub(V::loadD(b.a2 + j), y2[g], v);
            const typename V::H h = V::toH(V::addD(v, offset));
            V::storeH(out + f * kBands + j, h);
            y2[g] = V::widen(h);
        };
        if (kOpposite && exact[f - begin]) {
            const D X = V::setD(x0 - x2);
#pragma GCC unroll 32
            for (int g = 0; g < G; ++g) filter(g, V::mulD(V::loadD(b.b0 + g * V::WD), X));
        } else {
            const D X0 = V::setD(x0), X2 = V::setD(x2);
#pragma GCC unroll 32
            for (int g = 0; g < G; ++g) {
                const int j = g * V::WD;
                filter(g, V::madd(V::loadD(b.b2 + j), X2, V::mulD(V::loadD(b.b0 + j), X0)));
            }
        }
    };
    int f = begin;
    for (; f + 1 < end; f += 2) {  // two frames, so the registers take turns without copies
        step(f, ya, yb);
        step(f + 1, yb, ya);
    }
    const bool odd = f < end;
    if (odd) step(f, ya, yb);
    for (int g = 0; g < G; ++g) {
        V::storeD(latest + g * V::WD, odd ? yb[g] : ya[g]);
        V::storeD(before + g * V::WD, odd ? ya[g] : yb[g]);
    }
}

inline void runBank(Bank& b, const float* x, int begin, int end, int clearedAt, float* out) {
    if (b.opposite)
        runBankInRegisters<true>(b, x, begin, end, clearedAt, out);
    else
        runBankInRegisters<false>(b, x, begin, end, clearedAt, out);
}

// Frames [begin, end) of both banks. A clear at frame `clearedAt` zeroed
// the input history: the two frames after it see 0 two frames back.
inline void runFilters(State& s, int begin, int end, int clearedAt) {
    // In registers where a bank's histories fill at most half of them.
    if constexpr (V::kRegisters * V::WD >= 4 * kBands) {
        runBank(s.mod, s.modIn, begin, end, clearedAt, s.modOut[0]);
        runBank(s.car, s.carIn, begin, end, clearedAt, s.carOut[3]);
    } else {
        unsigned char modExact[kSubBlock] = {}, carExact[kSubBlock] = {};
        if (s.mod.opposite) markExactDifferences(s.modIn, begin, end, clearedAt, modExact);
        if (s.car.opposite) markExactDifferences(s.carIn, begin, end, clearedAt, carExact);
        const auto step = [&](Bank& b, const float* x, int f, bool difference, float* out) {
            const double x0 = x[f + 2], x2 = f - 2 <= clearedAt ? 0.0 : x[f];
            if (difference)
                stepBank<true>(b, x0, x2, out);
            else
                stepBank<false>(b, x0, x2, out);
        };
        for (int f = begin; f < end; ++f) {
            step(s.mod, s.modIn, f, modExact[f - begin], s.modOut[f]);
            step(s.car, s.carIn, f, carExact[f - begin], s.carOut[f + 3]);
        }
    }
}

// The band sums of frames [begin, end) at `shift`, times `boost`, into
// `out`. Returns the first of those frames whose result is not finite, or
// `end`.
inline int runSums(State& s, int begin, int end, int bandShift, float gain, float* out) {
    constexpr int WF = V::WF;
    const int shift = bandShift == 0 ? kBands : bandShift;
    const int groups = (end - begin + WF - 1) / WF;
    typename V::Fv acc[kSubBlock / WF];
    for (int q = 0; q < groups; ++q) acc[q] = V::zeroF();
    for (int g = 0; g < kBands; g += WF) {
        // Modulator band g + t meets carrier band i + t: three frames late
        // (row k of carOut for frame k) while i + t < kBands, then of the
        // same frame (row k + 3, band i + t - kBands), which is 2 kBands
        // further on from row k's band i + t.
        const int i = shift + g;
        const int late = kBands - i;  // lanes of the late frame
        const int at = late > 0 ? i : i + 2 * kBands;
        const bool straddles = late > 0 && late < WF;
        const typename V::Fv same = V::lanesFrom(straddles ? late : WF);
        for (int q = 0; q < groups; ++q) {
            const int k0 = begin + q * WF;
            typename V::Fv r[WF];
            for (int t = 0; t < WF; ++t) {
                const float* row = s.carOut[k0 + t];
                typename V::Fv c = V::loadFu(row + at);
                if (straddles) c = V::select(same, c, V::loadFu(row + i + 2 * kBands));
                r[t] = V::mulF(V::loadF(s.modOut[k0 + t] + g), c);
            }
            V::transpose(r);
            for (int t = 0; t < WF; ++t) acc[q] = V::addF(acc[q], r[t]);
        }
    }
    const typename V::Fv boost = V::setF(gain);
    int first = end;
    for (int q = groups - 1; q >= 0; --q) {
        const int k0 = begin + q * WF;
        const typename V::Fv v = V::mulF(acc[q], boost);
        V::storeFu(out + k0, v);
        const int lanes = end - k0 < WF ? end - k0 : WF;
        const unsigned bad = V::nonFinite(v) & ((1u << lanes) - 1u);
        if (bad) first = k0 + __builtin_ctz(bad);
    }
    return first;
}

// Frame numbers k0 + 0, 1, ..., WD - 1 in double lanes (exact).
alignas(64) constexpr double kLaneIndex[kMaxLanes] = {0, 1, 2, 3, 4, 5, 6, 7,
                                                      8, 9, 10, 11, 12, 13, 14, 15};
inline typename V::D frameNumbers(int k0) { return V::addD(V::setD(k0), V::loadD(kLaneIndex)); }

// F(x) in double lanes.
inline typename V::D roundedToFloat(typename V::D x) { return V::widen(V::toH(x)); }

// Frame k's value of a fade from `from` to `to` (see Glide) in the lanes
// where k < N, `to` in the others.
inline typename V::D fadedValues(typename V::D k, typename V::D frames, double from, double to) {
    const typename V::D value =
        V::addD(V::setD(from), V::divD(V::mulD(V::setD(to - from), k), frames));
    return V::selectD(V::ltD(k, frames), V::setD(to), roundedToFloat(value));
}

// The boosted band sums of frames [begin, end) of the sub-block into
// s.sums, through the fades of the shift and the gain (see Glide), WD
// frames at a time. Returns the first of those frames whose sum is not
// finite, or `end`.
inline int boostedSums(State& s, int begin, int end) {
    using D = typename V::D;
    const Glide& g = s.glide;
    const bool shiftFades = g.shiftStep < g.frames, gainFades = g.gainStep < g.frames;
    if (!shiftFades && !gainFades) return runSums(s, begin, end, s.shift, s.boost, s.sums);
    runSums(s, begin, end, s.shift, 1.0f, s.sums);  // times 1: the sums as they are
    if (shiftFades) runSums(s, begin, end, g.shiftFrom, 1.0f, s.sumsFrom);
    const D n = V::setD(g.frames);
    for (int f = begin; f < end; f += V::WD) {
        D sum = V::loadAsD(s.sums + f);
        if (shiftFades) {
            const D k = frameNumbers(g.shiftStep + f + 1);
            const D blend = V::addD(V::divD(V::mulD(V::loadAsD(s.sumsFrom + f), V::subD(n, k)), n),
                                    V::divD(V::mulD(sum, k), n));
            sum = V::selectD(V::ltD(k, n), sum, roundedToFloat(blend));
        }
        const D gain = gainFades ? fadedValues(frameNumbers(g.gainStep + f + 1), n, g.gainFrom, g.gainTo)
                                 : V::setD(s.boost);
        V::storeHu(s.sums + f, V::toH(V::mulD(sum, gain)));
    }
    for (int f = begin; f < end; f += V::WF) {
        const int lanes = end - f < V::WF ? end - f : V::WF;
        const unsigned bad = V::nonFinite(V::loadFu(s.sums + f)) & ((1u << lanes) - 1u);
        if (bad) return f + __builtin_ctz(bad);
    }
    return end;
}

// The mix of frames [0, n) while it fades (see Glide), WD frames at a time.
inline void mixFading(State& s, int n) {
    using D = typename V::D;
    const Glide& g = s.glide;
    const D frames = V::setD(g.frames), half = V::setD(0.5), one = V::setD(1.0), two = V::setD(2.0);
    for (int k = 0; k < n; k += V::WD) {
        const D mix = fadedValues(frameNumbers(g.mixStep + k + 1), frames, g.mixFrom, g.mixTo);
        const typename V::MD modulator = V::ltD(mix, half);  // the dry input, and the wet side
        const D doubled = V::mulD(two, mix);
        const D wet = roundedToFloat(V::selectD(modulator, V::subD(two, doubled), doubled));
        const D dry = V::selectD(modulator, V::loadAsD(s.carIn + k + 2), V::loadAsD(s.modIn + k + 2));
        const D v = V::addD(V::mulD(V::subD(one, wet), dry), V::mulD(V::loadAsD(s.sums + k), wet));
        V::storeH(s.mixed + k, V::toH(v));
    }
}

inline int advanced(int step, int n, int frames) { return step + n < frames ? step + n : frames; }

// After n frames: a shift held while the shift faded starts its own fade
// once that one has ended (see Glide).
inline void advanceGlides(State& s, int n) {
    Glide& g = s.glide;
    g.mixStep = advanced(g.mixStep, n, g.frames);
    g.gainStep = advanced(g.gainStep, n, g.frames);
    g.shiftStep = advanced(g.shiftStep, n, g.frames);
    if (g.shiftStep == g.frames && g.shiftNext != s.shift) {
        g.shiftFrom = s.shift;
        s.shift = g.shiftNext;
        g.shiftStep = 0;
    }
}

inline void clearBankHistory(Bank& b) {
    __builtin_memset(b.y, 0, sizeof b.y);
    b.x1 = b.x2 = 0.0f;
}

// The effect of an overflow at frame k: both banks start again from
// silence after it.
inline void clearAfter(State& s, int k) {
    clearBankHistory(s.mod);
    clearBankHistory(s.car);
    for (int r = k + 1; r <= k + 3; ++r) __builtin_memset(s.carOut[r], 0, sizeof s.carOut[r]);
}

// F(in + 1e-12); a sample that is not finite counts as the sample 0.
inline void prepareInputs(float* dst, const float* src, int n) {
    const float silent = static_cast<float>(0.0 + kOffset);
    for (int k = 0; k < n; ++k) {
        const float v = static_cast<float>(static_cast<double>(src[k]) + kOffset);
        dst[k] = __builtin_isfinite(v) ? v : silent;
    }
}

inline void runSubBlock(State& s, const float* in0, const float* in1, float* out0, float* out1,
                        int n, bool accumulate) {
    // Every input is read before any output is written: they may share
    // buffers.
    prepareInputs(s.modIn + 2, in0, n);
    prepareInputs(s.carIn + 2, in1, n);
    s.modIn[0] = s.mod.x2;
    s.modIn[1] = s.mod.x1;
    s.carIn[0] = s.car.x2;
    s.carIn[1] = s.car.x1;

    // A frame whose sum is not finite counts as 0, and both banks start
    // again from silence after it. Every output of both banks reaches the
    // sum within three frames (the carrier's above the shift three frames
    // late), so this also ends any overflow of the banks, frame by frame,
    // wherever the host's blocks begin and end.
    int clearedAt = -3;  // no clear yet
    runFilters(s, 0, n, clearedAt);
    int bad = boostedSums(s, 0, n);
    while (bad < n) {
        // The filters have already run past frame `bad`; run the rest again,
        // a frame at a time (it is rare).
        s.sums[bad] = 0.0f;
        clearAfter(s, bad);
        clearedAt = bad;
        bad = n;
        for (int f = clearedAt + 1; f < n; ++f) {
            runFilters(s, f, f + 1, clearedAt);
            if (boostedSums(s, f, f + 1) == f) {
                bad = f;
                break;
            }
        }
    }
    s.mod.x1 = n - 1 <= clearedAt ? 0.0f : s.modIn[n + 1];
    s.mod.x2 = n - 2 <= clearedAt ? 0.0f : s.modIn[n];
    s.car.x1 = n - 1 <= clearedAt ? 0.0f : s.carIn[n + 1];
    s.car.x2 = n - 2 <= clearedAt ? 0.0f : s.carIn[n];
    // The carrier's last three outputs move to the first three rows (the
    // copies run forward, so overlapping rows are read before written).
    for (int r = 0; r < 3; ++r)
        __builtin_memcpy(s.carOut[r], s.carOut[n + r], sizeof s.carOut[r]);

    // The mix, in double.
    if (s.glide.mixStep < s.glide.frames) {
        mixFading(s, n);
    } else {
        const float* dry = s.dryIsModulator ? s.modIn + 2 : s.carIn + 2;
        const double wet = s.wet;
        const typename V::D dryWeight = V::setD(1.0 - wet), wetWeight = V::setD(wet);
        for (int k = 0; k < n; k += V::WD) {
            const typename V::D v = V::addD(V::mulD(dryWeight, V::loadAsD(dry + k)),
                                            V::mulD(V::loadAsD(s.sums + k), wetWeight));
            V::storeH(s.mixed + k, V::toH(v));
        }
    }
    advanceGlides(s, n);
    int k = 0;
    if (accumulate) {
        for (; k + V::WF <= n; k += V::WF) {
            const typename V::Fv m = V::loadF(s.mixed + k);
            V::storeFu(out0 + k, V::addF(V::loadFu(out0 + k), m));
            V::storeFu(out1 + k, V::addF(V::loadFu(out1 + k), m));
        }
        for (; k < n; ++k) {
            out0[k] = out0[k] + s.mixed[k];
            out1[k] = out1[k] + s.mixed[k];
        }
    } else {
        for (; k + V::WF <= n; k += V::WF) {
            const typename V::Fv m = V::loadF(s.mixed + k);
            V::storeFu(out0 + k, m);
            V::storeFu(out1 + k, m);
        }
        for (; k < n; ++k) out0[k] = out1[k] = s.mixed[k];
    }
    s.last = s.mixed[n - 1];
}

inline void processBlockImpl(State& s, const float* in0, const float* in1, float* out0,
                             float* out1, int frames, bool accumulate) {
    for (int k = 0; k < frames;) {
        int n = frames - k < kSubBlock ? frames - k : kSubBlock;
        // A sub-block ends where a fade of the shift ends that has another
        // held behind it, so that no frame needs the sums at three shifts.
        const Glide& g = s.glide;
        if (g.shiftNext != s.shift && g.frames - g.shiftStep < n) n = g.frames - g.shiftStep;
        runSubBlock(s, in0 + k, in1 + k, out0 + k, out1 + k, n, accumulate);
        k += n;
    }
}

#include "detmath_lanes.h"

inline unsigned long long designBankImpl(Bank& b, float start, float finish, float width,
                                         float rate, bool keepCentres) {
    float w = width;
    if (!(w <= 0.99f)) w = static_cast<float>(0.99);  // not-a-number included
    if (w < 0.005f) w = static_cast<float>(0.005);
    const double fLimit = static_cast<float>(0.49 * rate);
    const double p0 = start, p1 = finish, r = rate;
    unsigned long long nearCircleBands = 0;
    bool opposite = true;
    // Three passes over the bands rather than one: each is a shorter chain
    // of dependent operations, so the processor overlaps the band groups.
    if (!keepCentres) {
        for (int band = 0; band < kBands; band += kLanes) {
            Vd index;
            for (int i = 0; i < kLanes; ++i) index[i] = band + i;
            const Vd t = roundToFloat(p0 + (p1 - p0) * index / 63.0);
            const Vd x = roundToFloat(10.0 * t);
            const Vd two = roundToFloat(expOf(x * 0.6931472 + 0.0001) + kOffset);
            Vd f = roundToFloat(two * 20.0);
            f = select(f > fLimit, splat(fLimit), f);
            const Vf centre = __builtin_convertvector(f, Vf);
            __builtin_memcpy(b.centre + band, &centre, sizeof centre);
        }
        for (int band = 0; band < kBands; band += kLanes) {
            Vf centre;
            __builtin_memcpy(&centre, b.centre + band, sizeof centre);
            const Vd fn = roundToFloat(widen(centre) / r + kOffset);
            Vd s, c;
            sinCos(6.28318 * fn, s, c);
            const Vf cosTerm = __builtin_convertvector(roundToFloat(2.0 * c + kOffset), Vf);
            __builtin_memcpy(b.cosTerm + band, &cosTerm, sizeof cosTerm);
        }
    }
    for (int band = 0; band < kBands; band += kLanes) {
        Vf centre, cosTerm;
        __builtin_memcpy(&centre, b.centre + band, sizeof centre);
        __builtin_memcpy(&cosTerm, b.cosTerm + band, sizeof cosTerm);
        const Vd f = widen(centre);
        const Vd D = widen(cosTerm);
        const Vd bw = roundToFloat(static_cast<double>(w) * f / r);
        Vd s, c;
        sinCos(3.14159 * bw, s, c);
        const Vd K = roundToFloat(c / s);
        const Vd A = roundToFloat(1.0 / (1.00000001 + K));
        const Vd b0 = roundToFloat(A + kOffset);
        const Vd b2 = roundToFloat(-A + kOffset);
        const Vd a1 = roundToFloat(roundToFloat(-K * D * A) + kOffset);
        const Vd a2 = roundToFloat(roundToFloat((K - 1.0) * A) + kOffset);
        // keepStable() repairs a band whose poles come within 2.5e-7 of the
        // unit circle; flag every band within 1e-6.
        constexpr double kNear = 1e-6;
        const Vl nearCircle = ~((a2 <= 1.0 - kNear) & (-1.0 + kNear <= a2) &
                                (1.0 + a1 + a2 >= kNear) & (1.0 - a1 + a2 >= kNear));
        opposite = opposite && !anyLane(~((b2 == -b0) & (b0 > 0.0)));
        __builtin_memcpy(b.b0 + band, &b0, sizeof b0);
        __builtin_memcpy(b.b2 + band, &b2, sizeof b2);
        __builtin_memcpy(b.a1 + band, &a1, sizeof a1);
        __builtin_memcpy(b.a2 + band, &a2, sizeof a2);
        if (anyLane(nearCircle))  // rare: only at high rates
            for (int i = 0; i < kLanes; ++i)
                if (nearCircle[i]) nearCircleBands |= 1ull << (band + i);
    }
    b.opposite = opposite;
    return nearCircleBands;
}
