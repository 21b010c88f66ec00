// jpeg.spi as a host sees it: loaded with LoadLibrary from FERROW_JPEG_SPI
// and called only through its exports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "spi/spi_interface.h"
#include "tests/jpeg/jpeg_builder.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string TempFile(const char* name, const Bytes& bytes) {
    char base[MAX_PATH + 1];
    GetTempPathA(MAX_PATH, base);
    std::string path = std::string(base) + "ferrow-spi-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

class JpegSpi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryA(Env("FERROW_JPEG_SPI").c_str());
        ASSERT_NE(nullptr, module) << Env("FERROW_JPEG_SPI");
        getPluginInfo = Proc<SpiGetPluginInfo>("GetPluginInfo");
        isSupported = Proc<SpiIsSupported>("IsSupported");
        getPictureInfo = Proc<SpiGetPictureInfo>("GetPictureInfo");
        getPicture = Proc<SpiGetPicture>("GetPicture");
        getPreview = Proc<SpiGetPicture>("GetPreview");
    }
    static void TearDownTestSuite() {
        if (module) FreeLibrary(module);
    }
    template <typename T>
    static T Proc(const char* name) {
        return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    void SetUp() override {
        ASSERT_TRUE(getPluginInfo && isSupported && getPictureInfo && getPicture && getPreview);
    }

    static HMODULE module;
    static SpiGetPluginInfo getPluginInfo;
    static SpiIsSupported isSupported;
    static SpiGetPictureInfo getPictureInfo;
    static SpiGetPicture getPicture, getPreview;
};

HMODULE JpegSpi::module;
SpiGetPluginInfo JpegSpi::getPluginInfo;
SpiIsSupported JpegSpi::isSupported;
SpiGetPictureInfo JpegSpi::getPictureInfo;
SpiGetPicture JpegSpi::getPicture, JpegSpi::getPreview;

// The two blocks of a decoded picture, copied out and released.
struct Bitmap {
    int32_t result = -99;
    Bytes header, pixels;
    SIZE_T pixelBlockSize = 0;
};

// Takes the blocks after the call has filled them (the arguments of one call
// are evaluated in no fixed order, so the handles are read here).
Bitmap Take(int32_t result, SpiHandle* headerIn, SpiHandle* pixelsIn) {
    SpiHandle header = *headerIn, pixels = *pixelsIn;
    *headerIn = *pixelsIn = nullptr;
    Bitmap b;
    b.result = result;
    if (header) {
        auto* p = static_cast<const uint8_t*>(LocalLock(header));
        b.header.assign(p, p + LocalSize(header));
        LocalUnlock(header);
        LocalFree(header);
    }
    if (pixels) {
        b.pixelBlockSize = LocalSize(pixels);
        auto* p = static_cast<const uint8_t*>(LocalLock(pixels));
        b.pixels.assign(p, p + b.pixelBlockSize);
        LocalUnlock(pixels);
        LocalFree(pixels);
    }
    return b;
}

int32_t Le32(const Bytes& b, size_t at) { return int32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); }

TEST_F(JpegSpi, PluginInfoTexts) {
    struct {
        int32_t number, length;
        const char* text;  // null: buffer untouched
        int32_t result;
    } cases[] = {{0, 64, "00IN", 4},  {1, 64, "JPEG", 4},  {2, 64, "*.jpg", 5},  {3, 64, "JPEG file(*.JPG)", 16},
                 {3, 5, "JPEG", 4},   {2, 1, "", 0},       {4, 64, nullptr, 0},  {-1, 64, nullptr, 0}};
    for (auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c.result, getPluginInfo(c.number, buffer, c.length)) << c.number << "/" << c.length;
        if (c.text) {
            EXPECT_STREQ(c.text, buffer);
        } else {
            EXPECT_EQ('x', buffer[0]);
        }
    }
}

TEST_F(JpegSpi, IsSupportedFromMemoryAndFileHandle) {
    const uint8_t jpegHead[] = {0xFF, 0xD8, 0xFF, 0xE0};
    const char gifHead[] = "GIF89a";
    EXPECT_EQ(1, isSupported("dummy", reinterpret_cast<SpiSource>(jpegHead)));
    EXPECT_EQ(0, isSupported("dummy", reinterpret_cast<SpiSource>(gifHead)));

    struct {
        const char* name;
        Bytes bytes;
        int32_t result;
    } files[] = {{"head.jpg", GreyBlockJpeg(), 1}, {"head.gif", {'G', 'I', 'F', '8', '9', 'a'}, 0},
                 {"one.bin", {0xFF}, 0}, {"empty.bin", {}, 0}};
    for (auto& f : files) {
        std::string path = TempFile(f.name, f.bytes);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ASSERT_LT(reinterpret_cast<SpiSource>(file), kSpiHandleLimit);
        EXPECT_EQ(f.result, isSupported(path.c_str(), reinterpret_cast<SpiSource>(file))) << f.name;
        CloseHandle(file);
        DeleteFileA(path.c_str());
    }
}

TEST_F(JpegSpi, PictureInfo) {
    Bytes app0 = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    Bytes baseline = JpegBuilder().Soi().Segment(0xFFE0, app0).Frame(0xFFC0, 300, 200, {{1, 0x11, 0}}).Eoi().bytes();
    Bytes progressive = JpegBuilder().Soi().Frame(0xFFC2, 300, 200, {{1, 0x11, 0}}).Eoi().bytes();
    Bytes at128(128, 0x55);
    at128.insert(at128.end(), baseline.begin(), baseline.end());

    PictureInfo info;
    std::memset(&info, 0x77, sizeof info);
    ASSERT_EQ(kSpiSuccess, getPictureInfo(reinterpret_cast<const char*>(baseline.data()), SpiLength(baseline.size()), 1, &info));
    EXPECT_EQ(0, info.left);
    EXPECT_EQ(0, info.top);
    EXPECT_EQ(300, info.width);
    EXPECT_EQ(200, info.height);
    EXPECT_EQ(0, info.xDensity);
    EXPECT_EQ(24, info.bitsPerPixel);
    EXPECT_EQ(nullptr, info.commentHandle);

    struct {
        const char* name;
        Bytes bytes;
        SpiLength offset;
        int32_t result;
    } cases[] = {
        {"baseline", baseline, 0, kSpiSuccess},
        {"progressive", progressive, 0, kSpiNoFrame},
        {"offset_128", at128, 128, kSpiSuccess},
        {"offset_past_end", baseline, 100000, kSpiFileError},
        {"empty", {}, 0, kSpiNoFrame},
        {"one_byte", {0xFF}, 0, kSpiNoFrame},
        {"cut_frame", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08}, 0, kSpiNoFrame},
    };
    for (auto& c : cases) {
        // From memory (the offset does not apply there) and from a file.
        if (c.offset == 0) {
            EXPECT_EQ(c.result, getPictureInfo(reinterpret_cast<const char*>(c.bytes.data()), SpiLength(c.bytes.size()),
                                               1, &info)) << c.name << " in memory";
        }
        std::string path = TempFile(c.name, c.bytes);
        EXPECT_EQ(c.result, getPictureInfo(path.c_str(), c.offset, 0, &info)) << c.name << " from a file";
        if (c.result == kSpiSuccess) {
            EXPECT_EQ(300, info.width) << c.name;
        }
        DeleteFileA(path.c_str());
    }
    EXPECT_EQ(kSpiFileError, getPictureInfo("Z:\\no\\such\\file.jpg", 0, 0, &info));
}

TEST_F(JpegSpi, ThreeByTwoPictureBlocks) {
    Bytes jpeg = GreyBlockJpeg(3, 2);
    SpiHandle header = nullptr, pixels = nullptr;
    Bitmap b = Take(getPicture(reinterpret_cast<const char*>(jpeg.data()), SpiLength(jpeg.size()), 1, &header, &pixels,
                               nullptr, 0), &header, &pixels);
    ASSERT_EQ(kSpiSuccess, b.result);
    ASSERT_EQ(40u, b.header.size());
    EXPECT_EQ(40, Le32(b.header, 0));
    EXPECT_EQ(3, Le32(b.header, 4));
    EXPECT_EQ(2, Le32(b.header, 8));
    EXPECT_EQ(24, b.header[14]);
    EXPECT_EQ(0, Le32(b.header, 16));  // uncompressed
    EXPECT_EQ(36u, b.pixelBlockSize);
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < 9; ++i) EXPECT_EQ(128, b.pixels[size_t(row) * 12 + i]) << row << "/" << i;
}

struct ProgressLog {
    std::vector<std::pair<int32_t, int32_t>> calls;
    int32_t stopAt;
};

int32_t SPI_API RecordProgress(int32_t numerator, int32_t denominator, SpiCallerData data) {
    auto* log = reinterpret_cast<ProgressLog*>(data);
    log->calls.emplace_back(numerator, denominator);
    return numerator == log->stopAt ? 1 : 0;
}

TEST_F(JpegSpi, ProgressCallback) {
    Bytes jpeg = GreyBlockJpeg(16, 16);
    const char* data = reinterpret_cast<const char*>(jpeg.data());
    SpiHandle sentinel = reinterpret_cast<SpiHandle>(uintptr_t(0x1234));

    ProgressLog stopEarly{{}, 5};
    SpiHandle header = sentinel, pixels = sentinel;
    EXPECT_EQ(kSpiAborted, getPicture(data, SpiLength(jpeg.size()), 1, &header, &pixels, RecordProgress,
                                      reinterpret_cast<SpiCallerData>(&stopEarly)));
    EXPECT_EQ(sentinel, header);  // nothing allocated, nothing written
    EXPECT_EQ(sentinel, pixels);
    ASSERT_EQ(1u, stopEarly.calls.size());
    EXPECT_EQ(std::make_pair(5, 10), stopEarly.calls[0]);

    ProgressLog stopLate{{}, 1};
    Bitmap b = Take(getPicture(data, SpiLength(jpeg.size()), 1, &header, &pixels, RecordProgress,
                               reinterpret_cast<SpiCallerData>(&stopLate)), &header, &pixels);
    EXPECT_EQ(kSpiAborted, b.result);
    EXPECT_EQ(40u, b.header.size());  // handed over before the last call
    ASSERT_EQ(2u, stopLate.calls.size());
    EXPECT_EQ(std::make_pair(1, 1), stopLate.calls[1]);

    ProgressLog never{{}, -1};
    b = Take(getPicture(data, SpiLength(jpeg.size()), 1, &header, &pixels, RecordProgress,
                        reinterpret_cast<SpiCallerData>(&never)), &header, &pixels);
    EXPECT_EQ(kSpiSuccess, b.result);
}

TEST_F(JpegSpi, FailuresAreReturnCodes) {
    SpiHandle header = nullptr, pixels = nullptr;
    const char gif[] = "GIF89a";
    EXPECT_EQ(kSpiNotSupported, getPicture(gif, 6, 1, &header, &pixels, nullptr, 0));
    EXPECT_EQ(kSpiNotSupported, getPicture(gif, 0, 1, &header, &pixels, nullptr, 0));
    EXPECT_EQ(kSpiFileError, getPicture("Z:\\no\\such\\file.jpg", 0, 0, &header, &pixels, nullptr, 0));
    std::string empty = TempFile("empty.jpg", {});
    EXPECT_EQ(kSpiNotSupported, getPicture(empty.c_str(), 0, 0, &header, &pixels, nullptr, 0));
    EXPECT_EQ(kSpiFileError, getPicture(empty.c_str(), 5, 0, &header, &pixels, nullptr, 0));
    DeleteFileA(empty.c_str());
    EXPECT_EQ(nullptr, header);
    EXPECT_EQ(nullptr, pixels);
    EXPECT_EQ(kSpiNotImplemented, getPreview(gif, 6, 1, &header, &pixels, nullptr, 0));
}

// A picture made by cjpeg, from memory, from its file and from offset 128 of
// another file: the same bitmap, equal to the decoder's own output and within
// one level of djpeg's decode.
TEST_F(JpegSpi, CjpegPictureMatchesDecoderAndReference) {
    const std::string base = Env("FERROW_JPEG_FIXTURES") + "/b420";
    Bytes jpeg = ReadBytes(base + ".jpg");
    ASSERT_FALSE(jpeg.empty()) << base;
    SpiHandle header = nullptr, pixels = nullptr;
    Bitmap fromMemory = Take(getPicture(reinterpret_cast<const char*>(jpeg.data()), SpiLength(jpeg.size()), 1, &header,
                                        &pixels, nullptr, 0), &header, &pixels);
    ASSERT_EQ(kSpiSuccess, fromMemory.result);

    std::string bare = TempFile("bare.jpg", jpeg);
    Bytes shifted(128, 0xAA);
    shifted.insert(shifted.end(), jpeg.begin(), jpeg.end());
    std::string at128 = TempFile("at128.jpg", shifted);
    Bitmap fromFile = Take(getPicture(bare.c_str(), 0, 0, &header, &pixels, nullptr, 0), &header, &pixels);
    Bitmap fromOffset = Take(getPicture(at128.c_str(), 128, 0, &header, &pixels, nullptr, 0), &header, &pixels);
    DeleteFileA(bare.c_str());
    DeleteFileA(at128.c_str());
    EXPECT_EQ(fromMemory.header, fromFile.header);
    EXPECT_EQ(fromMemory.pixels, fromFile.pixels);
    EXPECT_EQ(fromMemory.header, fromOffset.header);
    EXPECT_EQ(fromMemory.pixels, fromOffset.pixels);

    DecodedImage image;
    ASSERT_EQ(1, DecodeJpeg(&image, jpeg.data(), jpeg.size()));
    Bytes ownHeader(40), ownPixels(BitmapPixelBlockSize(image.width, image.height));
    PackBitmap(image, ownHeader.data(), ownPixels.data());
    EXPECT_EQ(ownHeader, fromMemory.header);
    const size_t stride = size_t(image.width) * 3 + size_t(BitmapRowPadding(image.width));
    for (int y = 0; y < image.height; ++y)
        ASSERT_EQ(0, std::memcmp(&ownPixels[y * stride], &fromMemory.pixels[y * stride], size_t(image.width) * 3)) << y;

    // djpeg's reference (binary PPM): bottom-up BGR against top-down RGB.
    Bytes ppm = ReadBytes(base + ".pnm");
    std::istringstream head(std::string(ppm.begin(), ppm.begin() + 20));
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    head >> magic >> w >> h >> maxval;
    ASSERT_EQ("P6", magic);
    ASSERT_EQ(image.width, w);
    size_t offset = size_t(head.tellg()) + 1;
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                int ref = ppm[offset + (size_t(y) * w + x) * 3 + c];
                int got = fromMemory.pixels[size_t(h - 1 - y) * stride + size_t(x) * 3 + (2 - c)];
                worst = std::max(worst, std::abs(ref - got));
            }
    EXPECT_LE(worst, 1);
    ReleaseDecodedImage(&image);
}

}  // namespace
