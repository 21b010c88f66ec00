// From component planes to pixels: reconstruction of progressive
// coefficients, upsampling by replication, YCbCr, RGB, CMYK and YCCK to RGB,
// and the 24-bit bottom-up bitmap.
#include <cstdint>
#include <cstring>
#include <vector>

#include "jpeg/jpeg_internal.h"

#if FERROW_JPEG_SSE2
#include <emmintrin.h>
#endif
#if FERROW_JPEG_AVX2
#include <immintrin.h>
#endif

namespace jpeg {
namespace {

inline uint8_t Clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
}

// JFIF conversion with 16 fractional bits, rounded: the same figures as the
// usual integer decoders, so pictures agree with theirs exactly.
constexpr int kCrToR = 91881;  // 1.40200
constexpr int kCbToG = 22554;  // 0.34414
constexpr int kCrToG = 46802;  // 0.71414
constexpr int kCbToB = 116130; // 1.77200
constexpr int kHalf = 1 << 15;

inline void StorePixel(uint8_t* px, int y, int cb, int cr) {
    cb -= 128;
    cr -= 128;
    px[0] = Clamp255(y + ((kCrToR * cr + kHalf) >> 16));
    px[1] = Clamp255(y + ((-kCbToG * cb - kCrToG * cr + kHalf) >> 16));
    px[2] = Clamp255(y + ((kCbToB * cb + kHalf) >> 16));
}

#if FERROW_JPEG_SSE2_TARGET
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#if FERROW_JPEG_SSE2
// Eight pixels at a time with the same integer results as StorePixel. The
// constants that do not fit 16 bits are split: 1.402 = 1 + 26345/65536,
// -0.71414 = -1 + 18734/65536 and 1.772 = 2 - 14942/65536, so that every
// product is a 16 x 16-bit multiply-add with a 32-bit sum.
inline __m128i RoundedHigh(__m128i a, __m128i b, __m128i k, __m128i bias) {
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), bias);
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), k), bias);
    return _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
}

inline void StoreEight(uint8_t* px, __m128i y8, __m128i cb8, __m128i cr8) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i one = _mm_set1_epi16(1);
    const __m128i bias1 = _mm_set1_epi32(1);
    const __m128i bias = _mm_set1_epi32(kHalf);
    __m128i y = _mm_unpacklo_epi8(y8, zero);
    __m128i cb = _mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), c128);
    __m128i cr = _mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), c128);
    __m128i r = RoundedHigh(cr, one, _mm_set1_epi32(int32_t(32767u << 16 | 26345u)), bias1);
    __m128i g = RoundedHigh(
        cb, cr, _mm_set1_epi32(int32_t(uint32_t(18734) << 16 | uint16_t(-22554))), bias);
    __m128i b =
        RoundedHigh(cb, one, _mm_set1_epi32(int32_t(32767u << 16 | uint16_t(-14942))), bias1);
    r = _mm_add_epi16(_mm_add_epi16(y, cr), r);
    g = _mm_sub_epi16(_mm_add_epi16(y, g), cr);
    b = _mm_add_epi16(_mm_add_epi16(y, _mm_add_epi16(cb, cb)), b);
    __m128i r8 = _mm_packus_epi16(r, zero), g8 = _mm_packus_epi16(g, zero),
            b8 = _mm_packus_epi16(b, zero);
    __m128i rg = _mm_unpacklo_epi8(r8, g8);
    __m128i b0 = _mm_unpacklo_epi8(b8, zero);
    alignas(16) uint32_t rgbx[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(rgbx), _mm_unpacklo_epi16(rg, b0));
    _mm_store_si128(reinterpret_cast<__m128i*>(rgbx + 4), _mm_unpackhi_epi16(rg, b0));
    // Four-byte stores, each overlapping the next pixel: the caller leaves
    // at least one pixel after the group, whose bytes are written later.
    for (int i = 0; i < 8; ++i)
        std::memcpy(px + 3 * i, &rgbx[i], 4);
}

} // namespace

// Converts the longest run of whole groups that leaves at least one pixel
// of the row to the scalar code; returns the pixels done.
int ConvertRowSse2(const uint8_t* rowY, const uint8_t* rowCb, const uint8_t* rowCr, uint8_t* px,
                   int width, int chromaStep) {
    int x = 0;
    if (chromaStep == 1) {
        for (; x + 8 < width; x += 8)
            StoreEight(px + size_t(x) * 3,
                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowY + x)),
                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowCb + x)),
                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowCr + x)));
    } else {
        for (; x + 16 < width; x += 16) {
            __m128i y16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowY + x));
            __m128i cb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowCb + x / 2));
            __m128i cr = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rowCr + x / 2));
            cb = _mm_unpacklo_epi8(cb, cb);
            cr = _mm_unpacklo_epi8(cr, cr);
            StoreEight(px + size_t(x) * 3, y16, cb, cr);
            StoreEight(px + size_t(x) * 3 + 24, _mm_srli_si128(y16, 8), _mm_srli_si128(cb, 8),
                       _mm_srli_si128(cr, 8));
        }
    }
    return x;
}
namespace {
#endif
#if FERROW_JPEG_SSE2_TARGET
#pragma GCC pop_options
#endif

#if FERROW_JPEG_AVX2
#define FERROW_AVX2 __attribute__((target("avx2")))

// Sixteen chroma pairs at a time with the SSE2 form's constants; the colour
// terms are worked out once per chroma sample and added to every luma
// sample that shares it, which gives the same integers as adding them to
// each pixel's copy.
struct ColourTerms {
    __m256i r, g, b;
};

FERROW_AVX2 inline __m256i RoundedHigh2(__m256i a, __m256i b, __m256i k, __m256i bias) {
    __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), k), bias);
    __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), k), bias);
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, 16), _mm256_srai_epi32(hi, 16));
}

FERROW_AVX2 inline ColourTerms Terms(const uint8_t* rowCb, const uint8_t* rowCr) {
    const __m256i c128 = _mm256_set1_epi16(128);
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i bias1 = _mm256_set1_epi32(1);
    const __m256i bias = _mm256_set1_epi32(kHalf);
    __m256i cb = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rowCb))), c128);
    __m256i cr = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rowCr))), c128);
    ColourTerms t;
    t.r = _mm256_add_epi16(
        cr, RoundedHigh2(cr, one, _mm256_set1_epi32(int32_t(32767u << 16 | 26345u)), bias1));
    t.g = _mm256_sub_epi16(
        RoundedHigh2(cb, cr, _mm256_set1_epi32(int32_t(uint32_t(18734) << 16 | uint16_t(-22554))),
                     bias),
        cr);
    t.b = _mm256_add_epi16(
        _mm256_add_epi16(cb, cb),
        RoundedHigh2(cb, one, _mm256_set1_epi32(int32_t(32767u << 16 | uint16_t(-14942))), bias1));
    return t;
}

// Byte shuffles that interleave sixteen red, green and blue bytes into 48
// bytes of pixels: mask [3 * part + colour], 0x80 for a byte another colour fills.
struct InterleaveMasks {
    uint8_t m[9][16];
};
constexpr InterleaveMasks MakeInterleaveMasks() {
    InterleaveMasks k{};
    for (int part = 0; part < 3; ++part)
        for (int colour = 0; colour < 3; ++colour)
            for (int j = 0; j < 16; ++j) {
                int i = 16 * part + j;
                k.m[3 * part + colour][j] = uint8_t(i % 3 == colour ? i / 3 : 0x80);
            }
    return k;
}
constexpr InterleaveMasks kInterleave = MakeInterleaveMasks();

FERROW_AVX2 inline __m128i Narrow(__m256i v) {
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

FERROW_AVX2 inline __m128i Mask(int n) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kInterleave.m[n]));
}

// Sixteen pixels: luma plus the terms, into exactly 48 bytes.
FERROW_AVX2 inline void StoreSixteen(uint8_t* px, const uint8_t* rowY, __m256i tr, __m256i tg,
                                     __m256i tb) {
    __m256i y = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rowY)));
    __m128i r = Narrow(_mm256_add_epi16(y, tr));
    __m128i g = Narrow(_mm256_add_epi16(y, tg));
    __m128i b = Narrow(_mm256_add_epi16(y, tb));
    for (int part = 0; part < 3; ++part) {
        __m128i v = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(r, Mask(3 * part)), _mm_shuffle_epi8(g, Mask(3 * part + 1))),
            _mm_shuffle_epi8(b, Mask(3 * part + 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 16 * part), v);
    }
}

// Each term doubled in place, for the two luma samples of a half-rate pair:
// pixels 0-15 in the first result, 16-31 in the second.
FERROW_AVX2 inline void Double(__m256i t, __m256i* first, __m256i* second) {
    t = _mm256_permute4x64_epi64(t, 0xD8);
    *first = _mm256_unpacklo_epi16(t, t);
    *second = _mm256_unpackhi_epi16(t, t);
}

} // namespace

FERROW_AVX2 int ConvertRowAvx2(const uint8_t* rowY, const uint8_t* rowCb, const uint8_t* rowCr,
                               uint8_t* px, int width, int chromaStep) {
    int x = 0;
    if (chromaStep == 1) {
        for (; x + 16 <= width; x += 16) {
            ColourTerms t = Terms(rowCb + x, rowCr + x);
            StoreSixteen(px + size_t(x) * 3, rowY + x, t.r, t.g, t.b);
        }
    } else {
        for (; x + 32 <= width; x += 32) {
            ColourTerms t = Terms(rowCb + x / 2, rowCr + x / 2);
            __m256i r0, r1, g0, g1, b0, b1;
            Double(t.r, &r0, &r1);
            Double(t.g, &g0, &g1);
            Double(t.b, &b0, &b1);
            StoreSixteen(px + size_t(x) * 3, rowY + x, r0, g0, b0);
            StoreSixteen(px + size_t(x) * 3 + 48, rowY + x + 16, r1, g1, b1);
        }
    }
    return x;
}

namespace {
#endif

// Column of the component sample that covers picture column x: replication
// for every whole ratio, nearest sample for the rare fractional ones.
std::vector<uint32_t> ColumnMap(const Decoder& d, const Component& c) {
    std::vector<uint32_t> map(size_t(d.width));
    for (int x = 0; x < d.width; ++x)
        map[size_t(x)] = uint32_t(uint64_t(x) * c.h / uint32_t(d.hMax));
    return map;
}

inline const uint8_t* PlaneRow(const Decoder& d, const Component& c, int y, int firstRow) {
    size_t row = size_t(uint64_t(y) * c.v / uint32_t(d.vMax)) - size_t(firstRow);
    return c.plane + row * c.stride;
}

void ConvertGeneric(const Decoder& d, const Component& cy, const Component& cb, const Component& cr,
                    DecodedImage* image, int y0, int y1, const int* first) {
    const size_t rowBytes = size_t(d.width) * 3;
    const std::vector<uint32_t> mapY = ColumnMap(d, cy), mapCb = ColumnMap(d, cb),
                                mapCr = ColumnMap(d, cr);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* rowY = PlaneRow(d, cy, y, first[0]);
        const uint8_t* rowCb = PlaneRow(d, cb, y, first[1]);
        const uint8_t* rowCr = PlaneRow(d, cr, y, first[2]);
        uint8_t* px = image->pixels + size_t(y) * rowBytes;
        for (int x = 0; x < d.width; ++x, px += 3)
            StorePixel(px, rowY[mapY[size_t(x)]], rowCb[mapCb[size_t(x)]], rowCr[mapCr[size_t(x)]]);
    }
}

// Scaling of an inverted colour by its inverted black: both are stored as
// 255 - ink, so the product over 255 (rounded) is the light that remains.
inline uint8_t InkLight(int colour, int black) {
    return uint8_t((colour * black + 127) / 255);
}

// RGB, CMYK and YCCK pictures: each component row is first spread to the
// picture's width, then every pixel is converted on its own.
void ConvertOther(const Decoder& d, DecodedImage* image, int y0, int y1, const int* first) {
    const size_t width = size_t(d.width);
    const int count = d.componentCount;
    std::vector<uint32_t> maps[kMaxComponents];
    for (int i = 0; i < count; ++i)
        maps[i] = ColumnMap(d, d.comp[i]);
    std::vector<uint8_t> spread(width * size_t(count));
    for (int y = y0; y < y1; ++y) {
        for (int i = 0; i < count; ++i) {
            const uint8_t* src = PlaneRow(d, d.comp[i], y, first[i]);
            uint8_t* dst = spread.data() + width * size_t(i);
            const uint32_t* map = maps[i].data();
            for (size_t x = 0; x < width; ++x)
                dst[x] = src[map[x]];
        }
        const uint8_t* c0 = spread.data();
        const uint8_t* c1 = c0 + width;
        const uint8_t* c2 = c1 + width;
        const uint8_t* c3 = count == 4 ? c2 + width : nullptr;
        uint8_t* px = image->pixels + size_t(y) * width * 3;
        for (size_t x = 0; x < width; ++x, px += 3) {
            switch (d.model) {
            case ColourModel::Rgb:
                px[0] = c0[x];
                px[1] = c1[x];
                px[2] = c2[x];
                break;
            case ColourModel::Cmyk:
                px[0] = InkLight(c0[x], c3[x]);
                px[1] = InkLight(c1[x], c3[x]);
                px[2] = InkLight(c2[x], c3[x]);
                break;
            default: { // YCCK: the YCbCr triple gives the inverted inks C, M, Y
                uint8_t rgb[3];
                StorePixel(rgb, c0[x], c1[x], c2[x]);
                px[0] = InkLight(255 - rgb[0], c3[x]);
                px[1] = InkLight(255 - rgb[1], c3[x]);
                px[2] = InkLight(255 - rgb[2], c3[x]);
                break;
            }
            }
        }
    }
}

// Whether a block has a non-zero coefficient besides its first.
inline bool HasAc(const int16_t* block) {
    uint64_t words[16];
    std::memcpy(words, block, sizeof words);
    int16_t head[4];
    std::memcpy(head, block, sizeof head);
    head[0] = 0;
    std::memcpy(&words[0], head, sizeof head);
    uint64_t any = 0;
    for (uint64_t w : words)
        any |= w;
    return any != 0;
}

// The blocks of component c in block rows by0..by1-1 into its row-tall plane.
void ReconstructRows(const Decoder& d, const Component& c, const uint16_t* q, int by0, int by1) {
    int16_t natural[128];
    for (int by = by0; by < by1 && by < c.blocksHigh; ++by) {
        const int16_t* row = c.coefs + size_t(by) * size_t(c.blocksPerLine) * 64;
        uint8_t* out = c.plane + size_t(by - by0) * 8 * c.stride;
        for (int bx = 0; bx < c.blocksWide; bx += 2) {
            const int16_t* pair = row + size_t(bx) * 64;
            for (int k = 0; k < 64; ++k)
                natural[kZigzag[k]] = pair[k];
            if (bx + 1 == c.blocksWide) {
                TransformOne(d.kernels, natural, q, HasAc(pair), out + size_t(bx) * 8, c.stride);
                break;
            }
            for (int k = 0; k < 64; ++k)
                natural[64 + kZigzag[k]] = pair[64 + k];
            TransformTwo(d.kernels, natural, q, HasAc(pair), HasAc(pair + 64),
                         out + size_t(bx) * 8, out + size_t(bx) * 8 + 8, c.stride);
        }
    }
}

} // namespace

bool ReconstructPicture(Decoder& d) {
    // Planes one MCU row tall: the samples are converted while they are
    // still in the cache, and the picture needs no full-size planes.
    if (!AllocatePixels(d)) return false;
    uint16_t q[kMaxComponents][64];
    for (int i = 0; i < d.componentCount; ++i) {
        Component& c = d.comp[i];
        c.plane = static_cast<uint8_t*>(std::malloc(c.stride * size_t(c.v) * 8));
        if (!c.plane) return false;
        for (int k = 0; k < 64; ++k)
            q[i][kZigzag[k]] = d.quant[c.tq][k];
    }
    const int rowHeight = 8 * d.vMax;
    for (int my = 0; my < d.mcusDown; ++my) {
        int first[kMaxComponents] = {};
        for (int i = 0; i < d.componentCount; ++i) {
            const Component& c = d.comp[i];
            ReconstructRows(d, c, q[i], my * c.v, my * c.v + c.v);
            first[i] = my * c.v * 8;
        }
        int y0 = my * rowHeight;
        int y1 = y0 + rowHeight < d.height ? y0 + rowHeight : d.height;
        ConvertRows(d, d.image, y0, y1, first);
    }
    return true;
}

void ConvertRows(const Decoder& d, DecodedImage* image, int y0, int y1, const int* first) {
    const size_t rowBytes = size_t(d.width) * 3;
    if (d.componentCount == 1) {
        const Component& c = d.comp[0];
        for (int y = y0; y < y1; ++y) {
            const uint8_t* src = c.plane + size_t(y - first[0]) * c.stride;
            uint8_t* px = image->pixels + size_t(y) * rowBytes;
            for (int x = 0; x < d.width; ++x, px += 3)
                px[0] = px[1] = px[2] = src[x];
        }
        return;
    }

    if (d.model != ColourModel::YCbCr) {
        ConvertOther(d, image, y0, y1, first);
        return;
    }

    const Component& cy = d.comp[0];
    const Component& cb = d.comp[1];
    const Component& cr = d.comp[2];
    // Common layouts: luma at full rate, both chroma planes at the full or
    // half horizontal rate. Anything else goes through per-column maps.
    int chromaStep = 0;
    if (cy.h == d.hMax && cb.h == cr.h && d.hMax % cb.h == 0) {
        int ratio = d.hMax / cb.h;
        if (ratio == 1 || ratio == 2) chromaStep = ratio;
    }
    if (chromaStep == 0) {
        ConvertGeneric(d, cy, cb, cr, image, y0, y1, first);
        return;
    }
    for (int y = y0; y < y1; ++y) {
        const uint8_t* rowY = PlaneRow(d, cy, y, first[0]);
        const uint8_t* rowCb = PlaneRow(d, cb, y, first[1]);
        const uint8_t* rowCr = PlaneRow(d, cr, y, first[2]);
        uint8_t* px = image->pixels + size_t(y) * rowBytes;
        int x = d.kernels.convertRow
                    ? d.kernels.convertRow(rowY, rowCb, rowCr, px, d.width, chromaStep)
                    : 0;
        px += size_t(x) * 3;
        if (chromaStep == 1) {
            for (; x < d.width; ++x, px += 3)
                StorePixel(px, rowY[x], rowCb[x], rowCr[x]);
        } else {
            for (; x + 1 < d.width; x += 2, px += 6) {
                int b = rowCb[x >> 1] - 128, r = rowCr[x >> 1] - 128;
                int dr = (kCrToR * r + kHalf) >> 16;
                int dg = (-kCbToG * b - kCrToG * r + kHalf) >> 16;
                int db = (kCbToB * b + kHalf) >> 16;
                int y0 = rowY[x], y1 = rowY[x + 1];
                px[0] = Clamp255(y0 + dr);
                px[1] = Clamp255(y0 + dg);
                px[2] = Clamp255(y0 + db);
                px[3] = Clamp255(y1 + dr);
                px[4] = Clamp255(y1 + dg);
                px[5] = Clamp255(y1 + db);
            }
            if (x < d.width) StorePixel(px, rowY[x], rowCb[x >> 1], rowCr[x >> 1]);
        }
    }
}

} // namespace jpeg

int32_t BitmapRowPadding(int32_t width) {
    if (width <= 0) return 0;
    uint32_t rem = (uint32_t(width) * 3u) % 4u;
    return rem == 0 ? 0 : int32_t(4 - rem);
}

size_t BitmapPixelBlockSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    uint64_t size = (uint64_t(width) + uint64_t(BitmapRowPadding(width))) * uint64_t(height) * 3u;
    if (size > uint64_t(SIZE_MAX)) return 0;
    return size_t(size);
}

namespace {
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
} // namespace

void PackBitmap(const DecodedImage& image, uint8_t* header, uint8_t* pixels) {
    std::memset(header, 0, kBitmapHeaderSize);
    Put32(header + 0, uint32_t(kBitmapHeaderSize));
    Put32(header + 4, uint32_t(image.width));
    Put32(header + 8, uint32_t(image.height));
    header[12] = 1;  // planes
    header[14] = 24; // bits per pixel; compression and the rest stay 0
    if (image.width <= 0 || image.height <= 0 || !image.pixels) return;

    const size_t rowBytes = size_t(image.width) * 3 + size_t(BitmapRowPadding(image.width));
    for (int32_t i = 0; i < image.height; ++i) {
        const uint8_t* src = image.pixels + size_t(i) * size_t(image.width) * 3;
        uint8_t* dst = pixels + size_t(image.height - 1 - i) * rowBytes;
        for (int32_t j = 0; j < image.width; ++j, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        for (size_t pad = size_t(image.width) * 3; pad < rowBytes; ++pad)
            pixels[size_t(image.height - 1 - i) * rowBytes + pad] = 0;
    }
}
