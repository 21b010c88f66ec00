// Accurate integer inverse DCT: the separable Loeffler-Ligtenberg-Moschytz
// factorisation with 13-bit constants, columns first with two extra bits of
// precision kept between the passes. Its results match the standard's
// reference accuracy (IEEE 1180) and the usual integer decoders sample for
// sample. Intermediates are 64-bit so that hostile coefficients cannot
// overflow; on 64-bit processors this costs nothing measurable.
#include "jpeg/jpeg_internal.h"

#if FERROW_JPEG_SSE2
#include <emmintrin.h>
#endif
#if FERROW_JPEG_AVX2
#include <immintrin.h>
#endif

namespace jpeg {
namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

constexpr int64_t kFix_0_298631336 = 2446;
constexpr int64_t kFix_0_390180644 = 3196;
constexpr int64_t kFix_0_541196100 = 4433;
constexpr int64_t kFix_0_765366865 = 6270;
constexpr int64_t kFix_0_899976223 = 7373;
constexpr int64_t kFix_1_175875602 = 9633;
constexpr int64_t kFix_1_501321110 = 12299;
constexpr int64_t kFix_1_847759065 = 15137;
constexpr int64_t kFix_1_961570560 = 16069;
constexpr int64_t kFix_2_053119869 = 16819;
constexpr int64_t kFix_2_562915447 = 20995;
constexpr int64_t kFix_3_072711026 = 25172;

inline uint8_t ClampSample(int64_t v) {
    return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
}

// One 8-point transform over in[0], in[step], ... in[7 * step]. The even and
// odd halves are returned pre-scaled by 2^kConstBits; the caller descales.
struct Butterfly {
    int64_t out[8];
};

template <typename T> inline void Transform8(const T* in, int step, int64_t dc, Butterfly& b) {
    // Even part: inputs 0, 2, 4, 6. dc is in[0] already scaled by the caller.
    int64_t z2 = in[2 * step], z3 = in[6 * step];
    int64_t z1 = (z2 + z3) * kFix_0_541196100;
    int64_t t2 = z1 - z3 * kFix_1_847759065;
    int64_t t3 = z1 + z2 * kFix_0_765366865;
    int64_t e4 = int64_t(in[4 * step]);
    int64_t t0 = (dc + e4) * (int64_t(1) << kConstBits);
    int64_t t1 = (dc - e4) * (int64_t(1) << kConstBits);
    int64_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;

    // Odd part: inputs 7, 5, 3, 1.
    int64_t o0 = in[7 * step], o1 = in[5 * step], o2 = in[3 * step], o3 = in[1 * step];
    int64_t y1 = o0 + o3, y2 = o1 + o2, y3 = o0 + o2, y4 = o1 + o3;
    int64_t y5 = (y3 + y4) * kFix_1_175875602;
    o0 *= kFix_0_298631336;
    o1 *= kFix_2_053119869;
    o2 *= kFix_3_072711026;
    o3 *= kFix_1_501321110;
    y1 *= -kFix_0_899976223;
    y2 *= -kFix_2_562915447;
    y3 = y3 * -kFix_1_961570560 + y5;
    y4 = y4 * -kFix_0_390180644 + y5;
    o0 += y1 + y3;
    o1 += y2 + y4;
    o2 += y2 + y3;
    o3 += y1 + y4;

    b.out[0] = t10 + o3;
    b.out[7] = t10 - o3;
    b.out[1] = t11 + o2;
    b.out[6] = t11 - o2;
    b.out[2] = t12 + o1;
    b.out[5] = t12 - o1;
    b.out[3] = t13 + o0;
    b.out[4] = t13 - o0;
}

} // namespace

void InverseDctScalar(const int16_t* quantised, const uint16_t* q, uint8_t* out, size_t stride) {
    int32_t coef[64];
    for (int n = 0; n < 64; ++n)
        coef[n] = int32_t(quantised[n]) * int32_t(q[n]);
    int64_t work[64];
    Butterfly b;

    // Columns. A column without AC terms is flat: only its DC term matters.
    for (int x = 0; x < 8; ++x) {
        const int32_t* col = coef + x;
        if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
            int64_t v = int64_t(col[0]) * (1 << kPass1Bits);
            for (int y = 0; y < 8; ++y)
                work[y * 8 + x] = v;
            continue;
        }
        Transform8(col, 8, int64_t(col[0]), b);
        constexpr int shift = kConstBits - kPass1Bits;
        constexpr int64_t round = int64_t(1) << (shift - 1);
        for (int y = 0; y < 8; ++y)
            work[y * 8 + x] = (b.out[y] + round) >> shift;
    }

    // Rows, with the rounding term and the level shift of 128 folded into DC.
    constexpr int shift = kConstBits + kPass1Bits + 3;
    constexpr int64_t round = int64_t(1) << (kPass1Bits + 2);
    for (int y = 0; y < 8; ++y) {
        const int64_t* row = work + y * 8;
        uint8_t* dst = out + size_t(y) * stride;
        int64_t dc = row[0] + round + (int64_t(128) << (kPass1Bits + 3));
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            uint8_t v = ClampSample(dc >> (kPass1Bits + 3));
            for (int x = 0; x < 8; ++x)
                dst[x] = v;
            continue;
        }
        Transform8(row, 1, dc, b);
        for (int x = 0; x < 8; ++x)
            dst[x] = ClampSample(b.out[x] >> shift);
    }
}

#if FERROW_JPEG_SSE2_TARGET
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#if FERROW_JPEG_SSE2
namespace {

// The same transform eight lanes at a time. Each rotation becomes a 16 x 16-bit
// multiply-add of an interleaved input pair, with the constants combined
// exactly as the scalar code's sums and products combine them, so both give
// identical integers for every block of a valid stream. Dequantisation is a
// 16-bit product, exact for the coefficients of a valid stream. Inputs and the
// intermediate rows are 16-bit: dequantised coefficients of a valid stream,
// and the first pass's outputs, stay well inside that range; hostile blocks
// saturate or wrap (defined for vector arithmetic) and only garble their own
// samples.
inline __m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(int32_t(uint32_t(uint16_t(b)) << 16 | uint16_t(a)));
}

struct Half {
    __m128i lo, hi;
};

inline Half Madd(__m128i a, __m128i b, __m128i k) {
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k),
            _mm_madd_epi16(_mm_unpackhi_epi16(a, b), k)};
}
inline Half Add(Half a, Half b) {
    return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)};
}
inline Half Sub(Half a, Half b) {
    return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)};
}

template <int Shift> inline __m128i Descale(Half v, __m128i round) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(v.lo, round), Shift),
                           _mm_srai_epi32(_mm_add_epi32(v.hi, round), Shift));
}

// One 8-point pass over in[0..7] (vector v holds input v of eight lanes).
// dcBias is added to the scaled DC sums; round before the shift.
template <int Shift>
inline void Pass(const __m128i* in, __m128i* out, __m128i dcBias, __m128i round) {
    Half t3 = Madd(in[2], in[6],
                   Pair(int16_t(kFix_0_541196100 + kFix_0_765366865), int16_t(kFix_0_541196100)));
    Half t2 = Madd(in[2], in[6],
                   Pair(int16_t(kFix_0_541196100), int16_t(kFix_0_541196100 - kFix_1_847759065)));
    Half t0 = Madd(in[0], in[4], Pair(1 << kConstBits, 1 << kConstBits));
    Half t1 = Madd(in[0], in[4], Pair(1 << kConstBits, -(1 << kConstBits)));
    t0 = {_mm_add_epi32(t0.lo, dcBias), _mm_add_epi32(t0.hi, dcBias)};
    t1 = {_mm_add_epi32(t1.lo, dcBias), _mm_add_epi32(t1.hi, dcBias)};
    Half t10 = Add(t0, t3), t13 = Sub(t0, t3), t11 = Add(t1, t2), t12 = Sub(t1, t2);

    __m128i z3 = _mm_add_epi16(in[7], in[3]);
    __m128i z4 = _mm_add_epi16(in[5], in[1]);
    Half y3 =
        Madd(z3, z4, Pair(int16_t(kFix_1_175875602 - kFix_1_961570560), int16_t(kFix_1_175875602)));
    Half y4 =
        Madd(z3, z4, Pair(int16_t(kFix_1_175875602), int16_t(kFix_1_175875602 - kFix_0_390180644)));
    Half o0 =
        Add(Madd(in[7], in[1],
                 Pair(int16_t(kFix_0_298631336 - kFix_0_899976223), int16_t(-kFix_0_899976223))),
            y3);
    Half o3 =
        Add(Madd(in[7], in[1],
                 Pair(int16_t(-kFix_0_899976223), int16_t(kFix_1_501321110 - kFix_0_899976223))),
            y4);
    Half o1 =
        Add(Madd(in[5], in[3],
                 Pair(int16_t(kFix_2_053119869 - kFix_2_562915447), int16_t(-kFix_2_562915447))),
            y4);
    Half o2 =
        Add(Madd(in[5], in[3],
                 Pair(int16_t(-kFix_2_562915447), int16_t(kFix_3_072711026 - kFix_2_562915447))),
            y3);

    out[0] = Descale<Shift>(Add(t10, o3), round);
    out[7] = Descale<Shift>(Sub(t10, o3), round);
    out[1] = Descale<Shift>(Add(t11, o2), round);
    out[6] = Descale<Shift>(Sub(t11, o2), round);
    out[2] = Descale<Shift>(Add(t12, o1), round);
    out[5] = Descale<Shift>(Sub(t12, o1), round);
    out[3] = Descale<Shift>(Add(t13, o0), round);
    out[4] = Descale<Shift>(Sub(t13, o0), round);
}

inline void Transpose(__m128i* r) {
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

} // namespace

void InverseDctSse2(const int16_t* coef, const uint16_t* q, uint8_t* out, size_t stride) {
    __m128i rows[8], work[8];
    for (int r = 0; r < 8; ++r)
        rows[r] = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * r)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 8 * r)));
    // Columns (lanes are columns, vectors are rows), then rows.
    Pass<kConstBits - kPass1Bits>(rows, work, _mm_setzero_si128(),
                                  _mm_set1_epi32(1 << (kConstBits - kPass1Bits - 1)));
    Transpose(work);
    // Rounding and the level shift of 128 ride on the DC term.
    const int32_t dcBias =
        int32_t(((1 << (kPass1Bits + 2)) + (128 << (kPass1Bits + 3))) << kConstBits);
    Pass<kConstBits + kPass1Bits + 3>(work, rows, _mm_set1_epi32(dcBias), _mm_setzero_si128());
    Transpose(rows);
    for (int y = 0; y < 8; ++y)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(y) * stride),
                         _mm_packus_epi16(rows[y], rows[y]));
}
#endif
#if FERROW_JPEG_SSE2_TARGET
#pragma GCC pop_options
#endif

#if FERROW_JPEG_AVX2
namespace {

// The SSE2 transform on two blocks at once: the low 128-bit lane of every
// vector belongs to block a, the high one to block b. Every instruction
// works within lanes, so each block gets exactly the SSE2 form's integers.
#define FERROW_AVX2 __attribute__((target("avx2")))

struct Half2 {
    __m256i lo, hi;
};

FERROW_AVX2 inline __m256i Pair2(int16_t a, int16_t b) {
    return _mm256_set1_epi32(int32_t(uint32_t(uint16_t(b)) << 16 | uint16_t(a)));
}
FERROW_AVX2 inline Half2 Madd2(__m256i a, __m256i b, __m256i k) {
    return {_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), k),
            _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), k)};
}
FERROW_AVX2 inline Half2 Add2(Half2 a, Half2 b) {
    return {_mm256_add_epi32(a.lo, b.lo), _mm256_add_epi32(a.hi, b.hi)};
}
FERROW_AVX2 inline Half2 Sub2(Half2 a, Half2 b) {
    return {_mm256_sub_epi32(a.lo, b.lo), _mm256_sub_epi32(a.hi, b.hi)};
}
template <int Shift> FERROW_AVX2 inline __m256i Descale2(Half2 v, __m256i round) {
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(v.lo, round), Shift),
                              _mm256_srai_epi32(_mm256_add_epi32(v.hi, round), Shift));
}

template <int Shift>
FERROW_AVX2 inline void Pass2(const __m256i* in, __m256i* out, __m256i dcBias, __m256i round) {
    Half2 t3 = Madd2(in[2], in[6],
                     Pair2(int16_t(kFix_0_541196100 + kFix_0_765366865), int16_t(kFix_0_541196100)));
    Half2 t2 = Madd2(in[2], in[6],
                     Pair2(int16_t(kFix_0_541196100), int16_t(kFix_0_541196100 - kFix_1_847759065)));
    Half2 t0 = Madd2(in[0], in[4], Pair2(1 << kConstBits, 1 << kConstBits));
    Half2 t1 = Madd2(in[0], in[4], Pair2(1 << kConstBits, -(1 << kConstBits)));
    t0 = {_mm256_add_epi32(t0.lo, dcBias), _mm256_add_epi32(t0.hi, dcBias)};
    t1 = {_mm256_add_epi32(t1.lo, dcBias), _mm256_add_epi32(t1.hi, dcBias)};
    Half2 t10 = Add2(t0, t3), t13 = Sub2(t0, t3), t11 = Add2(t1, t2), t12 = Sub2(t1, t2);

    __m256i z3 = _mm256_add_epi16(in[7], in[3]);
    __m256i z4 = _mm256_add_epi16(in[5], in[1]);
    Half2 y3 = Madd2(z3, z4,
                     Pair2(int16_t(kFix_1_175875602 - kFix_1_961570560), int16_t(kFix_1_175875602)));
    Half2 y4 = Madd2(z3, z4,
                     Pair2(int16_t(kFix_1_175875602), int16_t(kFix_1_175875602 - kFix_0_390180644)));
    Half2 o0 = Add2(Madd2(in[7], in[1],
                          Pair2(int16_t(kFix_0_298631336 - kFix_0_899976223),
                                int16_t(-kFix_0_899976223))),
                    y3);
    Half2 o3 = Add2(Madd2(in[7], in[1],
                          Pair2(int16_t(-kFix_0_899976223),
                                int16_t(kFix_1_501321110 - kFix_0_899976223))),
                    y4);
    Half2 o1 = Add2(Madd2(in[5], in[3],
                          Pair2(int16_t(kFix_2_053119869 - kFix_2_562915447),
                                int16_t(-kFix_2_562915447))),
                    y4);
    Half2 o2 = Add2(Madd2(in[5], in[3],
                          Pair2(int16_t(-kFix_2_562915447),
                                int16_t(kFix_3_072711026 - kFix_2_562915447))),
                    y3);

    out[0] = Descale2<Shift>(Add2(t10, o3), round);
    out[7] = Descale2<Shift>(Sub2(t10, o3), round);
    out[1] = Descale2<Shift>(Add2(t11, o2), round);
    out[6] = Descale2<Shift>(Sub2(t11, o2), round);
    out[2] = Descale2<Shift>(Add2(t12, o1), round);
    out[5] = Descale2<Shift>(Sub2(t12, o1), round);
    out[3] = Descale2<Shift>(Add2(t13, o0), round);
    out[4] = Descale2<Shift>(Sub2(t13, o0), round);
}

FERROW_AVX2 inline void Transpose2(__m256i* r) {
    __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

} // namespace

FERROW_AVX2 void InverseDctPairAvx2(const int16_t* coefs, const uint16_t* q, uint8_t* outA,
                                    uint8_t* outB, size_t stride) {
    __m256i rows[8], work[8];
    for (int r = 0; r < 8; ++r) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs + 8 * r));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs + 64 + 8 * r));
        __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 8 * r));
        rows[r] = _mm256_mullo_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1),
                                     _mm256_broadcastsi128_si256(k));
    }
    Pass2<kConstBits - kPass1Bits>(rows, work, _mm256_setzero_si256(),
                                   _mm256_set1_epi32(1 << (kConstBits - kPass1Bits - 1)));
    Transpose2(work);
    const int32_t dcBias =
        int32_t(((1 << (kPass1Bits + 2)) + (128 << (kPass1Bits + 3))) << kConstBits);
    Pass2<kConstBits + kPass1Bits + 3>(work, rows, _mm256_set1_epi32(dcBias),
                                       _mm256_setzero_si256());
    Transpose2(rows);
    for (int y = 0; y < 8; y += 2) {
        // Lane 0: rows y and y + 1 of block a; lane 1: the same of block b.
        __m256i packed = _mm256_packus_epi16(rows[y], rows[y + 1]);
        __m128i a = _mm256_castsi256_si128(packed), b = _mm256_extracti128_si256(packed, 1);
        uint8_t* pa = outA + size_t(y) * stride;
        uint8_t* pb = outB + size_t(y) * stride;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pa), a);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pa + stride), _mm_unpackhi_epi64(a, a));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pb), b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pb + stride), _mm_unpackhi_epi64(b, b));
    }
}
#endif

void FillDcBlock(int32_t dc, uint8_t* out, size_t stride) {
    // The transform of a lone DC term: dc / 8 rounded, plus the level shift.
    int64_t v =
        ((int64_t(dc) * (1 << kPass1Bits) + (1 << (kPass1Bits + 2))) >> (kPass1Bits + 3)) + 128;
    uint8_t sample = ClampSample(v);
    for (int y = 0; y < 8; ++y) {
        uint8_t* dst = out + size_t(y) * stride;
        for (int x = 0; x < 8; ++x)
            dst[x] = sample;
    }
}

} // namespace jpeg
