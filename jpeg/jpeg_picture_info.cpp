// Frame dimensions for the plug-in's picture information, found without
// decoding: a walk over the marker segments that trusts no length further
// than the data reach.
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_segment.h"

using namespace jpeg;

FrameSizeResult FindBaselineFrameSize(const uint8_t* data, size_t length, int32_t* widthOut,
                                      int32_t* heightOut) {
    if (!data) return FrameSizeResult::NotFound;
    SegmentReader in = StartSegmentReader(data, length);
    while (BytesLeft(in) >= 2) {
        uint32_t code = ReadBe16(in);
        if (code == 0xFFD8) continue;
        if (code == 0xFFD9) return FrameSizeResult::EndOfImage;
        SegmentReader fields = in; // the length is read again by the step below
        size_t segment = ReadBe16(fields);
        if (fields.overrun) break;
        if (code == 0xFFC0) {
            // Body: precision, height, width.
            SkipBytes(fields, 1);
            const uint32_t height = ReadBe16(fields);
            const uint32_t width = ReadBe16(fields);
            if (segment < 7 || fields.overrun) break;
            *heightOut = int32_t(height);
            *widthOut = int32_t(width);
            return FrameSizeResult::Found;
        }
        // A length below 2 would not move the walk forward.
        if (segment < 2) break;
        SkipBytes(in, segment);
        if (in.overrun) break;
    }
    return FrameSizeResult::NotFound;
}
