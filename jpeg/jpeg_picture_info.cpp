// Frame dimensions for the plug-in's picture information, found without
// decoding: a walk over the marker segments that trusts no length further
// than the data reach.
#include "jpeg/jpeg_decoder.h"

namespace {
inline uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
}  // namespace

FrameSizeResult FindBaselineFrameSize(const uint8_t* data, size_t length, int32_t* widthOut,
                                      int32_t* heightOut) {
    if (!data) return FrameSizeResult::NotFound;
    size_t pos = 0;
    while (length - pos >= 2) {
        uint32_t code = Be16(data + pos);
        pos += 2;
        if (code == 0xFFD8) continue;
        if (code == 0xFFD9) return FrameSizeResult::EndOfImage;
        if (length - pos < 2) break;
        size_t segment = Be16(data + pos);
        if (code == 0xFFC0) {
            // Body: precision, height, width.
            if (segment < 7 || length - pos < 7) break;
            *heightOut = int32_t(Be16(data + pos + 3));
            *widthOut = int32_t(Be16(data + pos + 5));
            return FrameSizeResult::Found;
        }
        // A length below 2 would not move the walk forward.
        if (segment < 2 || length - pos < segment) break;
        pos += segment;
    }
    return FrameSizeResult::NotFound;
}
