// Bounded reader of the marker walk and its segments: a read past the end
// answers zeros, as the bit reader does past its data, and marks the reader
// short; the parser checks that mark instead of lengths before each load.
#pragma once
#include <cstddef>
#include <cstdint>

namespace jpeg {

struct SegmentReader {
    const uint8_t* data = nullptr;
    size_t length = 0;
    size_t pos = 0;
    bool overrun = false; // a read or a step went past the end
};

inline SegmentReader StartSegmentReader(const uint8_t* data, size_t length) {
    SegmentReader r;
    r.data = data;
    r.length = data ? length : 0;
    return r;
}

inline size_t BytesLeft(const SegmentReader& r) {
    return r.length - r.pos;
}

inline uint32_t PeekU8(const SegmentReader& r) {
    return r.pos < r.length ? r.data[r.pos] : 0;
}

inline uint32_t ReadU8(SegmentReader& r) {
    if (r.pos < r.length) return r.data[r.pos++];
    r.overrun = true;
    return 0;
}

inline uint32_t ReadBe16(SegmentReader& r) {
    const uint32_t high = ReadU8(r);
    return high << 8 | ReadU8(r);
}

inline void ReadBytes(SegmentReader& r, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = uint8_t(ReadU8(r));
}

// Steps over count bytes, or to the end (short) when fewer are left.
inline void SkipBytes(SegmentReader& r, size_t count) {
    if (count > BytesLeft(r)) {
        r.overrun = true;
        count = BytesLeft(r);
    }
    r.pos += count;
}

// The next count bytes as a reader of their own (as many as there are), which
// the reader steps over.
inline SegmentReader TakeSegment(SegmentReader& r, size_t count) {
    const size_t take = count < BytesLeft(r) ? count : BytesLeft(r);
    SegmentReader piece = StartSegmentReader(r.data + r.pos, take);
    SkipBytes(r, count);
    return piece;
}

// Where the reader stands, for the entropy-coded data, which the bit reader
// reads under its own bound.
inline const uint8_t* SegmentHere(const SegmentReader& r) {
    return r.data + r.pos;
}

} // namespace jpeg
