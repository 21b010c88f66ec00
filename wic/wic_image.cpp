#include "wic/wic_image.h"

#include <cstring>

namespace {

uint32_t Le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}
uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool StartsWith(const uint8_t* data, size_t length, const char* text, size_t count) {
    return length >= count && std::memcmp(data, text, count) == 0;
}

// "BM" alone is two letters any text file may start with; the size of the
// header that follows the file header must also be one of the known ones
// (core, the two OS/2 forms, info, the two bit-field forms, v4, v5).
bool IsBmp(const uint8_t* data, size_t length) {
    if (length < 18 || data[0] != 'B' || data[1] != 'M') return false;
    switch (Le32(data + 14)) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

// Four bytes 0 0 1 0 begin many a binary file; an icon directory also
// counts at least one image, and its first entry has one plane (or 0), a
// known bit count and image data that lie past the directory.
bool IsIco(const uint8_t* data, size_t length) {
    if (length < 22 || Le16(data) != 0 || Le16(data + 2) != 1) return false;
    const uint32_t count = Le16(data + 4);
    const uint8_t* entry = data + 6;
    const uint32_t planes = Le16(entry + 4), bits = Le16(entry + 6);
    const uint32_t bytes = Le32(entry + 8), offset = Le32(entry + 12);
    const bool knownBits =
        bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return count >= 1 && planes <= 1 && knownBits && bytes > 0 && offset >= 6 + 16 * count;
}

} // namespace

ImageFamily FamilyOfSignature(const uint8_t* data, size_t length) {
    if (!data) return ImageFamily::None;
    if (StartsWith(data, length, "\x89PNG\r\n\x1A\n", 8)) return ImageFamily::Png;
    if (StartsWith(data, length, "GIF87a", 6) || StartsWith(data, length, "GIF89a", 6))
        return ImageFamily::Gif;
    if (IsBmp(data, length)) return ImageFamily::Bmp;
    if (StartsWith(data, length, "II*\0", 4) || StartsWith(data, length, "MM\0*", 4))
        return ImageFamily::Tiff;
    if (IsIco(data, length)) return ImageFamily::Ico;
    if (length >= 12 && StartsWith(data, length, "RIFF", 4) &&
        std::memcmp(data + 8, "WEBP", 4) == 0)
        return ImageFamily::WebP;
    return ImageFamily::None;
}

uint64_t DeclaredPixels(const uint8_t* data, size_t length) {
    switch (FamilyOfSignature(data, length)) {
    case ImageFamily::Png: // IHDR, the first chunk: width and height big-endian
        return length >= 24 ? uint64_t(Be32(data + 16)) * Be32(data + 20) : 0;
    case ImageFamily::Gif:
        return length >= 10 ? uint64_t(Le16(data + 6)) * Le16(data + 8) : 0;
    case ImageFamily::Bmp: {
        if (Le32(data + 14) == 12) // core header: 16-bit sides
            return length >= 22 ? uint64_t(Le16(data + 18)) * Le16(data + 20) : 0;
        if (length < 26) return 0;
        const int64_t height = int32_t(Le32(data + 22)); // negative: rows top-down
        return uint64_t(Le32(data + 18)) * uint64_t(height < 0 ? -height : height);
    }
    default:
        return 0;
    }
}

bool PlanBitmap(uint32_t width, uint32_t height, bool alpha, BitmapPlan* planOut) {
    *planOut = BitmapPlan{};
    if (width == 0 || height == 0 || uint64_t(width) * height > kMaxPicturePixels) return false;
    BitmapPlan plan;
    plan.width = width;
    plan.height = height;
    plan.bitsPerPixel = alpha ? 32 : 24;
    // Within 64 Mpixel a row and the whole block fit even a 32-bit size_t.
    plan.stride = (size_t(width) * plan.bitsPerPixel / 8 + 3) / 4 * 4;
    plan.pixelBytes = plan.stride * height;
    *planOut = plan;
    return true;
}

void WriteBitmapHeader(const BitmapPlan& plan, uint8_t* header) {
    std::memset(header, 0, kBitmapInfoHeaderSize);
    auto put32 = [header](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, uint32_t(kBitmapInfoHeaderSize));
    put32(4, plan.width);
    put32(8, plan.height); // positive: rows stored bottom-up
    header[12] = 1;        // planes
    header[14] = uint8_t(plan.bitsPerPixel);
    // Compression 0 (uncompressed), image size 0, no resolution, no colours.
}

size_t BitmapRowOffset(const BitmapPlan& plan, uint32_t y) {
    return size_t(plan.height - 1 - y) * plan.stride;
}

void ComposeRowOverWhite(uint8_t* row, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, row += 4) {
        const uint32_t alpha = row[3];
        if (alpha != 255) {
            const uint32_t white = 255 * (255 - alpha) + 127;
            for (int c = 0; c < 3; ++c)
                row[c] = uint8_t((row[c] * alpha + white) / 255);
        }
        row[3] = 255;
    }
}
