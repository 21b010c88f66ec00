// The pictures of the stand-in plug-in that returns bitmaps of every depth
// (fake_depths.spi): blocks of flat colour stored at 1, 4 or 8 bits with a
// colour table, 16 bits (5-5-5), 24 or 32 bits, top-down or bottom-up. The
// image bytes it claims are "FAKEDIB", the depth and 'T' (top-down) or 'B'.
// Tests compare what is drawn with PatternColour.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kPatternWidth = 48, kPatternHeight = 32, kPatternBlock = 8;

struct PatternRgb {
    uint8_t r, g, b;
};

// Which of the pattern's colours a pixel has. Rows of blocks alternate even
// at 1 bit, so a picture upside down shows; top-down pictures start one
// colour further, so two pictures in a row never look the same.
inline int PatternSlot(int bits, bool topDown, int x, int y) {
    return (x / kPatternBlock + 3 * (y / kPatternBlock) + (topDown ? 1 : 0)) % (bits == 1 ? 2 : 8);
}

// Every channel a multiple of 8 (exact at 5 bits), none of them white.
inline PatternRgb PatternSlotColour(int slot) {
    static const PatternRgb colours[8] = {{248, 0, 0},   {0, 200, 0},   {0, 0, 248},
                                          {248, 200, 0}, {0, 200, 248}, {200, 0, 200},
                                          {64, 64, 64},  {248, 128, 32}};
    return colours[slot];
}

inline PatternRgb PatternColour(int bits, bool topDown, int x, int y) {
    return PatternSlotColour(PatternSlot(bits, topDown, x, y));
}

// The colour table index that holds pattern colour i: far from 0, so that
// a misread index shows. Unused entries are mid grey.
inline int PatternIndex(int bits, int i) {
    return bits == 1 ? i : bits == 4 ? 15 - i : 255 - 17 * i;
}

inline std::string PatternImage(int bits, bool topDown) {
    return std::string("FAKEDIB") + char(bits) + (topDown ? 'T' : 'B');
}

// Header block (BITMAPINFOHEADER and colour table) and pixel block.
inline void MakePatternBitmap(int bits, bool topDown, std::vector<uint8_t>* header,
                              std::vector<uint8_t>* pixels) {
    const int colours = bits <= 8 ? 1 << bits : 0;
    header->assign(40 + size_t(colours) * 4, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            (*header)[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, kPatternWidth);
    put32(8, uint32_t(topDown ? -kPatternHeight : kPatternHeight));
    (*header)[12] = 1;
    (*header)[14] = uint8_t(bits);
    uint8_t* table = header->data() + 40;
    for (int i = 0; i < colours; ++i)
        table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = 128;
    for (int i = 0; i < (bits == 1 ? 2 : 8) && colours; ++i) {
        PatternRgb c = PatternSlotColour(i);
        uint8_t* e = table + PatternIndex(bits, i) * 4;
        e[0] = c.b;
        e[1] = c.g;
        e[2] = c.r;
    }
    const size_t stride = (size_t(kPatternWidth) * size_t(bits) + 31) / 32 * 4;
    pixels->assign(stride * kPatternHeight, 0);
    for (int y = 0; y < kPatternHeight; ++y) {
        uint8_t* row = pixels->data() + stride * size_t(topDown ? y : kPatternHeight - 1 - y);
        for (int x = 0; x < kPatternWidth; ++x) {
            const int i = PatternSlot(bits, topDown, x, y);
            const PatternRgb c = PatternSlotColour(i);
            switch (bits) {
            case 1:
                row[x / 8] |= uint8_t(PatternIndex(1, i) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= uint8_t(PatternIndex(4, i) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = uint8_t(PatternIndex(8, i));
                break;
            case 16: {
                const unsigned v =
                    unsigned(c.r >> 3) << 10 | unsigned(c.g >> 3) << 5 | unsigned(c.b >> 3);
                row[x * 2] = uint8_t(v);
                row[x * 2 + 1] = uint8_t(v >> 8);
                break;
            }
            default: {
                uint8_t* p = row + size_t(x) * size_t(bits / 8);
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
            }
        }
    }
}
