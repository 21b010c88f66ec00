// The portable half of wic.spi: signatures, bitmap plans and headers, and
// composition over white.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "wic/wic_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
// A literal's bytes, zeros inside it included.
template <size_t N> Bytes L(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

Bytes Bmp(uint32_t headerSize) {
    Bytes b = B(std::string("BM") + std::string(12, '\0'));
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(headerSize >> (8 * i)));
    return b;
}

// An icon directory of count entries whose first entry has the given
// planes, bit count and image offset (one 40-byte image).
Bytes Ico(uint16_t type, uint16_t count, uint16_t planes, uint16_t bits, uint32_t offset) {
    Bytes b = {0, 0, uint8_t(type), 0, uint8_t(count), uint8_t(count >> 8)};
    Bytes entry = {16, 16, 0, 0, uint8_t(planes), 0, uint8_t(bits), 0, 40, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        entry.push_back(uint8_t(offset >> (8 * i)));
    b.insert(b.end(), entry.begin(), entry.end());
    return b;
}

TEST(WicSignature, FamiliesByTheirFirstBytes) {
    const std::string png("\x89PNG\r\n\x1A\n", 8);
    struct {
        const char* name;
        Bytes bytes;
        ImageFamily family;
    } cases[] = {
        {"png", B(png + std::string(16, '\0')), ImageFamily::Png},
        {"png_cut_to_7", B(png.substr(0, 7)), ImageFamily::None},
        {"png_lf_cr", L("\x89PNG\n\r\x1A\n"), ImageFamily::None},
        {"gif87a", B("GIF87a"), ImageFamily::Gif},
        {"gif89a", B("GIF89a"), ImageFamily::Gif},
        {"gif90a", B("GIF90a"), ImageFamily::None},
        {"bmp_core", Bmp(12), ImageFamily::Bmp},
        {"bmp_info", Bmp(40), ImageFamily::Bmp},
        {"bmp_os2", Bmp(64), ImageFamily::Bmp},
        {"bmp_v4", Bmp(108), ImageFamily::Bmp},
        {"bmp_v5", Bmp(124), ImageFamily::Bmp},
        {"bmp_unknown_header", Bmp(41), ImageFamily::None},
        {"text_starting_bm", B("BMW cars and more text"), ImageFamily::None},
        {"tiff_little", L("II*\0"), ImageFamily::Tiff},
        {"tiff_big", L("MM\0*"), ImageFamily::Tiff},
        {"bigtiff", L("II+\0"), ImageFamily::None},
        {"ico", Ico(1, 1, 1, 32, 22), ImageFamily::Ico},
        {"ico_planes_0_bits_0", Ico(1, 1, 0, 0, 22), ImageFamily::Ico},
        {"ico_three_images", Ico(1, 3, 1, 8, 54), ImageFamily::Ico},
        {"ico_image_inside_directory", Ico(1, 3, 1, 8, 30), ImageFamily::None},
        {"ico_no_images", Ico(1, 0, 1, 32, 22), ImageFamily::None},
        {"cursor", Ico(2, 1, 1, 32, 22), ImageFamily::None},
        {"ico_odd_bits", Ico(1, 1, 1, 7, 22), ImageFamily::None},
        {"webp", L("RIFF\x10\0\0\0WEBPVP8 "), ImageFamily::WebP},
        {"riff_wave", L("RIFF\x10\0\0\0WAVEfmt "), ImageFamily::None},
        // JPEG is never claimed, whatever follows its start marker.
        {"jpeg_jfif", L("\xFF\xD8\xFF\xE0\0\x10JFIF"), ImageFamily::None},
        {"jpeg_exif",
         L("\xFF\xD8\xFF\xE1\0\x10"
           "Exif"),
         ImageFamily::None},
        {"empty", {}, ImageFamily::None},
        {"html", B("<html><body>"), ImageFamily::None},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.family, FamilyOfSignature(c.bytes.data(), c.bytes.size())) << c.name;
    EXPECT_EQ(ImageFamily::None, FamilyOfSignature(nullptr, 10));
    // A signature is read only within the length given.
    const Bytes gif = B("GIF89a");
    EXPECT_EQ(ImageFamily::None, FamilyOfSignature(gif.data(), 5));
}

Bytes WithBytes(Bytes b, size_t at, const Bytes& more) {
    if (b.size() < at + more.size()) b.resize(at + more.size(), 0);
    std::copy(more.begin(), more.end(), b.begin() + long(at));
    return b;
}

TEST(WicSignature, DeclaredPixelsOfTheHeader) {
    const Bytes png = L("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR");
    const Bytes gif = L("GIF89a");
    struct {
        const char* name;
        Bytes bytes;
        uint64_t pixels;
    } cases[] = {
        {"png_300x200", WithBytes(png, 16, {0, 0, 1, 44, 0, 0, 0, 200}), 60000},
        {"png_65536x65536", WithBytes(png, 16, {0, 1, 0, 0, 0, 1, 0, 0}), uint64_t(1) << 32},
        {"png_cut_before_height", WithBytes(png, 16, {0, 0, 1, 44, 0, 0}), 0},
        {"gif_640x480", WithBytes(gif, 6, {0x80, 2, 0xE0, 1}), 307200},
        {"gif_65535x65535", WithBytes(gif, 6, {0xFF, 0xFF, 0xFF, 0xFF}), 4294836225u},
        {"bmp_9000x8000", WithBytes(Bmp(40), 18, {0x28, 0x23, 0, 0, 0x40, 0x1F, 0, 0}), 72000000},
        {"bmp_top_down", WithBytes(Bmp(40), 18, {10, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF}), 100},
        {"bmp_core_16bit_sides", WithBytes(Bmp(12), 18, {0, 1, 0, 2}), 131072},
        {"tiff_says_nothing", L("II*\0\x08\0\0\0"), 0},
        {"jpeg_says_nothing", WithBytes(L("\xFF\xD8\xFF\xC0"), 20, {1}), 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.pixels, DeclaredPixels(c.bytes.data(), c.bytes.size())) << c.name;
}

TEST(WicBitmap, PlansRowsAndLimits) {
    struct {
        uint32_t width, height;
        bool alpha;
        bool ok;
        uint32_t bits;
        size_t stride, bytes;
    } cases[] = {
        {1, 1, false, true, 24, 4, 4},
        {3, 2, false, true, 24, 12, 24}, // 9 bytes of pixels, 3 of padding
        {4, 1, false, true, 24, 12, 12}, // no padding needed
        {5, 3, false, true, 24, 16, 48},
        {3, 2, true, true, 32, 12, 24},
        {8192, 8192, false, true, 24, 24576, size_t(24576) * 8192},
        {1u << 26, 1, true, true, 32, size_t(1) << 28, size_t(1) << 28},
        {8192, 8193, false, false, 0, 0, 0},
        {(1u << 26) + 1, 1, false, false, 0, 0, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, false, false, 0, 0, 0},
        {0, 5, false, false, 0, 0, 0},
        {5, 0, true, false, 0, 0, 0},
    };
    for (auto& c : cases) {
        BitmapPlan plan;
        plan.width = 99;
        EXPECT_EQ(c.ok, PlanBitmap(c.width, c.height, c.alpha, &plan))
            << c.width << "x" << c.height;
        EXPECT_EQ(c.ok ? c.width : 0, plan.width);
        EXPECT_EQ(c.bits, plan.bitsPerPixel) << c.width << "x" << c.height;
        EXPECT_EQ(c.stride, plan.stride) << c.width << "x" << c.height;
        EXPECT_EQ(c.bytes, plan.pixelBytes) << c.width << "x" << c.height;
    }
}

TEST(WicBitmap, HeaderAndBottomUpRows) {
    BitmapPlan plan;
    ASSERT_TRUE(PlanBitmap(300, 2, true, &plan));
    uint8_t header[kBitmapInfoHeaderSize + 1];
    std::fill(header, header + sizeof header, 0xAA);
    WriteBitmapHeader(plan, header);
    const uint8_t want[kBitmapInfoHeaderSize] = {
        40, 0, 0, 0, // size
        44, 1, 0, 0, // width 300
        2,  0, 0, 0, // height 2, positive: bottom-up
        1,  0,       // planes
        32, 0,       // bits
        0,  0, 0, 0, // uncompressed
    };
    for (size_t i = 0; i < kBitmapInfoHeaderSize; ++i)
        EXPECT_EQ(want[i], header[i]) << i;
    EXPECT_EQ(0xAA, header[kBitmapInfoHeaderSize]); // nothing written past the header

    // The top row is the last one in the block.
    ASSERT_TRUE(PlanBitmap(3, 4, false, &plan));
    EXPECT_EQ(36u, BitmapRowOffset(plan, 0));
    EXPECT_EQ(24u, BitmapRowOffset(plan, 1));
    EXPECT_EQ(0u, BitmapRowOffset(plan, 3));
}

TEST(WicBitmap, ComposesOverWhite) {
    struct {
        uint8_t in[4];
        uint8_t out[4];
    } cases[] = {
        {{10, 20, 30, 255}, {10, 20, 30, 255}},  // opaque: unchanged
        {{10, 20, 30, 0}, {255, 255, 255, 255}}, // transparent: white
        {{0, 0, 0, 128}, {127, 127, 127, 255}},  // half-covered black: 32512 / 255 = 127.5 -> 127
        {{255, 255, 255, 77}, {255, 255, 255, 255}},
        {{0, 128, 255, 1}, {254, 255, 255, 255}}, // (0 + 64770 + 127) / 255 = 254.5 -> 254
        {{0, 0, 0, 254}, {1, 1, 1, 255}},         // (255 + 127) / 255 = 1
    };
    for (auto& c : cases) {
        uint8_t row[8] = {c.in[0], c.in[1], c.in[2], c.in[3], 1, 2, 3, 4};
        ComposeRowOverWhite(row, 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.out[i], row[i]) << int(c.in[3]) << "/" << i;
        EXPECT_EQ(1, row[4]); // the next pixel is beyond the width given
        EXPECT_EQ(4, row[7]);
    }
}

} // namespace
