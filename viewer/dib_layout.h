// The one rule for the bitmaps that image plug-ins hand back: which of them
// the plug-in host accepts and the viewer draws, and where their parts lie.
// Portable: the header is read as little-endian bytes.
#pragma once
#include <cstddef>
#include <cstdint>

struct DibLayout {
    int32_t width;       // pixels across, above 0
    int32_t height;      // rows, above 0
    bool topDown;        // rows stored from the top (negative height in the header)
    uint16_t bitCount;   // 1, 4, 8 (with a colour table), 16 (5-5-5), 24 or 32
    uint32_t headerSize; // the header's own size; the colour table follows it
    uint32_t colours;    // colour table entries (4 bytes each), 0 above 8 bits
    uint64_t stride;     // bytes per row, a multiple of 4
    uint64_t pixelBytes; // stride x height: what the pixel block must hold
};

// Largest pixel block described: 1 GiB, far above any picture a plug-in
// decodes, so that no size computed from a header can overflow.
constexpr uint64_t kMaxDibPixelBytes = uint64_t(1) << 30;

// Reads the header block (headerBlockSize bytes: a 40-, 108- or 124-byte
// info header, then the colour table) and checks it against a pixel block
// of pixelBlockSize bytes. True when the bitmap is uncompressed, of a
// supported depth, its colour table lies inside the header block and its
// rows inside the pixel block; *out then describes it.
bool ReadDibLayout(const uint8_t* header, size_t headerBlockSize, size_t pixelBlockSize,
                   DibLayout* out);
