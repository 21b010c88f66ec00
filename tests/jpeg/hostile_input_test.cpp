// Streams built to break a decoder: each must give its stated result without
// crashing, hanging or touching memory outside the data (the suite also runs
// under ASan and UBSan).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_segment.h"
#include "tests/jpeg/jpeg_builder.h"

namespace {

// A grey 8 x 8 picture up to and including its frame header, from which the
// cases below go on.
JpegBuilder GreyHead() {
    JpegBuilder b;
    b.Soi().FlatQuant(0, 1).Frame(0xFFC0, 8, 8, {{1, 0x11, 0}});
    return b;
}

Bytes GreyTail(JpegBuilder b) {
    return b.ZeroTables().Scan({1}).Raw({0x3F}).Eoi().bytes();
}

Bytes ManyScans(int scans) {
    JpegBuilder b;
    b.Soi().FlatQuant(0, 1).Frame(0xFFC2, 8, 8, {{1, 0x11, 0}}).Huffman(0, 0, {1}, {0});
    for (int i = 0; i < scans; ++i)
        b.Scan({1}, 0, 0, 0).Raw({0x7F});
    return b.Eoi().bytes();
}

// A DNL segment after the scan: not supported, ends the walk, keeps the picture.
Bytes NumberOfLinesAfterScan() {
    Bytes b = GreyBlockJpeg();
    b.resize(b.size() - 2);
    b.insert(b.end(), {0xFF, 0xDC, 0x00, 0x04, 0x00, 0x08, 0xFF, 0xD9});
    return b;
}

struct HostileCase {
    const char* name;
    Bytes stream;
    JpegStatus status;
};

std::vector<HostileCase> Cases() {
    Bytes tooManySymbols = {0x10};
    tooManySymbols.insert(tooManySymbols.end(),
                          {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 100});
    tooManySymbols.resize(tooManySymbols.size() + 300, 1);
    return {
        {"empty", {}, JpegStatus::NotJpeg},
        {"one_byte", {0xFF}, JpegStatus::NotJpeg},
        {"gif", {'G', 'I', 'F', '8', '9', 'a'}, JpegStatus::NotJpeg},
        {"soi_only", {0xFF, 0xD8}, JpegStatus::NoFrame},
        {"soi_eoi", {0xFF, 0xD8, 0xFF, 0xD9}, JpegStatus::NoFrame},
        {"frame_without_scan", GreyHead().Eoi().bytes(), JpegStatus::NoFrame},
        {"valid", GreyBlockJpeg(), JpegStatus::Ok},
        {"zero_width",
         GreyTail(JpegBuilder().Soi().FlatQuant(0, 1).Frame(0xFFC0, 0, 8, {{1, 0x11, 0}})),
         JpegStatus::TooLarge},
        {"zero_height",
         GreyTail(JpegBuilder().Soi().FlatQuant(0, 1).Frame(0xFFC0, 8, 0, {{1, 0x11, 0}})),
         JpegStatus::TooLarge},
        {"huge", GreyTail(JpegBuilder().Soi().Frame(0xFFC0, 65535, 65535, {{1, 0x11, 0}})),
         JpegStatus::TooLarge},
        {"sampling_zero",
         GreyTail(
             JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x22, 0}, {2, 0x01, 0}, {3, 0x11, 0}})),
         JpegStatus::Corrupt},
        {"sampling_five",
         GreyTail(
             JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x51, 0}, {2, 0x11, 0}, {3, 0x11, 0}})),
         JpegStatus::Corrupt},
        {"frame_quant_table_4", GreyTail(JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x11, 4}})),
         JpegStatus::Corrupt},
        {"duplicate_component_ids",
         GreyTail(
             JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x11, 0}, {1, 0x11, 0}, {3, 0x11, 0}})),
         JpegStatus::Corrupt},
        {"two_components",
         GreyTail(JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}})),
         JpegStatus::Unsupported},
        {"five_components",
         GreyTail(JpegBuilder().Soi().Frame(
             0xFFC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}})),
         JpegStatus::Unsupported},
        {"twelve_bit", GreyTail(JpegBuilder().Soi().Frame(0xFFC0, 8, 8, {{1, 0x11, 0}}, 12)),
         JpegStatus::Unsupported},
        {"arithmetic", GreyTail(JpegBuilder().Soi().Frame(0xFFC9, 8, 8, {{1, 0x11, 0}})),
         JpegStatus::Unsupported},
        {"arithmetic_progressive",
         GreyTail(JpegBuilder().Soi().Frame(0xFFCA, 8, 8, {{1, 0x11, 0}})),
         JpegStatus::Unsupported},
        {"lossless", GreyTail(JpegBuilder().Soi().Frame(0xFFC3, 8, 8, {{1, 0x11, 0}})),
         JpegStatus::Unsupported},
        {"second_frame", GreyTail(GreyHead().Frame(0xFFC0, 8, 8, {{1, 0x11, 0}})),
         JpegStatus::Corrupt},
        {"quant_table_4", GreyTail(GreyHead().FlatQuant(4, 1)), JpegStatus::Corrupt},
        {"quant_cut_short", GreyTail(GreyHead().Segment(0xFFDB, Bytes(30, 1))),
         JpegStatus::Corrupt},
        {"huffman_class_2", GreyTail(GreyHead().Huffman(2, 0, {1}, {0})), JpegStatus::Corrupt},
        {"huffman_table_4", GreyTail(GreyHead().Huffman(0, 4, {1}, {0})), JpegStatus::Corrupt},
        {"huffman_overfull", GreyTail(GreyHead().Huffman(0, 1, {3}, {0, 1, 2})),
         JpegStatus::Corrupt},
        {"huffman_300_symbols", GreyTail(GreyHead().Segment(0xFFC4, tooManySymbols)),
         JpegStatus::Corrupt},
        {"huffman_symbols_missing", GreyTail(GreyHead().Segment(0xFFC4, {0x00, 4})),
         JpegStatus::Corrupt},
        {"scan_before_frame",
         JpegBuilder()
             .Soi()
             .ZeroTables()
             .Scan({1})
             .Raw({0})
             .Frame(0xFFC0, 8, 8, {{1, 0x11, 0}})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"scan_unknown_component", GreyHead().ZeroTables().Scan({7}).Raw({0}).Eoi().bytes(),
         JpegStatus::Corrupt},
        {"scan_undefined_table",
         GreyHead().ZeroTables().Scan({1}, 0, 63, 0, 0x11).Raw({0}).Eoi().bytes(),
         JpegStatus::Corrupt},
        {"scan_too_many_components", GreyHead().ZeroTables().Scan({1, 1}).Raw({0}).Eoi().bytes(),
         JpegStatus::Corrupt},
        {"segment_length_one", GreyHead().Raw({0xFF, 0xE1, 0x00, 0x01}).bytes(),
         JpegStatus::Corrupt},
        {"restart_segment_short", GreyTail(GreyHead().Segment(0xFFDD, {1})), JpegStatus::Corrupt},
        {"segment_past_end", GreyHead().Raw({0xFF, 0xE1, 0x7F, 0xFF, 1, 2}).bytes(),
         JpegStatus::NoFrame},
        // Damaged entropy data keep the picture (grey where nothing decoded).
        {"undefined_code",
         GreyHead()
             .Huffman(0, 0, {1}, {0})
             .Huffman(1, 0, {1}, {0})
             .Scan({1})
             .Raw({0xFF, 0x00})
             .Eoi()
             .bytes(),
         JpegStatus::Ok},
        {"ac_run_past_63",
         GreyHead()
             .Huffman(0, 0, {1}, {0})
             .Huffman(1, 0, {1}, {0xF0})
             .Scan({1})
             .Raw({0, 0})
             .Eoi()
             .bytes(),
         JpegStatus::Ok},
        {"dc_category_16",
         GreyHead()
             .Huffman(0, 0, {1}, {16})
             .Huffman(1, 0, {1}, {0})
             .Scan({1})
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Ok},
        {"data_cut_in_scan", GreyHead().ZeroTables().Scan({1}).bytes(), JpegStatus::Ok},
        {"progressive_se_64",
         JpegBuilder()
             .Soi()
             .FlatQuant(0, 1)
             .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}})
             .ZeroTables()
             .Scan({1}, 1, 64)
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"progressive_ss_after_se",
         JpegBuilder()
             .Soi()
             .FlatQuant(0, 1)
             .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}})
             .ZeroTables()
             .Scan({1}, 9, 3)
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"progressive_dc_with_ac",
         JpegBuilder()
             .Soi()
             .FlatQuant(0, 1)
             .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}})
             .ZeroTables()
             .Scan({1}, 0, 5)
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"progressive_interleaved_ac",
         JpegBuilder()
             .Soi()
             .FlatQuant(0, 1)
             .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
             .ZeroTables()
             .Scan({1, 2}, 1, 5)
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"progressive_al_14",
         JpegBuilder()
             .Soi()
             .FlatQuant(0, 1)
             .Frame(0xFFC2, 8, 8, {{1, 0x11, 0}})
             .ZeroTables()
             .Scan({1}, 0, 0, 0x0E)
             .Raw({0})
             .Eoi()
             .bytes(),
         JpegStatus::Corrupt},
        {"thousands_of_scans", ManyScans(5000), JpegStatus::Ok},
        {"unknown_marker_after_scan", NumberOfLinesAfterScan(), JpegStatus::Ok},
    };
}

TEST(HostileInput, EachCaseGivesItsResult) {
    for (const HostileCase& c : Cases()) {
        DecodedImage image;
        JpegStatus status =
            DecodeJpegWith(&image, c.stream.data(), c.stream.size(), JpegDecodeOptions());
        EXPECT_EQ(JpegStatusText(c.status), std::string(JpegStatusText(status))) << c.name;
        EXPECT_EQ(status == JpegStatus::Ok, image.pixels != nullptr) << c.name;
        if (image.pixels) {
            EXPECT_EQ(8, image.width) << c.name;
        }
        ReleaseDecodedImage(&image);
        EXPECT_EQ(nullptr, image.pixels);
    }
}

TEST(HostileInput, EveryPrefixOfEveryCaseIsSafe) {
    for (const HostileCase& c : Cases()) {
        size_t step = c.stream.size() > 400 ? 37 : 1;
        for (size_t n = 0; n < c.stream.size(); n += step) {
            DecodedImage image;
            JpegStatus status = DecodeJpegWith(&image, c.stream.data(), n, JpegDecodeOptions());
            EXPECT_EQ(status == JpegStatus::Ok, image.pixels != nullptr)
                << c.name << " cut at " << n;
            ReleaseDecodedImage(&image);
        }
    }
}

TEST(HostileInput, PixelLimitIsTheCallersChoice) {
    Bytes jpeg = GreyBlockJpeg(64, 64);
    JpegDecodeOptions small;
    small.maxPixels = 64 * 64 - 1;
    DecodedImage image;
    EXPECT_EQ(JpegStatus::TooLarge, DecodeJpegWith(&image, jpeg.data(), jpeg.size(), small));
    small.maxPixels = 64 * 64;
    EXPECT_EQ(JpegStatus::Ok, DecodeJpegWith(&image, jpeg.data(), jpeg.size(), small));
    ReleaseDecodedImage(&image);
}

TEST(HostileInput, LargeFrameWithLittleDataIsDecoded) {
    // 4096 x 2048 declared, a handful of data bytes: the scan must give up
    // once it has read far past its data instead of decoding zero bits.
    JpegBuilder b;
    b.Soi().FlatQuant(0, 1).Frame(0xFFC2, 4096, 2048, {{1, 0x11, 0}}).ZeroTables();
    for (int i = 0; i < 40; ++i)
        b.Scan({1}, 1, 63, 0).Raw({0x12, 0x34});
    Bytes stream = b.Eoi().bytes();
    DecodedImage image;
    ASSERT_EQ(JpegStatus::Ok,
              DecodeJpegWith(&image, stream.data(), stream.size(), JpegDecodeOptions()));
    EXPECT_EQ(4096, image.width);
    ReleaseDecodedImage(&image);
}

// The segment reader answers zeros past its end and says so; a piece taken
// longer than what is left holds only what is there.
TEST(HostileInput, SegmentReadsPastTheEndGiveZeros) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0xFF};
    jpeg::SegmentReader r = jpeg::StartSegmentReader(bytes, 3);
    EXPECT_EQ(0x1234u, jpeg::ReadBe16(r));
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(0x5600u, jpeg::ReadBe16(r)); // the fourth byte lies outside
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(0u, jpeg::PeekU8(r));
    EXPECT_EQ(0u, jpeg::BytesLeft(r));

    r = jpeg::StartSegmentReader(bytes, 3);
    jpeg::SkipBytes(r, 1);
    jpeg::SegmentReader piece = jpeg::TakeSegment(r, 5);
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(2u, jpeg::BytesLeft(piece));
    uint8_t out[4] = {9, 9, 9, 9};
    jpeg::ReadBytes(piece, out, 4);
    EXPECT_EQ(0x34, out[0]);
    EXPECT_EQ(0x56, out[1]);
    EXPECT_EQ(0, out[2] | out[3]);
    EXPECT_TRUE(piece.overrun);
    EXPECT_EQ(0u, jpeg::BytesLeft(jpeg::StartSegmentReader(nullptr, 8)));
}

} // namespace
