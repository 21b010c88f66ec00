// Accurate integer inverse DCT: the separable Loeffler-Ligtenberg-Moschytz
// factorisation with 13-bit constants, columns first with two extra bits of
// precision kept between the passes. Its results match the standard's
// reference accuracy (IEEE 1180) and the usual integer decoders sample for
// sample. Intermediates are 64-bit so that hostile coefficients cannot
// overflow; on 64-bit processors this costs nothing measurable.
#include "jpeg/jpeg_internal.h"

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

inline uint8_t ClampSample(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

// One 8-point transform over in[0], in[step], ... in[7 * step]. The even and
// odd halves are returned pre-scaled by 2^kConstBits; the caller descales.
struct Butterfly {
    int64_t out[8];
};

template <typename T>
inline void Transform8(const T* in, int step, int64_t dc, Butterfly& b) {
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

}  // namespace

void InverseDct(const int32_t* coef, uint8_t* out, size_t stride) {
    int64_t work[64];
    Butterfly b;

    // Columns. A column without AC terms is flat: only its DC term matters.
    for (int x = 0; x < 8; ++x) {
        const int32_t* col = coef + x;
        if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
            int64_t v = int64_t(col[0]) * (1 << kPass1Bits);
            for (int y = 0; y < 8; ++y) work[y * 8 + x] = v;
            continue;
        }
        Transform8(col, 8, int64_t(col[0]), b);
        constexpr int shift = kConstBits - kPass1Bits;
        constexpr int64_t round = int64_t(1) << (shift - 1);
        for (int y = 0; y < 8; ++y) work[y * 8 + x] = (b.out[y] + round) >> shift;
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
            for (int x = 0; x < 8; ++x) dst[x] = v;
            continue;
        }
        Transform8(row, 1, dc, b);
        for (int x = 0; x < 8; ++x) dst[x] = ClampSample(b.out[x] >> shift);
    }
}

void FillDcBlock(int32_t dc, uint8_t* out, size_t stride) {
    // The transform of a lone DC term: dc / 8 rounded, plus the level shift.
    int64_t v = ((int64_t(dc) * (1 << kPass1Bits) + (1 << (kPass1Bits + 2))) >> (kPass1Bits + 3)) + 128;
    uint8_t sample = ClampSample(v);
    for (int y = 0; y < 8; ++y) {
        uint8_t* dst = out + size_t(y) * stride;
        for (int x = 0; x < 8; ++x) dst[x] = sample;
    }
}

}  // namespace jpeg
