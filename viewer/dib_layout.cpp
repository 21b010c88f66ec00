#include "viewer/dib_layout.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

constexpr uint32_t kInfoHeader = 40, kV4Header = 108, kV5Header = 124;
constexpr uint32_t kUncompressed = 0;

} // namespace

bool ReadDibLayout(const uint8_t* header, size_t headerBlockSize, size_t pixelBlockSize,
                   DibLayout* out) {
    if (!header || headerBlockSize < kInfoHeader) return false;
    const uint32_t size = Le32(header);
    if (size != kInfoHeader && size != kV4Header && size != kV5Header) return false;
    if (size > headerBlockSize) return false;
    const int32_t width = int32_t(Le32(header + 4));
    const int32_t height = int32_t(Le32(header + 8));
    const uint16_t planes = Le16(header + 12);
    const uint16_t bits = Le16(header + 14);
    const uint32_t compression = Le32(header + 16);
    const uint32_t used = Le32(header + 32);
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    if (planes != 1 || compression != kUncompressed) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

    DibLayout d = {};
    d.width = width;
    d.height = height < 0 ? -height : height;
    d.topDown = height < 0;
    d.bitCount = bits;
    d.headerSize = size;
    if (bits <= 8) {
        const uint32_t most = 1u << bits;
        d.colours = used == 0 ? most : used;
        if (d.colours > most) return false;
        if (uint64_t(size) + uint64_t(d.colours) * 4 > headerBlockSize) return false;
    }
    d.stride = (uint64_t(uint32_t(width)) * bits + 31) / 32 * 4;
    d.pixelBytes = d.stride * uint64_t(d.height);
    if (d.pixelBytes > kMaxDibPixelBytes || d.pixelBytes > pixelBlockSize) return false;
    *out = d;
    return true;
}
