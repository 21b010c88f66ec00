// The portable half of wic.spi: which files it claims, the bitmap it hands
// out, and the composition of transparent pictures over white. No platform
// headers; the decoding itself is in wic_decode_win.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

// Image families wic.spi claims, each told by its signature alone.
enum class ImageFamily { None, Png, Gif, Bmp, Tiff, Ico, WebP };

// The most leading bytes any signature needs. IsSupported reads this many
// from a file handle; a host that passes an address shows at least this many.
constexpr size_t kSignatureBytes = 24;

// The family whose signature the data begin with, or None (JPEG is always
// None: it belongs to jpeg.spi). Looks at no more than length bytes.
ImageFamily FamilyOfSignature(const uint8_t* data, size_t length);

// The largest picture decoded: 64 Mpixel, as jpeg.spi.
constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 26;

// The pixel count that a PNG, GIF (its logical screen) or BMP header
// declares, so that an oversized picture is refused before any decoder
// starts on it; 0 where the header says nothing (other families, or too
// few bytes).
uint64_t DeclaredPixels(const uint8_t* data, size_t length);

// The bottom-up bitmap of a decoded picture: 24-bit blue-green-red, or
// 32-bit blue-green-red-opaque after composition over white. Rows are padded
// to 4 bytes.
struct BitmapPlan {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0; // 24 or 32
    size_t stride = 0;         // bytes from one row to the next
    size_t pixelBytes = 0;     // stride x height
};

constexpr size_t kBitmapInfoHeaderSize = 40;

// Plans the bitmap of a width x height picture; false when a side is 0 or
// the picture has more than kMaxPicturePixels pixels.
bool PlanBitmap(uint32_t width, uint32_t height, bool alpha, BitmapPlan* planOut);
// The 40-byte header of the plan (no colour table), little-endian.
void WriteBitmapHeader(const BitmapPlan& plan, uint8_t* header);
// Offset of picture row y (0 = top) in the bottom-up pixel block.
size_t BitmapRowOffset(const BitmapPlan& plan, uint32_t y);

// One row of straight (not premultiplied) blue-green-red-alpha pixels,
// composed over white in place: each colour c becomes
// (c * alpha + 255 * (255 - alpha) + 127) / 255, and the alpha byte 255.
void ComposeRowOverWhite(uint8_t* row, uint32_t width);
