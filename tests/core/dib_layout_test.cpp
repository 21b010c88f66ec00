// The bitmap rule shared by the plug-in host and the viewer: every depth it
// accepts, where rows and colour table lie, and every way a plug-in's blocks
// can fail to hold what their header promises.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "viewer/dib_layout.h"

namespace {

struct Header {
    uint32_t size = 40;
    int32_t width = 3, height = 2;
    uint16_t planes = 1, bits = 24;
    uint32_t compression = 0, used = 0;
};

// The header's bytes, followed by room for extra bytes (the colour table).
std::vector<uint8_t> Bytes(const Header& h, size_t extra = 0) {
    std::vector<uint8_t> b(40 + extra, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(0, h.size);
    put32(4, uint32_t(h.width));
    put32(8, uint32_t(h.height));
    b[12] = uint8_t(h.planes);
    b[13] = uint8_t(h.planes >> 8);
    b[14] = uint8_t(h.bits);
    b[15] = uint8_t(h.bits >> 8);
    put32(16, h.compression);
    put32(32, h.used);
    return b;
}

TEST(DibLayout, AcceptsEveryDepthWithItsRowsAndColourTable) {
    struct {
        const char* name;
        int32_t width, height;
        uint16_t bits;
        uint32_t used;
        uint64_t stride;
        uint32_t colours;
    } cases[] = {
        {"1bit", 33, 2, 1, 0, 8, 2},       // 33 bits round up to two 32-bit words
        {"4bit", 9, 2, 4, 0, 8, 16},       // 36 bits
        {"8bit", 5, 2, 8, 0, 8, 256},      // 5 bytes padded to 8
        {"8bit_used", 5, 2, 8, 20, 8, 20}, // a shorter table
        {"16bit", 3, 2, 16, 0, 8, 0},      // 6 bytes padded to 8
        {"24bit", 3, 2, 24, 0, 12, 0},     // 9 bytes padded to 12
        {"24bit_even", 4, 2, 24, 0, 12, 0},
        {"32bit", 3, 2, 32, 0, 12, 0},
        {"24bit_top_down", 3, -2, 24, 0, 12, 0},
        {"1bit_top_down", 1, -5, 1, 0, 4, 2},
    };
    for (auto& c : cases) {
        Header h;
        h.width = c.width;
        h.height = c.height;
        h.bits = c.bits;
        h.used = c.used;
        std::vector<uint8_t> b = Bytes(h, size_t(c.colours) * 4);
        const uint32_t rows = uint32_t(c.height < 0 ? -c.height : c.height);
        DibLayout d;
        ASSERT_TRUE(ReadDibLayout(b.data(), b.size(), size_t(c.stride * rows), &d)) << c.name;
        EXPECT_EQ(c.width, d.width) << c.name;
        EXPECT_EQ(int32_t(rows), d.height) << c.name;
        EXPECT_EQ(c.height < 0, d.topDown) << c.name;
        EXPECT_EQ(c.stride, d.stride) << c.name;
        EXPECT_EQ(c.stride * rows, d.pixelBytes) << c.name;
        EXPECT_EQ(c.colours, d.colours) << c.name;
        // One byte short of the rows, or of the colour table: refused.
        EXPECT_FALSE(ReadDibLayout(b.data(), b.size(), size_t(c.stride * rows) - 1, &d)) << c.name;
        if (c.colours) {
            EXPECT_FALSE(ReadDibLayout(b.data(), b.size() - 1, size_t(c.stride * rows), &d))
                << c.name;
        }
    }
}

TEST(DibLayout, RefusesWhatCannotBeDrawnSafely) {
    struct {
        const char* name;
        Header h;
        size_t extra, pixelBytes;
    } cases[] = {
        {"zero_width", {40, 0, 2, 1, 24, 0, 0}, 0, 1000},
        {"negative_width", {40, -3, 2, 1, 24, 0, 0}, 0, 1000},
        {"zero_height", {40, 3, 0, 1, 24, 0, 0}, 0, 1000},
        {"lowest_height", {40, 3, INT32_MIN, 1, 24, 0, 0}, 0, 1000},
        {"two_planes", {40, 3, 2, 2, 24, 0, 0}, 0, 1000},
        {"run_length", {40, 3, 2, 1, 8, 1, 0}, 1024, 1000},
        {"bit_fields", {40, 3, 2, 1, 16, 3, 0}, 12, 1000},
        {"twelve_bits", {40, 3, 2, 1, 12, 0, 0}, 0, 1000},
        {"zero_bits", {40, 3, 2, 1, 0, 0, 0}, 0, 1000},
        {"header_size_small", {12, 3, 2, 1, 24, 0, 0}, 0, 1000},
        {"header_size_odd", {64, 3, 2, 1, 24, 0, 0}, 24, 1000},
        {"header_size_past_block", {108, 3, 2, 1, 24, 0, 0}, 0, 1000},
        {"more_colours_than_bits", {40, 3, 2, 1, 4, 0, 17}, 68, 1000},
        {"8bit_without_table", {40, 3, 2, 1, 8, 0, 0}, 0, 1000},
        {"huge", {40, 100000, 100000, 1, 24, 0, 0}, 0, size_t(-1)},
    };
    for (auto& c : cases) {
        std::vector<uint8_t> b = Bytes(c.h, c.extra);
        DibLayout d;
        EXPECT_FALSE(ReadDibLayout(b.data(), b.size(), c.pixelBytes, &d)) << c.name;
    }
    DibLayout d;
    EXPECT_FALSE(ReadDibLayout(nullptr, 40, 1000, &d));
    std::vector<uint8_t> b = Bytes(Header());
    EXPECT_FALSE(ReadDibLayout(b.data(), 39, 1000, &d)); // a block shorter than any header
}

TEST(DibLayout, LongerHeadersPutTheColourTableAfterThemselves) {
    for (uint32_t size : {108u, 124u}) {
        Header h;
        h.size = size;
        h.bits = 8;
        std::vector<uint8_t> b = Bytes(h, size - 40 + 256 * 4);
        DibLayout d;
        ASSERT_TRUE(ReadDibLayout(b.data(), b.size(), 8, &d)) << size;
        EXPECT_EQ(size, d.headerSize);
        EXPECT_FALSE(ReadDibLayout(b.data(), b.size() - 1, 8, &d)) << size;
    }
}

} // namespace
