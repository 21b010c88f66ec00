// Our decoder against libjpeg-turbo's djpeg (accurate integer transform,
// replicating upsampling) over pictures made by cjpeg in many configurations.
// The fixtures come from tools/jpeg-fixtures.sh; the folder is named by the
// environment variable FERROW_JPEG_FIXTURES.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jpeg/jpeg_decoder.h"

namespace {

std::string FixtureFolder() {
    const char* folder = std::getenv("FERROW_JPEG_FIXTURES");
    return folder ? folder : "";
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Binary PGM or PPM with maxval 255.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> samples;
};

bool ReadPnm(const std::string& path, Pnm* out) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
    std::istringstream in(head);
    std::string magic;
    int maxval = 0;
    in >> magic >> out->width >> out->height >> maxval;
    if ((magic != "P5" && magic != "P6") || maxval != 255) return false;
    out->channels = magic == "P6" ? 3 : 1;
    size_t offset = size_t(in.tellg()) + 1;
    size_t size = size_t(out->width) * size_t(out->height) * size_t(out->channels);
    if (bytes.size() < offset + size) return false;
    out->samples.assign(bytes.begin() + long(offset), bytes.begin() + long(offset + size));
    return true;
}

double Psnr(double squaredErrorSum, size_t count) {
    if (squaredErrorSum == 0) return 99.0;
    double mse = squaredErrorSum / double(count);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, MatchesReferenceDecoder) {
    const std::string base = FixtureFolder() + "/" + GetParam();
    std::vector<uint8_t> jpeg = ReadBytes(base + ".jpg");
    ASSERT_FALSE(jpeg.empty()) << base;
    Pnm reference;
    ASSERT_TRUE(ReadPnm(base + ".pnm", &reference)) << base;

    DecodedImage image;
    ASSERT_EQ(JpegStatus::Ok,
              DecodeJpegWith(&image, jpeg.data(), jpeg.size(), JpegDecodeOptions()));
    ASSERT_EQ(reference.width, image.width);
    ASSERT_EQ(reference.height, image.height);
    EXPECT_EQ(image.width * image.height, image.pixelCount);
    EXPECT_EQ(0, image.paletteCount);

    double squared[3] = {};
    int worst = 0;
    const size_t pixels = size_t(image.pixelCount);
    for (size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            int ref = reference.samples[i * size_t(reference.channels) +
                                        (reference.channels == 3 ? size_t(c) : 0)];
            int diff = int(image.pixels[i * 3 + size_t(c)]) - ref;
            squared[c] += double(diff) * diff;
            worst = std::max(worst, std::abs(diff));
        }
    }
    for (int c = 0; c < 3; ++c)
        EXPECT_GE(Psnr(squared[c], pixels), 40.0) << "channel " << c;
    // The transform and colour conversion follow the reference's integer
    // arithmetic, so the pictures agree sample for sample.
    EXPECT_EQ(worst, 0) << GetParam();
    ReleaseDecodedImage(&image);
}

// The SSE2 and AVX2 forms of the transform and the colour conversion
// against the portable code: the same picture, byte for byte. (A path the
// processor lacks falls back to a narrower one.)
TEST_P(Conformance, EveryCodePathAgrees) {
    std::vector<uint8_t> jpeg = ReadBytes(FixtureFolder() + "/" + GetParam() + ".jpg");
    ASSERT_FALSE(jpeg.empty());
    JpegDecodeOptions portable;
    portable.widest = JpegCodePath::Portable;
    DecodedImage a;
    ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&a, jpeg.data(), jpeg.size(), portable));
    for (JpegCodePath path : {JpegCodePath::Sse2, JpegCodePath::Avx2}) {
        JpegDecodeOptions options;
        options.widest = path;
        DecodedImage b;
        ASSERT_EQ(JpegStatus::Ok, DecodeJpegWith(&b, jpeg.data(), jpeg.size(), options));
        ASSERT_EQ(a.pixelCount, b.pixelCount);
        EXPECT_EQ(0, std::memcmp(a.pixels, b.pixels, size_t(a.pixelCount) * 3))
            << GetParam() << " path " << int(path);
        ReleaseDecodedImage(&b);
    }
    ReleaseDecodedImage(&a);
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    std::ifstream manifest(FixtureFolder() + "/manifest.txt");
    for (std::string name; manifest >> name;)
        names.push_back(name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Cjpeg, Conformance, ::testing::ValuesIn(FixtureNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

TEST(ConformanceFixtures, AreAllPresent) {
    // Every configuration the fixture script makes must reach the test.
    EXPECT_GE(FixtureNames().size(), 28u) << "fixtures in '" << FixtureFolder() << "'";
}

// Decodes keep all their state to themselves: pictures decoded on several
// threads at once equal the same pictures decoded one after the other.
TEST(ConformanceThreads, ConcurrentDecodesAgree) {
    const char* names[] = {"large", "largeprog", "b411", "progsa"};
    std::vector<std::vector<uint8_t>> files, alone(4), together(4);
    for (const char* name : names)
        files.push_back(ReadBytes(FixtureFolder() + "/" + name + ".jpg"));
    auto decode = [&files](size_t i, std::vector<uint8_t>* out) {
        for (int round = 0; round < 3; ++round) {
            DecodedImage image;
            if (DecodeJpeg(&image, files[i].data(), files[i].size()))
                out->assign(image.pixels, image.pixels + size_t(image.pixelCount) * 3);
            ReleaseDecodedImage(&image);
        }
    };
    for (size_t i = 0; i < 4; ++i)
        decode(i, &alone[i]);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < 4; ++i)
        threads.emplace_back(decode, i, &together[i]);
    for (std::thread& t : threads)
        t.join();
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_FALSE(alone[i].empty()) << names[i];
        EXPECT_TRUE(alone[i] == together[i]) << names[i];
    }
}

// Truncating a real stream anywhere, or damaging any of its bytes, must never
// crash or read outside the data; short-enough cuts still give the picture.
TEST(ConformanceDamage, TruncatedAndFlippedStreamsAreSafe) {
    for (const char* name : {"b420", "progsa", "restart1"}) {
        std::vector<uint8_t> jpeg = ReadBytes(FixtureFolder() + "/" + name + ".jpg");
        ASSERT_FALSE(jpeg.empty());
        for (size_t cut = 0; cut < jpeg.size(); cut += 7) {
            std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + long(cut));
            DecodedImage image;
            JpegStatus status =
                DecodeJpegWith(&image, part.data(), part.size(), JpegDecodeOptions());
            EXPECT_EQ(status == JpegStatus::Ok, image.pixels != nullptr);
            ReleaseDecodedImage(&image);
        }
        for (size_t at = 0; at < jpeg.size(); at += 3) {
            std::vector<uint8_t> bad = jpeg;
            bad[at] ^= uint8_t(0x5A + at);
            DecodedImage image;
            JpegStatus status = DecodeJpegWith(&image, bad.data(), bad.size(), JpegDecodeOptions());
            EXPECT_EQ(status == JpegStatus::Ok, image.pixels != nullptr);
            ReleaseDecodedImage(&image);
        }
    }
}

} // namespace
