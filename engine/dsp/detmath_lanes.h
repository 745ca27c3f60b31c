// detExp, detSin and detCos (detmath.cpp) on V::DL lanes at once: every
// lane runs the very operations of the scalar version, in the same order,
// so every lane gives the same bits. Where the scalar version branches,
// the lanes compute each branch and select.
//
// Included by each instruction-set file of the sample loop inside its own
// anonymous namespace (the vector code is compiled for that set).

// These functions are internal to the file that includes them and are
// inlined: no call passes a 64-byte vector across a library boundary, so
// GCC's note that such a call's ABI depends on AVX-512 does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

constexpr int kLanes = V::DL;
using Vd = double __attribute__((vector_size(8 * kLanes)));
using Vl = long long __attribute__((vector_size(8 * kLanes)));
using Vu = unsigned long long __attribute__((vector_size(8 * kLanes)));  // bits: logical shifts
using Vi = int __attribute__((vector_size(4 * kLanes)));
using Vf = float __attribute__((vector_size(4 * kLanes)));

inline Vd splat(double x) { return Vd{} + x; }
inline Vu bitsOf(Vd x) { return __builtin_bit_cast(Vu, x); }
inline Vd fromBits(Vu b) { return __builtin_bit_cast(Vd, b); }
inline Vd fromBits(Vl b) { return __builtin_bit_cast(Vd, b); }
inline Vl asSigned(Vu b) { return __builtin_convertvector(b, Vl); }
inline Vd select(Vl mask, Vd a, Vd b) { return mask ? a : b; }
inline Vl highWordAbs(Vd x) { return asSigned((bitsOf(x) >> 32) & 0x7fffffff); }
inline Vl exponentOf(Vd x) { return asSigned((bitsOf(x) >> 52) & 0x7ff); }
inline Vd absOf(Vd x) { return fromBits(bitsOf(x) & 0x7fffffffffffffffULL); }

// Float and int lanes widened to double lanes. GCC 12 widens a generic
// vector in two halves; where the lanes fill one vector of the instruction
// set, its own conversion does it in one instruction.
inline Vd widen(Vf x) {
#if defined(__AVX512F__)
    return _mm512_cvtps_pd(x);
#elif defined(__AVX2__)
    return _mm256_cvtps_pd(x);
#else
    return __builtin_convertvector(x, Vd);
#endif
}
inline Vd widen(Vi x) {
#if defined(__AVX512F__)
    return _mm512_cvtepi32_pd(__builtin_bit_cast(__m256i, x));
#elif defined(__AVX2__)
    return _mm256_cvtepi32_pd(__builtin_bit_cast(__m128i, x));
#else
    return __builtin_convertvector(x, Vd);
#endif
}

// x truncated to an int, in a 64-bit lane.
inline Vl toInt(Vd x) {
    const Vi i = __builtin_convertvector(x, Vi);
#if defined(__AVX512F__)
    return _mm512_cvtepi32_epi64(__builtin_bit_cast(__m256i, i));
#elif defined(__AVX2__)
    return _mm256_cvtepi32_epi64(__builtin_bit_cast(__m128i, i));
#else
    return __builtin_convertvector(i, Vl);
#endif
}

// The lanes of a mask as bits, lane i in bit i.
inline unsigned laneBits(Vl m) {
#if defined(__AVX512F__)
    return _mm512_test_epi64_mask(__builtin_bit_cast(__m512i, m), __builtin_bit_cast(__m512i, m));
#elif defined(__AVX2__)
    return static_cast<unsigned>(_mm256_movemask_pd(__builtin_bit_cast(__m256d, m)));
#else
    unsigned bits = 0;
    for (int i = 0; i < kLanes; ++i) bits |= (m[i] != 0 ? 1u : 0u) << i;
    return bits;
#endif
}
inline bool anyLane(Vl m) { return laneBits(m) != 0; }
inline bool allLanes(Vl m) { return laneBits(m) == (1u << kLanes) - 1; }

// floor(x), for |x| < 2^31. Without a rounding instruction (SSE2) it is
// built from the int conversion, which gives +0 for -0; no caller passes -0
// (the arguments are a product plus 0.5).
inline Vd floorOf(Vd x) {
#if defined(__AVX512F__)
    return _mm512_roundscale_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#elif defined(__AVX2__)
    return _mm256_round_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#else
    const Vd t = widen(__builtin_convertvector(x, Vi));
    return select(t > x, t - 1.0, t);
#endif
}
inline Vd roundToFloat(Vd x) { return widen(__builtin_convertvector(x, Vf)); }
inline Vd twoTo(Vl k) { return fromBits((k + 1023) << 52); }
inline Vl nonFinite(Vd x) { return exponentOf(x) == 0x7ff; }

inline Vd kernelSin(Vd x, Vd y, Vl hasTail) {
    constexpr double S1 = -1.66666666666666324348e-01;
    constexpr double S2 = 8.33333333332248946124e-03;
    constexpr double S3 = -1.98412698298579493134e-04;
    constexpr double S4 = 2.75573137070700676789e-06;
    constexpr double S5 = -2.50507602534068634195e-08;
    constexpr double S6 = 1.58969099521155010221e-10;
    const Vd z = x * x;
    const Vd v = z * x;
    const Vd r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    const Vd plain = x + v * (S1 + z * r);
    const Vd tail = x - ((z * (0.5 * y - v * r) - y) - v * S1);
    return select(highWordAbs(x) < 0x3e400000, x, select(hasTail, tail, plain));
}

inline Vd kernelCos(Vd x, Vd y) {
    constexpr double C1 = 4.16666666666666019037e-02;
    constexpr double C2 = -1.38888888888741095749e-03;
    constexpr double C3 = 2.48015872894767294178e-05;
    constexpr double C4 = -2.75573143513906633035e-07;
    constexpr double C5 = 2.08757232129817482790e-09;
    constexpr double C6 = -1.13596475577881948265e-11;
    const Vl ix = highWordAbs(x);
    const Vd z = x * x;
    const Vd r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    const Vd small = 1.0 - (0.5 * z - (z * r - x * y));
    const Vd qx = select(ix > 0x3fe90000, splat(0.28125), fromBits((ix - 0x00200000) << 32));
    const Vd hz = 0.5 * z - qx;
    const Vd a = 1.0 - qx;
    const Vd large = a - (hz - (z * r - x * y));
    return select(ix < 0x3e400000, splat(1.0), select(ix < 0x3fd33333, small, large));
}

// x = y0 + y1 + n pi/2, |y0 + y1| <= pi/4; returns n mod 4.
inline Vl reduceQuarterPi(Vd x, Vd& y0, Vd& y1) {
    constexpr double invpio2 = 6.36619772367581382433e-01;
    constexpr double pio2_1 = 1.57079632673412561417e+00;
    constexpr double pio2_1t = 6.07710050650619224932e-11;
    constexpr double pio2_2 = 6.07710050630396597660e-11;
    constexpr double pio2_2t = 2.02226624879595063154e-21;
    constexpr double pio2_3 = 2.02226624871116645580e-21;
    constexpr double pio2_3t = 8.47842766036889956997e-32;

    const Vd ax = absOf(x);
    const Vd fn = floorOf(ax * invpio2 + 0.5);
    Vd r = ax - fn * pio2_1;
    Vd w = fn * pio2_1t;
    y0 = r - w;
    // A lane that lies close to a multiple of pi/2 takes a second step, and
    // maybe a third. The design's arguments seldom do, so the steps run
    // only when some lane needs them.
    const Vl j = exponentOf(ax);
    const Vl second = j - exponentOf(y0) > 16;
    if (anyLane(second)) {
        const Vd r2 = r - fn * pio2_2;
        const Vd w2 = fn * pio2_2t - ((r - r2) - fn * pio2_2);
        const Vd y02 = r2 - w2;
        const Vd r3 = r2 - fn * pio2_3;
        const Vd w3 = fn * pio2_3t - ((r2 - r3) - fn * pio2_3);
        const Vd y03 = r3 - w3;
        const Vl third = second & (j - exponentOf(y02) > 49);
        r = select(third, r3, select(second, r2, r));
        w = select(third, w3, select(second, w2, w));
        y0 = select(third, y03, select(second, y02, y0));
    }
    y1 = (r - y0) - w;
    Vl n = toInt(fn) & 3;
    const Vl negative = x < 0.0;
    y0 = select(negative, -y0, y0);
    y1 = select(negative, -y1, y1);
    n = negative ? (4 - n) & 3 : n;
    return n;
}

// detSin(x) and detCos(x) together (they share the reduction).
inline void sinCos(Vd x, Vd& s, Vd& c) {
    const Vl small = highWordAbs(x) <= 0x3fe921fb;
    if (allLanes(small)) {  // often so: no lane needs reducing
        s = kernelSin(x, splat(0.0), Vl{});
        c = kernelCos(x, splat(0.0));
        return;
    }
    Vd y0, y1;
    const Vl n = reduceQuarterPi(x, y0, y1);  // unused by the small lanes
    const Vd u = select(small, x, y0);
    const Vd v = select(small, splat(0.0), y1);
    const Vd ks = kernelSin(u, v, ~small);
    const Vd kc = kernelCos(u, v);
    // Quadrant q: the odd ones swap sine and cosine; the sine changes sign
    // in quadrants 2 and 3, the cosine in 1 and 2.
    const Vu q = __builtin_bit_cast(Vu, small ? Vl{} : n);
    const Vl odd = (q & 1) != 0;
    s = fromBits(bitsOf(select(odd, kc, ks)) ^ (q & 2) << 62);
    c = fromBits(bitsOf(select(odd, ks, kc)) ^ ((q + 1) & 2) << 62);
    const Vd nan = splat(__builtin_nan(""));
    s = select(nonFinite(x), nan, s);
    c = select(nonFinite(x), nan, c);
}

inline Vd expOf(Vd x) {
    constexpr double ln2HI = 6.93147180369123816490e-01;
    constexpr double ln2LO = 1.90821492927058770002e-10;
    constexpr double invln2 = 1.44269504088896338700e+00;
    constexpr double P1 = 1.66666666666666019037e-01;
    constexpr double P2 = -2.77777777770155933842e-03;
    constexpr double P3 = 6.61375632143793436117e-05;
    constexpr double P4 = -1.65339022054652515390e-06;
    constexpr double P5 = 4.13813679705723846039e-08;

    const Vd ax = absOf(x);
    const Vl reduced = ax > 0.5 * 0.6931471805599453;
    const Vd kd = select(reduced, floorOf(invln2 * select(reduced, x, splat(0.0)) + 0.5), splat(0.0));
    const Vd hi = select(reduced, x - kd * ln2HI, x);
    const Vd lo = select(reduced, kd * ln2LO, splat(0.0));
    const Vd r = hi - lo;
    const Vd t = r * r;
    const Vd c = r - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
    // (r c) / (2 - c) is exactly -q: rounding to nearest is symmetric.
    const Vd q = (r * c) / (c - 2.0);
    const Vd unscaled = 1.0 - (q - r);
    const Vd y = 1.0 - ((lo + q) - hi);
    const Vl k = toInt(kd);
    // Within |x| <= 708 no lane is tiny, huge or not a number, and every
    // 2^k is a normal number: the design's case.
    if (allLanes((ax >= 0x1p-28) & (ax <= 708.0))) return select(k == 0, unscaled, y * twoTo(k));
    const Vd scaled = select(k > 1023, y * twoTo(Vl{} + 1023) * twoTo(k - 1023),
                             select(k < -1022, y * twoTo(Vl{} - 1022) * twoTo(k + 1022),
                                    y * twoTo(k)));
    Vd e = select(k == 0, unscaled, scaled);
    e = select(ax < 0x1p-28, 1.0 + x, e);
    e = select(x < -745.13321910194110842, splat(0.0), e);
    e = select(x > 709.782712893383973096, splat(__builtin_inf()), e);
    return select(x != x, x, e);
}
