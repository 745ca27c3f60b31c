// The band sums' float operations on 256-bit vectors, eight frames a
// vector: the AVX2 loop's and the AVX-512 loop's.
//
// Included inside an unnamed namespace of a file compiled with AVX2 (or
// wider) flags, so each file keeps its own copy: nothing here may reach the
// linker, which could pick one compiled for the wrong instruction set.
// Needs <immintrin.h>.

struct YmmFloats {
    using Fv = __m256;

    static Fv loadF(const float* p) { return _mm256_load_ps(p); }
    static Fv loadFu(const float* p) { return _mm256_loadu_ps(p); }
    static void storeFu(float* p, Fv v) { _mm256_storeu_ps(p, v); }
    static Fv mulF(Fv a, Fv b) { return _mm256_mul_ps(a, b); }
    static Fv addF(Fv a, Fv b) { return _mm256_add_ps(a, b); }
    static Fv setF(float x) { return _mm256_set1_ps(x); }
    static Fv zeroF() { return _mm256_setzero_ps(); }
    static Fv lanesFrom(int m) {
        return _mm256_castsi256_ps(
            _mm256_cmpgt_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(m - 1)));
    }
    static Fv select(Fv mask, Fv a, Fv b) { return _mm256_blendv_ps(a, b, mask); }
    static unsigned nonFinite(Fv v) {
        const Fv d = _mm256_sub_ps(v, v);
        return static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(d, d, _CMP_UNORD_Q)));
    }
    static void transpose(Fv r[8]) {
        Fv t[8], u[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
            t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
        }
        for (int i = 0; i < 8; i += 4) {
            u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
            u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
            u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
            u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int c = 0; c < 4; ++c) {
            r[c] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x20);
            r[c + 4] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x31);
        }
    }
};
