// Decoder record, bit reader and Huffman decoding shared by the decoder's
// source files. Not part of the library's interface.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "jpeg/jpeg_decoder.h"

// Vector code: SSE2, always there on x86-64; the 32-bit x86 build compiles
// it for SSE2 alone and asks the processor before using it.
#if defined(__SSE2__)
#define FERROW_JPEG_SSE2 1
#elif defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
#define FERROW_JPEG_SSE2 1
#define FERROW_JPEG_SSE2_TARGET 1
#endif
// AVX2 where the compiler can target it per function; the 64-bit build only
// (the 32-bit one keeps SSE2: its stack is not kept aligned for 32-byte spills).
#if defined(__x86_64__) && defined(__GNUC__)
#define FERROW_JPEG_AVX2 1
#endif

namespace jpeg {

constexpr int kMaxComponents = 4;
constexpr int kLookBits = 10;
constexpr int kMaxScans = 256;
// Zero bytes that a scan may read past its data (since its start or its last
// restart marker) before it counts as broken: the bit buffer legitimately
// runs up to 8 bytes ahead of the last code.
constexpr uint32_t kMaxPhantomBytes = 512;

// Natural (row-major) index of the coefficient at each zig-zag position.
extern const uint8_t kZigzag[64 + 16];

struct HuffmanTable {
    bool defined;
    // Codes of up to kLookBits bits: (length << 8) | symbol, 0 = longer code.
    uint16_t look[1 << kLookBits];
    // Code and magnitude bits that together fit kLookBits bits, read as an
    // AC table: value * 65536 + run * 256 + total bits (value 0: end of
    // block), and as a DC table: value * 65536 + total bits. 0 = take the
    // slow path.
    int32_t fastAc[1 << kLookBits];
    int32_t fastDc[1 << kLookBits];
    int32_t maxCode[18];   // largest code of each length, -1 when none
    int32_t valOffset[18]; // symbol index = code + valOffset[length]
    int32_t symbolCount;
    uint8_t symbols[256];
};

struct Component {
    uint8_t id = 0;
    uint8_t h = 0, v = 0;                 // sampling factors 1..4
    uint8_t tq = 0;                       // quantisation table 0..3
    int blocksPerLine = 0, blockRows = 0; // including the MCU padding
    int blocksWide = 0, blocksHigh = 0;   // covering the component's own samples
    size_t stride = 0;                    // bytes per plane row: blocksPerLine * 8
    size_t planeBytes = 0;                // stride * blockRows * 8
    uint8_t* plane = nullptr;             // reconstructed samples (or one MCU row of them)
    int16_t* coefs = nullptr;             // progressive: 64 per block, zig-zag order
    int dcPred = 0;
};

struct BitReader {
    const uint8_t* data = nullptr;
    size_t length = 0;
    size_t pos = 0;       // next byte to load into bits
    uint64_t bits = 0;    // unread bits, most significant first
    int count = 0;        // valid bits in bits
    bool stopped = false; // met a marker or the end: zeros from here on
    bool corrupt = false; // an undefined code or impossible run was met
    uint32_t zeroBytes = 0;
};

// How the components of a frame become red, green and blue.
enum class ColourModel : uint8_t {
    Grey,  // one component
    YCbCr, // three components, the usual case
    Rgb,   // three components stored as red, green and blue
    Cmyk,  // four components, stored inverted as Adobe applications write them
    Ycck,  // four components: YCbCr of the inverted C, M, Y, then K
};

// The transform and colour conversion of one code path (see SelectKernels).
struct Kernels {
    JpegCodePath path = JpegCodePath::Portable;
    void (*idct)(const int16_t* coef, const uint16_t* q, uint8_t* out, size_t stride) = nullptr;
    // Two blocks of one component at once (coefs: 128 values, a then b).
    void (*idctPair)(const int16_t* coefs, const uint16_t* q, uint8_t* outA, uint8_t* outB,
                     size_t stride) = nullptr;
    // Null on the portable path.
    int (*convertRow)(const uint8_t* rowY, const uint8_t* rowCb, const uint8_t* rowCr, uint8_t* px,
                      int width, int chromaStep) = nullptr;
};

struct Decoder {
    const uint8_t* data = nullptr;
    size_t length = 0;
    JpegDecodeOptions options;

    bool frameSeen = false;
    bool progressive = false;
    int width = 0, height = 0;
    int componentCount = 0;
    int hMax = 0, vMax = 0;
    int mcusAcross = 0, mcusDown = 0;
    Component comp[kMaxComponents];

    uint16_t quant[4][64] = {}; // zig-zag order, as stored in the stream
    HuffmanTable dc[4];
    HuffmanTable ac[4];
    int restartInterval = 0;

    // Application markers that name the colour model, and the model chosen
    // from them and the frame at the first scan.
    bool sawJfif = false;
    int adobeTransform = -1; // -1: no Adobe marker
    ColourModel model = ColourModel::YCbCr;

    // Current scan.
    int scanCount = 0;
    Component* scanComp[kMaxComponents] = {};
    int scanDc[kMaxComponents] = {};
    int scanAc[kMaxComponents] = {};
    int ss = 0, se = 0, ah = 0, al = 0;
    int eobRun = 0;
    BitReader reader;
    int scansDecoded = 0;

    // The transform and colour conversion of the path in use.
    Kernels kernels;

    // A sequential picture whose first scan holds every component is decoded
    // one MCU row at a time straight into the pixels: planes are then only
    // one MCU row tall.
    bool streamed = false;
    DecodedImage* image = nullptr;
};

// Huffman table segment body; false for a table that cannot be right.
bool ReadHuffmanSegment(Decoder& d, const uint8_t* body, size_t length);
bool BuildHuffmanTable(HuffmanTable& table, const uint8_t counts[16], const uint8_t* symbols);

// Decodes the current scan from data[0..length); returns the position of the
// first byte it did not consume.
size_t DecodeScan(Decoder& d, const uint8_t* data, size_t length);

// Progressive frames: turns the stored coefficient blocks into pixels, one
// MCU row of samples at a time. False when memory runs out.
bool ReconstructPicture(Decoder& d);

// 8 x 8 inverse DCT of the coefficients coef (natural order) dequantised by
// q (natural order), with the level shift and clamping, into out (stride
// bytes between rows). The portable form is the reference for the others.
void InverseDctScalar(const int16_t* coef, const uint16_t* q, uint8_t* out, size_t stride);
void InverseDctSse2(const int16_t* coef, const uint16_t* q, uint8_t* out, size_t stride);
// Two blocks at once: coefs holds block a's 64 coefficients, then block b's.
void InverseDctPairAvx2(const int16_t* coefs, const uint16_t* q, uint8_t* outA, uint8_t* outB,
                        size_t stride);
// The transform of a block whose only coefficient is the dequantised DC term.
void FillDcBlock(int32_t dc, uint8_t* out, size_t stride);
// YCbCr rows with chroma at the full (chromaStep 1) or half rate: converts a
// leading run of the row's pixels and returns how many it did.
int ConvertRowSse2(const uint8_t* rowY, const uint8_t* rowCb, const uint8_t* rowCr, uint8_t* px,
                   int width, int chromaStep);
int ConvertRowAvx2(const uint8_t* rowY, const uint8_t* rowCb, const uint8_t* rowCr, uint8_t* px,
                   int width, int chromaStep);

// The widest path up to widest that this build and processor run.
Kernels SelectKernels(JpegCodePath widest);

// One block: the transform, or the fill of a block with no AC terms.
inline void TransformOne(const Kernels& k, const int16_t* coef, const uint16_t* q, bool ac,
                         uint8_t* out, size_t stride) {
    if (ac)
        k.idct(coef, q, out, stride);
    else
        FillDcBlock(int32_t(coef[0]) * int32_t(q[0]), out, stride);
}

// Two blocks of one component that lie one after the other in coefs.
inline void TransformTwo(const Kernels& k, const int16_t* coefs, const uint16_t* q, bool acA,
                         bool acB, uint8_t* outA, uint8_t* outB, size_t stride) {
    if ((acA && acB) || ((acA || acB) && k.path == JpegCodePath::Avx2)) {
        k.idctPair(coefs, q, outA, outB, stride);
        return;
    }
    TransformOne(k, coefs, q, acA, outA, stride);
    TransformOne(k, coefs + 64, q, acB, outB, stride);
}

// Upsamples and colour-converts picture rows y0..y1-1 into image->pixels
// (RGBX). Plane rows are counted from firstPlaneRow[c] of each component.
void ConvertRows(const Decoder& d, DecodedImage* image, int y0, int y1, const int* firstPlaneRow);

// Picture memory: full planes (grey), and the pixel block of the image.
bool AllocatePlanes(Decoder& d);
bool AllocatePixels(Decoder& d);

inline int Extend(uint32_t v, int s) {
    if (s == 0) return 0;
    return v < (1u << (s - 1)) ? int(v) - int((1u << s) - 1) : int(v);
}

inline void StartBitReader(BitReader& r, const uint8_t* data, size_t length) {
    r = BitReader();
    r.data = data;
    r.length = length;
}

// Eight bytes at p as one big-endian number.
inline uint64_t LoadBe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// How many of the eight bytes of v, from the most significant, come before
// the first 0xFF (8 when there is none). Exact for every byte: no carry
// crosses from one byte to the next.
inline int BytesBeforeFf(uint64_t v) {
    const uint64_t inverse = ~v, low7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t ff = ~(((inverse & low7) + low7) | inverse | low7);
    return ff == 0 ? 8 : __builtin_clzll(ff) >> 3;
}

// Fills the bit buffer byte by byte (stuffing, markers, the end of the data).
void RefillBytes(BitReader& r);

inline void Refill(BitReader& r) {
    // Usual case: the bytes up to the next 0xFF (stuffing or a marker) are
    // taken whole, as many as fit; the byte-by-byte loop below goes on from
    // the 0xFF, so the result is the same as that loop's alone.
    if (!r.stopped && r.pos <= r.length && r.length - r.pos >= 8) {
        const uint64_t next = LoadBe64(r.data + r.pos);
        int take = (64 - r.count) >> 3;
        const int clean = BytesBeforeFf(next);
        if (take > clean) take = clean;
        if (take > 0) {
            const int filled = r.count + 8 * take;
            uint64_t add = next >> r.count;
            if (filled < 64) add &= ~uint64_t(0) << (64 - filled);
            r.bits |= add;
            r.count = filled;
            r.pos += size_t(take);
        }
    }
    if (r.count <= 56) RefillBytes(r);
}

inline uint32_t GetBits(BitReader& r, int n) {
    if (n == 0) return 0;
    if (r.count < n) Refill(r);
    uint32_t v = uint32_t(r.bits >> (64 - n));
    r.bits <<= n;
    r.count -= n;
    return v;
}

inline uint32_t GetBit(BitReader& r) {
    return GetBits(r, 1);
}

// Next Huffman symbol, or -1 (reader marked corrupt) for an undefined code.
inline int DecodeSymbol(BitReader& r, const HuffmanTable& t) {
    if (r.count < 16) Refill(r);
    uint32_t e = t.look[r.bits >> (64 - kLookBits)];
    if (e != 0) {
        int len = int(e >> 8);
        r.bits <<= len;
        r.count -= len;
        return int(e & 0xFF);
    }
    uint32_t code16 = uint32_t(r.bits >> 48);
    for (int len = kLookBits + 1; len <= 16; ++len) {
        int32_t code = int32_t(code16 >> (16 - len));
        if (code <= t.maxCode[len]) {
            int32_t index = code + t.valOffset[len];
            if (index < 0 || index >= t.symbolCount) break;
            r.bits <<= len;
            r.count -= len;
            return t.symbols[index];
        }
    }
    r.corrupt = true;
    return -1;
}

} // namespace jpeg
