// From component planes to pixels: reconstruction of progressive
// coefficients, upsampling by replication, YCbCr to RGB, and the 24-bit
// bottom-up bitmap.
#include <cstdint>
#include <cstring>
#include <vector>

#include "jpeg/jpeg_internal.h"

namespace jpeg {
namespace {

inline uint8_t Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

// JFIF conversion with 16 fractional bits, rounded: the same figures as the
// usual integer decoders, so pictures agree with theirs exactly.
constexpr int kCrToR = 91881;   // 1.40200
constexpr int kCbToG = 22554;   // 0.34414
constexpr int kCrToG = 46802;   // 0.71414
constexpr int kCbToB = 116130;  // 1.77200
constexpr int kHalf = 1 << 15;

inline void StorePixel(uint8_t* px, int y, int cb, int cr) {
    cb -= 128;
    cr -= 128;
    px[0] = Clamp255(y + ((kCrToR * cr + kHalf) >> 16));
    px[1] = Clamp255(y + ((-kCbToG * cb - kCrToG * cr + kHalf) >> 16));
    px[2] = Clamp255(y + ((kCbToB * cb + kHalf) >> 16));
    px[3] = 0;
}

// Column of the component sample that covers picture column x: replication
// for every whole ratio, nearest sample for the rare fractional ones.
std::vector<uint32_t> ColumnMap(const Decoder& d, const Component& c) {
    std::vector<uint32_t> map(size_t(d.width));
    for (int x = 0; x < d.width; ++x) map[size_t(x)] = uint32_t(uint64_t(x) * c.h / uint32_t(d.hMax));
    return map;
}

inline const uint8_t* PlaneRow(const Decoder& d, const Component& c, int y) {
    size_t row = size_t(uint64_t(y) * c.v / uint32_t(d.vMax));
    return c.plane + row * c.stride;
}

void ConvertGeneric(const Decoder& d, const Component& cy, const Component& cb, const Component& cr,
                    DecodedImage* image) {
    const size_t rowBytes = size_t(d.width) * 4;
    const std::vector<uint32_t> mapY = ColumnMap(d, cy), mapCb = ColumnMap(d, cb), mapCr = ColumnMap(d, cr);
    for (int y = 0; y < d.height; ++y) {
        const uint8_t* rowY = PlaneRow(d, cy, y);
        const uint8_t* rowCb = PlaneRow(d, cb, y);
        const uint8_t* rowCr = PlaneRow(d, cr, y);
        uint8_t* px = image->pixels + size_t(y) * rowBytes;
        for (int x = 0; x < d.width; ++x, px += 4)
            StorePixel(px, rowY[mapY[size_t(x)]], rowCb[mapCb[size_t(x)]], rowCr[mapCr[size_t(x)]]);
    }
}

}  // namespace

void ReconstructCoefficients(Decoder& d) {
    alignas(16) int32_t coef[64];
    for (int i = 0; i < d.componentCount; ++i) {
        Component& c = d.comp[i];
        uint16_t q[64];
        for (int k = 0; k < 64; ++k) q[kZigzag[k]] = d.quant[c.tq][k];
        for (int by = 0; by < c.blocksHigh; ++by) {
            for (int bx = 0; bx < c.blocksWide; ++bx) {
                const int16_t* block = c.coefs + (size_t(by) * size_t(c.blocksPerLine) + size_t(bx)) * 64;
                bool ac = false;
                for (int n = 0; n < 64; ++n) {
                    coef[n] = int32_t(block[n]) * int32_t(q[n]);
                    ac |= n != 0 && block[n] != 0;
                }
                uint8_t* out = c.plane + size_t(by) * 8 * c.stride + size_t(bx) * 8;
                if (ac)
                    InverseDct(coef, out, c.stride);
                else
                    FillDcBlock(coef[0], out, c.stride);
            }
        }
    }
}

void ConvertToPixels(const Decoder& d, DecodedImage* image) {
    const size_t rowBytes = size_t(d.width) * 4;
    if (d.componentCount == 1) {
        const Component& c = d.comp[0];
        for (int y = 0; y < d.height; ++y) {
            const uint8_t* src = c.plane + size_t(y) * c.stride;
            uint8_t* px = image->pixels + size_t(y) * rowBytes;
            for (int x = 0; x < d.width; ++x, px += 4) {
                px[0] = px[1] = px[2] = src[x];
                px[3] = 0;
            }
        }
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
        ConvertGeneric(d, cy, cb, cr, image);
        return;
    }
    for (int y = 0; y < d.height; ++y) {
        const uint8_t* rowY = PlaneRow(d, cy, y);
        const uint8_t* rowCb = PlaneRow(d, cb, y);
        const uint8_t* rowCr = PlaneRow(d, cr, y);
        uint8_t* px = image->pixels + size_t(y) * rowBytes;
        if (chromaStep == 1) {
            for (int x = 0; x < d.width; ++x, px += 4) StorePixel(px, rowY[x], rowCb[x], rowCr[x]);
        } else {
            int x = 0;
            for (; x + 1 < d.width; x += 2, px += 8) {
                int b = rowCb[x >> 1] - 128, r = rowCr[x >> 1] - 128;
                int dr = (kCrToR * r + kHalf) >> 16;
                int dg = (-kCbToG * b - kCrToG * r + kHalf) >> 16;
                int db = (kCbToB * b + kHalf) >> 16;
                int y0 = rowY[x], y1 = rowY[x + 1];
                px[0] = Clamp255(y0 + dr);
                px[1] = Clamp255(y0 + dg);
                px[2] = Clamp255(y0 + db);
                px[3] = 0;
                px[4] = Clamp255(y1 + dr);
                px[5] = Clamp255(y1 + dg);
                px[6] = Clamp255(y1 + db);
                px[7] = 0;
            }
            if (x < d.width) StorePixel(px, rowY[x], rowCb[x >> 1], rowCr[x >> 1]);
        }
    }
}

}  // namespace jpeg

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
}  // namespace

void PackBitmap(const DecodedImage& image, uint8_t* header, uint8_t* pixels) {
    std::memset(header, 0, kBitmapHeaderSize);
    Put32(header + 0, uint32_t(kBitmapHeaderSize));
    Put32(header + 4, uint32_t(image.width));
    Put32(header + 8, uint32_t(image.height));
    header[12] = 1;   // planes
    header[14] = 24;  // bits per pixel; compression and the rest stay 0
    if (image.width <= 0 || image.height <= 0 || !image.pixels) return;

    const size_t rowBytes = size_t(image.width) * 3 + size_t(BitmapRowPadding(image.width));
    for (int32_t i = 0; i < image.height; ++i) {
        const uint8_t* src = image.pixels + size_t(i) * size_t(image.width) * 4;
        uint8_t* dst = pixels + size_t(image.height - 1 - i) * rowBytes;
        for (int32_t j = 0; j < image.width; ++j, src += 4, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        for (size_t pad = size_t(image.width) * 3; pad < rowBytes; ++pad)
            pixels[size_t(image.height - 1 - i) * rowBytes + pad] = 0;
    }
}
