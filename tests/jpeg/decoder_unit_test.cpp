// Building blocks of the decoder: Huffman tables, the bit reader, the
// inverse DCT, restart handling, progressive refinement and bitmap output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_internal.h"
#include "tests/jpeg/jpeg_builder.h"

namespace {

Bytes BitsFromText(const std::string& text) {
    BitWriter w;
    for (char c : text)
        w.Put(c == '1', 1);
    return w.Finish();
}

// ---- Huffman tables -------------------------------------------------------

struct HuffmanCase {
    const char* name;
    Bytes counts;
    Bytes symbols;
    const char* stream; // concatenated codes
    std::vector<int> expected;
};

class HuffmanDecode : public ::testing::TestWithParam<HuffmanCase> {};

TEST_P(HuffmanDecode, DecodesCanonicalCodes) {
    const HuffmanCase& c = GetParam();
    Bytes counts = c.counts;
    counts.resize(16, 0);
    auto table = std::make_unique<jpeg::HuffmanTable>();
    ASSERT_TRUE(jpeg::BuildHuffmanTable(*table, counts.data(), c.symbols.data()));
    Bytes data = BitsFromText(c.stream);
    jpeg::BitReader r;
    jpeg::StartBitReader(r, data.data(), data.size());
    for (int want : c.expected)
        EXPECT_EQ(want, jpeg::DecodeSymbol(r, *table)) << c.name;
}

const HuffmanCase kHuffmanCases[] = {
    // The usual luminance DC table: lengths 2, 3 x 5, then one each up to 9.
    {"luma_dc",
     {0, 1, 5, 1, 1, 1, 1, 1, 1},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
     "00"
     "010"
     "110"
     "1110"
     "111111110"
     "011",
     {0, 1, 5, 6, 11, 2}},
    {"single_one_bit_code", {1}, {0x42}, "000", {0x42, 0x42, 0x42}},
    // Codes of 12 and 16 bits take the slow path past the lookup table.
    {"long_codes",
     {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1},
     {0x10, 0x20, 0x30},
     "0"
     "100000000000"
     "1000000000010000"
     "0",
     {0x10, 0x20, 0x30, 0x10}},
    // A bit pattern that no code has is reported, not taken as a symbol.
    {"undefined_code",
     {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
     {0x10, 0x20},
     "0"
     "11",
     {0x10, -1}},
};

INSTANTIATE_TEST_SUITE_P(Tables, HuffmanDecode, ::testing::ValuesIn(kHuffmanCases),
                         [](const ::testing::TestParamInfo<HuffmanCase>& info) {
                             return info.param.name;
                         });

TEST(HuffmanBuild, RefusesCountsThatOverflowTheirLength) {
    struct {
        Bytes counts;
        bool valid;
    } cases[] = {
        {{2}, true},        // 0, 1
        {{3}, false},       // three 1-bit codes
        {{1, 2}, true},     // 0, 10, 11
        {{2, 1}, false},    // no 2-bit code left after 0 and 1
        {{0, 4, 1}, false}, // 00..11 use up every 2-bit prefix
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}, true},
    };
    Bytes symbols(256, 7);
    for (auto& c : cases) {
        Bytes counts = c.counts;
        counts.resize(16, 0);
        auto table = std::make_unique<jpeg::HuffmanTable>();
        EXPECT_EQ(c.valid, jpeg::BuildHuffmanTable(*table, counts.data(), symbols.data()))
            << int(c.counts[0]) << " codes of length 1";
    }
}

TEST(HuffmanBuild, FastEntriesCarryRunValueAndLength) {
    // Symbol 0x12 (run 1, size 2) with the 2-bit code 01; the magnitude bits
    // 01 make the value -2. Read as a DC table, symbol 0 (code 00) is a
    // difference of 0 and symbol 0x12 is no difference category.
    Bytes counts(16, 0);
    counts[1] = 2;
    Bytes symbols = {0x00, 0x12};
    auto table = std::make_unique<jpeg::HuffmanTable>();
    ASSERT_TRUE(jpeg::BuildHuffmanTable(*table, counts.data(), symbols.data()));
    int32_t e = table->fastAc[0b0101u << (jpeg::kLookBits - 4)];
    EXPECT_EQ(4, e & 0xFF);
    EXPECT_EQ(1, (e >> 8) & 15);
    EXPECT_EQ(-2, e >> 16);
    EXPECT_EQ(2, table->fastAc[0]); // end of block: value 0, two bits
    EXPECT_EQ(2, table->fastDc[0]);
    EXPECT_EQ(0, table->fastDc[0b0101u << (jpeg::kLookBits - 4)]);
}

// ---- Extend and the bit reader --------------------------------------------

TEST(Extend, MapsMagnitudeCategories) {
    struct {
        uint32_t bits;
        int size, value;
    } cases[] = {{0, 0, 0},         {0, 1, -1},       {1, 1, 1},        {0, 2, -3},
                 {1, 2, -2},        {2, 2, 2},        {3, 2, 3},        {0, 11, -2047},
                 {1023, 11, -1024}, {1024, 11, 1024}, {2047, 11, 2047}, {0, 15, -32767},
                 {32767, 15, 32767}};
    for (auto& c : cases)
        EXPECT_EQ(c.value, jpeg::Extend(c.bits, c.size)) << c.bits << "/" << c.size;
}

TEST(BitReader, SkipsStuffedZeroAndStopsAtMarkers) {
    const uint8_t stuffed[] = {0xFF, 0x00, 0x12};
    jpeg::BitReader r;
    jpeg::StartBitReader(r, stuffed, sizeof stuffed);
    EXPECT_EQ(0xFFu, jpeg::GetBits(r, 8));
    EXPECT_EQ(0x12u, jpeg::GetBits(r, 8));
    EXPECT_EQ(0u, jpeg::GetBits(r, 16)); // past the end: zeros
    EXPECT_TRUE(r.stopped);

    const uint8_t marker[] = {0xAB, 0xFF, 0xD9, 0x55};
    jpeg::StartBitReader(r, marker, sizeof marker);
    EXPECT_EQ(0xABu, jpeg::GetBits(r, 8));
    EXPECT_EQ(0u, jpeg::GetBits(r, 8));
    EXPECT_EQ(1u, r.pos); // the marker is left for the marker walk
}

TEST(BitReader, WholeWordRefillsStopAtEveryFf) {
    // Twenty data bytes with a stuffed 0xFF at each position in turn, then a
    // marker: read in uneven pieces, the bits are the unstuffed bytes and
    // then zeros, and the reader stops in front of the marker.
    for (size_t at = 0; at < 20; ++at) {
        Bytes stream, expected;
        for (size_t i = 0; i < 20; ++i) {
            uint8_t byte = i == at ? 0xFF : uint8_t(0x31 * i + 7);
            if (byte == 0xFF && i != at) byte = 0xFE;
            stream.push_back(byte);
            expected.push_back(byte);
            if (byte == 0xFF) stream.push_back(0x00);
        }
        const size_t markerAt = stream.size();
        stream.insert(stream.end(), {0xFF, 0xD9, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE});
        jpeg::BitReader r;
        jpeg::StartBitReader(r, stream.data(), stream.size());
        std::string got, want;
        for (uint8_t byte : expected)
            for (int b = 7; b >= 0; --b)
                want += char('0' + ((byte >> b) & 1));
        want += std::string(40, '0');
        for (int piece = 1; got.size() < want.size(); piece = piece % 13 + 1) {
            uint32_t v = jpeg::GetBits(r, piece);
            for (int b = piece - 1; b >= 0; --b)
                got += char('0' + ((v >> b) & 1));
        }
        EXPECT_EQ(want, got.substr(0, want.size())) << "0xFF at " << at;
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(markerAt, r.pos) << "0xFF at " << at;
    }
}

// ---- Inverse DCT ----------------------------------------------------------

void ReferenceIdct(const int32_t* coef, double* out) {
    const double pi = std::acos(-1.0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
                    s += cu * cv * coef[v * 8 + u] * std::cos((2 * x + 1) * u * pi / 16) *
                         std::cos((2 * y + 1) * v * pi / 16);
                }
            out[y * 8 + x] = std::min(255.0, std::max(0.0, s / 4 + 128));
        }
}

// The transform of dequantised coefficients on every path this processor
// runs, single and two at a time (beside a second block, so that the halves
// of the wide form cannot mix): all must give the portable form's samples,
// which are returned.
void InverseDctAllPaths(const int32_t* dequantised, uint8_t* out) {
    int16_t coef[128];
    uint16_t ones[64];
    for (int i = 0; i < 64; ++i) {
        coef[i] = int16_t(dequantised[i]);
        coef[64 + i] = int16_t(i == 0 ? dequantised[i] : dequantised[i] / 2);
        ones[i] = 1;
    }
    uint8_t second[64];
    jpeg::InverseDctScalar(coef, ones, out, 8);
    jpeg::InverseDctScalar(coef + 64, ones, second, 8);
    for (JpegCodePath path : {JpegCodePath::Sse2, JpegCodePath::Avx2}) {
        jpeg::Kernels k = jpeg::SelectKernels(path);
        uint8_t single[64], pair[2][64];
        k.idct(coef, ones, single, 8);
        k.idctPair(coef, ones, pair[0], pair[1], 8);
        ASSERT_EQ(0, std::memcmp(single, out, 64)) << int(k.path);
        ASSERT_EQ(0, std::memcmp(pair[0], out, 64)) << int(k.path);
        ASSERT_EQ(0, std::memcmp(pair[1], second, 64)) << int(k.path);
    }
}

TEST(InverseDct, LoneDcOf64GivesFlat136) {
    int32_t coef[64] = {64};
    uint8_t a[64], b[64];
    InverseDctAllPaths(coef, a);
    jpeg::FillDcBlock(64, b, 8);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(136, a[i]);
        EXPECT_EQ(136, b[i]);
    }
}

TEST(InverseDct, KeepsHighVerticalFrequencies) {
    // A coefficient at natural index 40 (vertical frequency 5) must show.
    int32_t coef[64] = {};
    coef[40] = 200;
    uint8_t out[64];
    double ref[64];
    InverseDctAllPaths(coef, out);
    ReferenceIdct(coef, ref);
    EXPECT_NE(out[0], out[8]);
    for (int i = 0; i < 64; ++i)
        EXPECT_LE(std::fabs(out[i] - ref[i]), 1.0) << i;
}

TEST(InverseDct, AgreesWithDoublePrecisionWithinOne) {
    uint32_t seed = 1;
    double total = 0;
    for (int block = 0; block < 2000; ++block) {
        int32_t coef[64];
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1664525u + 1013904223u;
            int range = i == 0 ? 1024 : 300 >> (i / 16);
            coef[i] = int32_t(seed >> 8) % (2 * range + 1) - range;
        }
        uint8_t out[64];
        double ref[64];
        InverseDctAllPaths(coef, out);
        ReferenceIdct(coef, ref);
        for (int i = 0; i < 64; ++i) {
            double err = std::fabs(out[i] - ref[i]);
            ASSERT_LE(err, 1.0) << "block " << block << " sample " << i;
            total += err;
        }
    }
    EXPECT_LT(total / (2000 * 64), 0.3);
}

// Coefficients as an encoder makes them: the forward transform of a block of
// samples, quantised by q and scaled back.
void EncodedBlock(uint32_t& seed, int q, int32_t* coef) {
    const double pi = std::acos(-1.0);
    double samples[64];
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    int edge = int(next() % 8), base = int(next() % 256), slope = int(next() % 64) - 32;
    for (int i = 0; i < 64; ++i) {
        int v = base + slope * (i % 8) / 4 + ((i / 8) > edge ? 120 : -120) + int(next() % 41) - 20;
        samples[i] = std::min(255, std::max(0, v)) - 128.0;
    }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    s += samples[y * 8 + x] * std::cos((2 * x + 1) * u * pi / 16) *
                         std::cos((2 * y + 1) * v * pi / 16);
            s *= (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) / 4;
            coef[v * 8 + u] = int32_t(std::lround(s / q)) * q;
        }
}

TEST(InverseDct, EveryPathEqualsPortableForm) {
    // Where a vector form exists it must give the portable form's integers
    // for every block a valid stream can hold.
    uint32_t seed = 7;
    for (int block = 0; block < 3000; ++block) {
        int32_t coef[64];
        EncodedBlock(seed, 1 + block % 40, coef);
        int16_t quantised[128];
        uint16_t table[64];
        for (int i = 0; i < 64; ++i) {
            table[i] = uint16_t(1 + block % 40);
            quantised[i] = int16_t(coef[i] / table[i]);
            quantised[64 + i] = int16_t(i == 0 ? quantised[i] : -quantised[i]);
        }
        uint8_t portable[2][64];
        jpeg::InverseDctScalar(quantised, table, portable[0], 8);
        jpeg::InverseDctScalar(quantised + 64, table, portable[1], 8);
        for (JpegCodePath path : {JpegCodePath::Sse2, JpegCodePath::Avx2}) {
            jpeg::Kernels k = jpeg::SelectKernels(path);
            uint8_t single[64], pair[2][64];
            k.idct(quantised, table, single, 8);
            k.idctPair(quantised, table, pair[0], pair[1], 8);
            ASSERT_EQ(0, std::memcmp(single, portable[0], 64)) << "block " << block;
            ASSERT_EQ(0, std::memcmp(pair, portable, 128)) << "block " << block;
        }
    }
}

// ---- Whole-stream behaviour -----------------------------------------------

int Sample(const DecodedImage& image, int x, int y) {
    return image.pixels[(size_t(y) * image.width + x) * 3];
}

// Two 8 x 8 grey blocks, each with the DC difference +8 (category 4, bits
// 1000) and quantiser 8. With a restart between them the second block starts
// from a zero predictor again.
TEST(Restart, ResetsPredictorsBetweenIntervals) {
    struct {
        bool restart;
        int second;
    } cases[] = {{true, 136}, {false, 144}};
    for (auto& c : cases) {
        JpegBuilder b;
        b.Soi().FlatQuant(0, 8).Frame(0xFFC0, 16, 8, {{1, 0x11, 0}});
        b.Huffman(0, 0, {2}, {0, 4}).Huffman(1, 0, {1}, {0});
        if (c.restart) b.Restart(1);
        b.Scan({1});
        if (c.restart) {
            b.Raw(BitsFromText("1"
                               "1000"
                               "0"))
                .Marker(0xFFD0)
                .Raw(BitsFromText("1"
                                  "1000"
                                  "0"));
        } else {
            b.Raw(BitsFromText("1"
                               "1000"
                               "0"
                               "1"
                               "1000"
                               "0"));
        }
        b.Eoi();
        DecodedImage image;
        ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, b.bytes().data(), b.bytes().size(), {}));
        EXPECT_EQ(136, Sample(image, 3, 3));
        EXPECT_EQ(c.second, Sample(image, 12, 5)) << (c.restart ? "with" : "without") << " restart";
        ReleaseDecodedImage(&image);
    }
}

TEST(Restart, ManyShortIntervalsAllDecode) {
    // 300 one-block intervals, each one byte of data before its marker: the
    // zeros the reader meets at every marker are padding and never add up
    // to a scan that ran out of data. Every block is +8 on a zero predictor.
    constexpr int kBlocks = 300;
    JpegBuilder b;
    b.Soi().FlatQuant(0, 8).Frame(0xFFC0, 8 * kBlocks, 8, {{1, 0x11, 0}});
    b.Huffman(0, 0, {2}, {0, 4}).Huffman(1, 0, {1}, {0}).Restart(1).Scan({1});
    for (int i = 0; i < kBlocks; ++i) {
        b.Raw(BitsFromText("1"
                           "1000"
                           "0"));
        if (i + 1 < kBlocks) b.Marker(uint16_t(0xFFD0 + i % 8));
    }
    b.Eoi();
    DecodedImage image;
    ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, b.bytes().data(), b.bytes().size(), {}));
    for (int i = 0; i < kBlocks; ++i)
        ASSERT_EQ(136, Sample(image, 8 * i + 4, 4)) << "block " << i;
    ReleaseDecodedImage(&image);
}

TEST(Restart, MissingMarkerDoesNotDerailTheScan) {
    // Interval 1 but no RSTn in the data: the scan stops cleanly.
    JpegBuilder b;
    b.Soi().FlatQuant(0, 8).Frame(0xFFC0, 16, 8, {{1, 0x11, 0}});
    b.Huffman(0, 0, {2}, {0, 4}).Huffman(1, 0, {1}, {0}).Restart(1).Scan({1});
    b.Raw(BitsFromText("1"
                       "1000"
                       "0"
                       "1"
                       "1000"
                       "0"))
        .Eoi();
    DecodedImage image;
    ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, b.bytes().data(), b.bytes().size(), {}));
    EXPECT_EQ(136, Sample(image, 3, 3));
    ReleaseDecodedImage(&image);
}

// Progressive DC with successive approximation: a first scan with Al = 1
// and a refinement bit give the same DC as one scan with Al = 0.
TEST(Progressive, DcRefinementEqualsFullPrecision) {
    auto decode = [](bool refined) {
        JpegBuilder b;
        // DC categories 0, 3 and 4 with the codes 0, 10 and 11.
        b.Soi()
            .FlatQuant(0, 8)
            .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}})
            .Huffman(0, 0, {1, 2}, {0, 3, 4});
        if (refined) {
            b.Scan({1}, 0, 0, 0x01)
                .Raw(BitsFromText("10"
                                  "100"));                  // 4 << 1 = 8
            b.Scan({1}, 0, 0, 0x10).Raw(BitsFromText("1")); // + 1
        } else {
            b.Scan({1}, 0, 0, 0x00)
                .Raw(BitsFromText("11"
                                  "1001")); // 9
        }
        b.Eoi();
        DecodedImage image;
        EXPECT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, b.bytes().data(), b.bytes().size(), {}));
        int v = image.pixels ? Sample(image, 4, 4) : -1;
        ReleaseDecodedImage(&image);
        return v;
    };
    EXPECT_EQ(137, decode(false)); // 9 x 8 / 8 + 128
    EXPECT_EQ(decode(false), decode(true));
}

struct ProgressiveFixture {
    std::unique_ptr<jpeg::Decoder> d = std::make_unique<jpeg::Decoder>();
    std::vector<int16_t> coefs;

    ProgressiveFixture(int blocks, int ss, int se, int ah, int al, const Bytes& counts,
                       const Bytes& symbols) {
        d->progressive = true;
        d->componentCount = 1;
        jpeg::Component& c = d->comp[0];
        c.h = c.v = 1;
        c.blocksWide = c.blocksPerLine = blocks;
        c.blocksHigh = c.blockRows = 1;
        coefs.assign(size_t(blocks) * 64, 0);
        c.coefs = coefs.data();
        d->scanCount = 1;
        d->scanComp[0] = &c;
        d->ss = ss, d->se = se, d->ah = ah, d->al = al;
        Bytes padded = counts;
        padded.resize(16, 0);
        EXPECT_TRUE(jpeg::BuildHuffmanTable(d->ac[0], padded.data(), symbols.data()));
    }
    int16_t& At(int block, int k) { return coefs[size_t(block) * 64 + size_t(k)]; }
    void Run(const char* bits) {
        Bytes data = BitsFromText(bits);
        jpeg::DecodeScan(*d, data.data(), data.size());
    }
};

TEST(Progressive, EndOfBandRunSkipsFollowingBlocks) {
    // EOB run symbol r = 3 with run bits 101: 8 + 5 - 1 = 12 further blocks
    // end at once; block 13 then receives its coefficient.
    ProgressiveFixture f(14, 1, 1, 0, 0, {1, 1}, {0x30, 0x01});
    f.Run("0"
          "101"
          "10"
          "1");
    for (int b = 0; b < 13; ++b)
        EXPECT_EQ(0, f.At(b, 1)) << b;
    EXPECT_EQ(1, f.At(13, 1));
    EXPECT_EQ(0, f.d->eobRun);
}

TEST(Progressive, AcRefinementCorrectsAndPlaces) {
    // p = 2. Coefficients 1..5 = 0, 4, 0, -4, 0; symbol r = 2, s = 1 with
    // sign 1, then correction bits 1 (4 -> 6) and 0 (-4 stays): the new +2
    // lands on the third zero, k = 5. A symbol of size 2 (wrong in a
    // refinement scan) takes one sign bit all the same.
    for (uint8_t symbol : {0x21, 0x22}) {
        ProgressiveFixture f(1, 1, 5, 1, 1, {1, 1}, {symbol, 0x00});
        f.At(0, 2) = 4;
        f.At(0, 4) = -4;
        f.Run("0"
              "1"
              "1"
              "0");
        const int want[] = {0, 6, 0, -4, 2};
        for (int k = 1; k <= 5; ++k)
            EXPECT_EQ(want[k - 1], f.At(0, k)) << k << " symbol " << int(symbol);
    }
}

TEST(Progressive, AcFirstRunPastSpectralEndIsStopped) {
    ProgressiveFixture f(2, 1, 5, 0, 0, {1}, {0xF1}); // run 15 then a value: past Se = 5
    f.Run("0"
          "1"
          "0"
          "1");
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(0, f.coefs[size_t(jpeg::kZigzag[k])]);
    EXPECT_TRUE(f.d->reader.corrupt);
}

// ---- Colour models ----------------------------------------------------------

// One flat 8 x 8 block per component, components named by ids: with the
// quantisation value 8 a DC difference d reconstructs as the sample 128 + d.
Bytes FlatBlockJpeg(const Bytes& markers, const Bytes& ids, const std::vector<int>& samples) {
    Bytes frame = {8, 0, 8, 0, 8, uint8_t(ids.size())};
    Bytes scan = {uint8_t(ids.size())};
    for (uint8_t id : ids) {
        frame.insert(frame.end(), {id, 0x11, 0});
        scan.insert(scan.end(), {id, 0x00});
    }
    scan.insert(scan.end(), {0, 63, 0});
    JpegBuilder b;
    b.Soi().Raw(markers).FlatQuant(0, 8).Segment(0xFFC0, frame);
    // DC categories 0 to 11 as 4-bit codes; the only AC code is end of block.
    b.Huffman(0, 0, {0, 0, 0, 12}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}).Huffman(1, 0, {1}, {0});
    b.Segment(0xFFDA, scan);
    BitWriter bits;
    for (int sample : samples) {
        int d = sample - 128, size = 0;
        while ((d < 0 ? -d : d) >> size)
            ++size;
        bits.Put(uint32_t(size), 4);
        bits.Put(uint32_t(d < 0 ? d + (1 << size) - 1 : d), size);
        bits.Put(0, 1);
    }
    return b.Raw(bits.Finish()).Eoi().bytes();
}

Bytes Jfif() {
    return JpegBuilder()
        .Segment(0xFFE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0})
        .bytes();
}
Bytes Adobe(uint8_t transform) {
    return JpegBuilder()
        .Segment(0xFFEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform})
        .bytes();
}
Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// The markers and component names choose the model; the expected colours
// follow the integer conversions (YCbCr 200, 100, 50 is 91, 255, 150; the
// inks 200, 100, 50 over black 128 leave 100, 50, 25; YCCK 150, 100, 180
// over black 200 leaves 25, 104, 122; products over 255 are rounded).
TEST(ColourModels, MarkersAndNamesChooseTheConversion) {
    const Bytes rgbIds = {'R', 'G', 'B'}, numbered = {1, 2, 3}, four = {1, 2, 3, 4};
    const std::vector<int> three = {200, 100, 50}, inks = {200, 100, 50, 128},
                           ycck = {150, 100, 180, 200};
    struct {
        const char* name;
        Bytes markers, ids;
        std::vector<int> samples;
        JpegStatus status;
        int rgb[3];
    } cases[] = {
        {"numbered_ids", {}, numbered, three, JpegStatus::Ok, {91, 255, 150}},
        {"rgb_ids", {}, rgbIds, three, JpegStatus::Ok, {200, 100, 50}},
        {"rgb_ids_under_jfif", Jfif(), rgbIds, three, JpegStatus::Ok, {91, 255, 150}},
        {"adobe_rgb", Adobe(0), numbered, three, JpegStatus::Ok, {200, 100, 50}},
        {"adobe_ycbcr", Adobe(1), rgbIds, three, JpegStatus::Ok, {91, 255, 150}},
        {"adobe_2_with_three", Adobe(2), numbered, three, JpegStatus::Unsupported, {}},
        {"jfif_before_adobe",
         Join(Jfif(), Adobe(0)),
         numbered,
         three,
         JpegStatus::Ok,
         {91, 255, 150}},
        {"cmyk_plain", {}, four, inks, JpegStatus::Ok, {100, 50, 25}},
        {"cmyk_adobe", Adobe(0), four, inks, JpegStatus::Ok, {100, 50, 25}},
        {"ycck", Adobe(2), four, ycck, JpegStatus::Ok, {25, 104, 122}},
        {"adobe_1_with_four", Adobe(1), four, inks, JpegStatus::Unsupported, {}},
        {"adobe_7_with_four", Adobe(7), four, inks, JpegStatus::Unsupported, {}},
        {"grey_ignores_adobe", Adobe(0), {1}, {77}, JpegStatus::Ok, {77, 77, 77}},
    };
    for (auto& c : cases) {
        Bytes stream = FlatBlockJpeg(c.markers, c.ids, c.samples);
        DecodedImage image;
        ASSERT_EQ(JpegStatusText(c.status),
                  std::string(JpegStatusText(
                      DecodeJpegWith(&image, stream.data(), stream.size(), JpegDecodeOptions()))))
            << c.name;
        for (size_t i = 0; image.pixels && i < 64; ++i)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(c.rgb[k], image.pixels[i * 3 + size_t(k)]) << c.name << " pixel " << i;
        ReleaseDecodedImage(&image);
    }
}

// ---- Bitmap output ----------------------------------------------------------

TEST(Bitmap, RowPaddingAndBlockSize) {
    struct {
        int32_t width, height, pad;
        size_t block;
    } cases[] = {{1, 1, 1, 6},  {2, 1, 2, 12}, {3, 2, 3, 36}, {4, 3, 0, 36},
                 {5, 1, 1, 18}, {0, 5, 0, 0},  {-3, 2, 0, 0}, {7, 0, 3, 0}};
    for (auto& c : cases) {
        EXPECT_EQ(c.pad, BitmapRowPadding(c.width)) << c.width;
        EXPECT_EQ(c.block, BitmapPixelBlockSize(c.width, c.height)) << c.width << "x" << c.height;
    }
}

TEST(Bitmap, PacksBottomUpBlueGreenRed) {
    uint8_t rgb[3 * 2 * 3];
    for (int i = 0; i < 6; ++i) {
        rgb[i * 3 + 0] = uint8_t(10 * i + 1); // red
        rgb[i * 3 + 1] = uint8_t(10 * i + 2);
        rgb[i * 3 + 2] = uint8_t(10 * i + 3); // blue
    }
    DecodedImage image;
    image.width = 3;
    image.height = 2;
    image.pixelCount = 6;
    image.pixels = rgb;
    uint8_t header[40];
    std::vector<uint8_t> pixels(BitmapPixelBlockSize(3, 2), 0xEE);
    ASSERT_EQ(36u, pixels.size());
    PackBitmap(image, header, pixels.data());
    const uint8_t wantHeader[16] = {40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
    EXPECT_EQ(0, std::memcmp(wantHeader, header, 16));
    for (int i = 16; i < 40; ++i)
        EXPECT_EQ(0, header[i]) << i;
    // Bottom picture row (pixels 3..5) first, 12 bytes a row.
    const uint8_t wantRows[24] = {33, 32, 31, 43, 42, 41, 53, 52, 51, 0, 0, 0,
                                  3,  2,  1,  13, 12, 11, 23, 22, 21, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(wantRows, pixels.data(), 24));
}

TEST(Decode, GreyscaleGivesEqualChannels) {
    Bytes jpeg = GreyBlockJpeg(9, 3);
    DecodedImage image;
    ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, jpeg.data(), jpeg.size(), {}));
    EXPECT_EQ(9, image.width);
    EXPECT_EQ(3, image.height);
    for (int i = 0; i < image.pixelCount; ++i) {
        EXPECT_EQ(128, image.pixels[i * 3]);
        EXPECT_EQ(128, image.pixels[i * 3 + 1]);
        EXPECT_EQ(128, image.pixels[i * 3 + 2]);
    }
    ReleaseDecodedImage(&image);
}

TEST(Decode, DiagnosticsOnlyWithTheTraceSwitch) {
    Bytes jpeg = JpegBuilder().Soi().Segment(0xFFFE, Bytes(300, 'c')).Raw(GreyBlockJpeg()).bytes();
    JpegDecodeOptions quiet, loud;
    loud.trace = true;
    DecodedImage image;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, jpeg.data(), jpeg.size(), quiet));
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    ReleaseDecodedImage(&image);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, jpeg.data(), jpeg.size(), loud));
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("ffc0\nnormal\n"));
    EXPECT_NE(std::string::npos, out.find("comment:" + std::string(254, 'c') + "\n"));
    ReleaseDecodedImage(&image);
}

TEST(PictureInfo, FindsOnlyTheBaselineFrameHeader) {
    Bytes app0 = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    struct {
        const char* name;
        Bytes stream;
        FrameSizeResult result;
        int32_t width, height;
    } cases[] = {
        {"app0_then_frame",
         JpegBuilder().Soi().Segment(0xFFE0, app0).Frame(0xFFC0, 300, 200, {{1, 0x11, 0}}).bytes(),
         FrameSizeResult::Found, 300, 200},
        {"progressive_frame",
         JpegBuilder().Soi().Frame(0xFFC2, 300, 200, {{1, 0x11, 0}}).Eoi().bytes(),
         FrameSizeResult::EndOfImage, 0, 0},
        {"progressive_no_eoi", JpegBuilder().Soi().Frame(0xFFC2, 300, 200, {{1, 0x11, 0}}).bytes(),
         FrameSizeResult::NotFound, 0, 0},
        {"soi_eoi", JpegBuilder().Soi().Eoi().bytes(), FrameSizeResult::EndOfImage, 0, 0},
        {"empty", {}, FrameSizeResult::NotFound, 0, 0},
        {"one_byte", {0xFF}, FrameSizeResult::NotFound, 0, 0},
        {"cut_frame",
         {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00},
         FrameSizeResult::NotFound,
         0,
         0},
        {"zero_length",
         {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xE0},
         FrameSizeResult::NotFound,
         0,
         0},
        {"length_past_end",
         {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 0xFF, 0xC0},
         FrameSizeResult::NotFound,
         0,
         0},
    };
    for (auto& c : cases) {
        int32_t w = 0, h = 0;
        EXPECT_EQ(c.result, FindBaselineFrameSize(c.stream.data(), c.stream.size(), &w, &h))
            << c.name;
        EXPECT_EQ(c.width, w) << c.name;
        EXPECT_EQ(c.height, h) << c.name;
    }
}

} // namespace
