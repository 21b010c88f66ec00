// Huffman table construction from the table segments of a JPEG stream, and
// the bit reader's byte-by-byte refill.
#include <cstring>
#include <initializer_list>

#include "jpeg/jpeg_internal.h"
#include "jpeg/jpeg_segment.h"

namespace jpeg {

// The 16 trailing entries catch a run that overshoots position 63 in code
// that checks afterwards; the decoders reject such runs before using them.
const uint8_t kZigzag[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// Canonical code assignment. A set of counts that would need more codes of a
// length than that length can hold is refused, so every code fits its bits.
bool BuildHuffmanTable(HuffmanTable& t, const uint8_t counts[16], const uint8_t* symbols) {
    std::memset(&t, 0, sizeof t);
    int total = 0;
    for (int i = 0; i < 16; ++i) total += counts[i];
    if (total > 256) return false;
    std::memcpy(t.symbols, symbols, size_t(total));
    t.symbolCount = total;

    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        t.valOffset[len] = k - int32_t(code);
        for (int i = 0; i < counts[len - 1]; ++i, ++k, ++code) {
            if (code >= (1u << len)) return false;
            if (len <= kLookBits) {
                uint32_t first = code << (kLookBits - len);
                uint32_t n = 1u << (kLookBits - len);
                for (uint32_t j = 0; j < n; ++j) t.look[first + j] = uint16_t((len << 8) | t.symbols[k]);
            }
        }
        t.maxCode[len] = counts[len - 1] ? int32_t(code) - 1 : -1;
        code <<= 1;
    }
    t.maxCode[17] = 0x7FFFFFFF;

    // Short codes whose magnitude bits also fit the look-up: one table access
    // gives the value and the bits to drop (and for AC codes the run). End
    // of block is an AC entry with value 0; a DC difference of 0 is a DC
    // entry with value 0.
    for (uint32_t index = 0; index < (1u << kLookBits); ++index) {
        uint32_t e = t.look[index];
        if (e == 0) continue;
        int len = int(e >> 8);
        int symbol = int(e & 0xFF);
        for (bool ac : {false, true}) {
            int run = ac ? symbol >> 4 : 0;
            int size = ac ? symbol & 15 : symbol;
            if (size > 15 || len + size > kLookBits) continue;
            if (ac && size == 0 && symbol != 0) continue; // runs of 16 zeros, end-of-band runs
            uint32_t magnitude = (index >> (kLookBits - len - size)) & ((1u << size) - 1);
            int value = Extend(magnitude, size);
            (ac ? t.fastAc : t.fastDc)[index] = value * 65536 + run * 256 + (len + size);
        }
    }
    t.defined = true;
    return true;
}

void RefillBytes(BitReader& r) {
    while (r.count <= 56) {
        uint32_t byte = 0;
        if (!r.stopped) {
            if (r.pos < r.length) {
                byte = r.data[r.pos];
                if (byte != 0xFF) {
                    r.pos++;
                } else if (r.pos + 1 < r.length && r.data[r.pos + 1] == 0) {
                    r.pos += 2; // stuffed zero after a data byte 0xFF
                } else {
                    r.stopped = true; // a marker ends the entropy-coded data
                    byte = 0;
                }
            } else {
                r.stopped = true;
            }
        }
        if (r.stopped) r.zeroBytes++;
        r.bits |= uint64_t(byte) << (56 - r.count);
        r.count += 8;
    }
}

bool ReadHuffmanSegment(Decoder& d, const uint8_t* body, size_t length) {
    SegmentReader r = StartSegmentReader(body, length);
    while (BytesLeft(r) > 0) {
        const uint32_t kind = ReadU8(r);
        uint8_t counts[16];
        ReadBytes(r, counts, sizeof counts);
        if (r.overrun) return false;
        const uint32_t tc = kind >> 4;
        const uint32_t th = kind & 15;
        if (tc > 1 || th > 3) return false;
        size_t total = 0;
        for (int i = 0; i < 16; ++i) total += counts[i];
        if (total > 256) return false;
        uint8_t symbols[256];
        ReadBytes(r, symbols, total);
        if (r.overrun) return false;
        HuffmanTable& table = tc == 0 ? d.dc[th] : d.ac[th];
        if (!BuildHuffmanTable(table, counts, symbols)) return false;
    }
    return true;
}

}  // namespace jpeg
