// wic.spi through its exports: texts, claims, every fixture against
// convert's own decode, file input at offsets, damaged data, the progress
// callback, and COM left as the calling thread had it.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/wic/wic_spi_access_win.h"

namespace {

class WicSpi : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { spi = LoadSpi(Env("FERROW_WIC_SPI")); }
    static void TearDownTestSuite() { UnloadSpi(&spi); }
    void SetUp() override { ASSERT_TRUE(spi.Complete()) << Env("FERROW_WIC_SPI"); }
    static SpiModule spi;
};

SpiModule WicSpi::spi;

TEST_F(WicSpi, PluginInfoNamesOnePairPerFamily) {
    struct {
        int32_t number, length;
        const char* text; // null: buffer untouched
    } cases[] = {
        {0, 64, "00IN"},
        {2, 64, "*.png"},
        {3, 64, "PNG file(*.PNG)"},
        {4, 64, "*.gif"},
        {6, 64, "*.bmp"},
        {8, 64, "*.tif;*.tiff"},
        {9, 64, "TIFF file(*.TIF;*.TIFF)"},
        {10, 64, "*.ico"},
        {12, 64, "*.webp"},
        {13, 64, "WebP file(*.WEBP)"},
        {3, 4, "PNG"},
        {2, 1, ""},
        {14, 64, nullptr},
        {-1, 64, nullptr},
    };
    for (auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        int32_t result = spi.getPluginInfo(c.number, buffer, c.length);
        if (c.text) {
            EXPECT_STREQ(c.text, buffer) << c.number;
            EXPECT_EQ(int32_t(std::strlen(c.text)), result) << c.number;
        } else {
            EXPECT_EQ(0, result) << c.number;
            EXPECT_EQ('x', buffer[0]) << c.number;
        }
    }
    // Every pattern from 2 on is followed by its description.
    for (int32_t n = 2; n < 14; n += 2) {
        char pattern[64], description[64];
        ASSERT_GT(spi.getPluginInfo(n, pattern, sizeof pattern), 0) << n;
        ASSERT_GT(spi.getPluginInfo(n + 1, description, sizeof description), 0) << n;
        EXPECT_EQ('*', pattern[0]) << n;
        EXPECT_NE(nullptr, std::strstr(description, "file(")) << n;
    }
}

// Claims by the first bytes, never by name: a PNG named .jpg is claimed, a
// JPEG named .png is not.
TEST_F(WicSpi, ClaimsBySignatureFromMemoryAndFileHandle) {
    const Fixture png = FixtureNamed("png_rgb.png");
    const Bytes jpeg = ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.jpg");
    ASSERT_FALSE(png.data.empty());
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(1, ClaimsMemory(spi, png.data));
    EXPECT_EQ(0, ClaimsMemory(spi, jpeg));
    for (const Fixture& f : ReadFixtures())
        EXPECT_EQ(1, ClaimsMemory(spi, f.data)) << f.file;

    struct {
        const char* name;
        Bytes bytes;
        int32_t result;
    } files[] = {
        {"picture.jpg", png.data, 1},
        {"photo.png", jpeg, 0},
        {"short.png", Bytes(png.data.begin(), png.data.begin() + 5), 0},
        {"empty.gif", {}, 0},
    };
    for (auto& f : files) {
        std::string path = TempFile(f.name, f.bytes);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ASSERT_LT(reinterpret_cast<SpiSource>(file), kSpiHandleLimit);
        EXPECT_EQ(f.result, spi.isSupported(path.c_str(), reinterpret_cast<SpiSource>(file)))
            << f.name;
        CloseHandle(file);
        DeleteFileA(path.c_str());
    }
}

// Each picture convert made, decoded from memory, equals convert's own
// decode of its first frame pixel for pixel, transparent ones composed over
// white; the picture information agrees with the bitmap.
TEST_F(WicSpi, EveryFixtureDecodesLikeConvert) {
    const std::vector<Fixture> fixtures = ReadFixtures();
    ASSERT_GE(fixtures.size(), 20u) << "fixtures in " << Env("FERROW_WIC_FIXTURES");
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.file);
        Bitmap b = DecodeMemory(spi, f.data);
        if (b.result != kSpiSuccess || b.header.size() != 40) {
            ADD_FAILURE() << "result " << b.result << ", header of " << b.header.size() << " bytes";
            continue;
        }
        EXPECT_EQ(f.bits, b.BitCount());
        EXPECT_EQ(1, b.header[12]);                               // planes
        EXPECT_EQ(0, b.header[16] | b.header[17] | b.header[18]); // uncompressed
        EXPECT_GE(b.pixels.size(), b.Stride() * size_t(f.height));
        EXPECT_EQ("", FirstDifference(b, f));
        if (b.BitCount() == 32) {
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x)
                    ASSERT_EQ(255, b.At(x, y)[3]) << x << "," << y;
        }

        PictureInfo info;
        std::memset(&info, 0x77, sizeof info);
        ASSERT_EQ(kSpiSuccess, spi.getPictureInfo(reinterpret_cast<const char*>(f.data.data()),
                                                  SpiLength(f.data.size()), 1, &info));
        EXPECT_EQ(0, info.left);
        EXPECT_EQ(0, info.top);
        EXPECT_EQ(f.width, info.width);
        EXPECT_EQ(f.height, info.height);
        EXPECT_EQ(f.bits, info.bitsPerPixel);
        EXPECT_EQ(nullptr, info.commentHandle);
    }
}

// WebP is decoded where the system has a WebP codec (Windows 10 and later
// with the extension), and refused cleanly where it has none (Wine).
TEST_F(WicSpi, WebPDecodesOrIsRefusedCleanly) {
    Fixture f;
    f.file = "photo.webp";
    f.data = ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.webp");
    f.rgba = ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.webp.rgba");
    f.width = 61;
    f.height = 43;
    ASSERT_FALSE(f.data.empty());
    EXPECT_EQ(1, ClaimsMemory(spi, f.data));
    Bitmap b = DecodeMemory(spi, f.data);
    PictureInfo info;
    const int32_t infoResult = spi.getPictureInfo(reinterpret_cast<const char*>(f.data.data()),
                                                  SpiLength(f.data.size()), 1, &info);
    if (b.result == kSpiSuccess) {
        EXPECT_EQ("", FirstDifference(b, f));
        EXPECT_EQ(kSpiSuccess, infoResult);
    } else {
        EXPECT_EQ(kSpiNotSupported, b.result);
        EXPECT_FALSE(b.handedOver);
        EXPECT_EQ(kSpiNotSupported, infoResult);
    }
}

// The file forms: the picture at the start of its file, and the same
// picture behind 300 other bytes with the offset given.
TEST_F(WicSpi, FileInputAtOffsets) {
    for (const char* name : {"png_palette_alpha.png", "gif_animated.gif", "tif_rgb.tif"}) {
        SCOPED_TRACE(name);
        const Fixture f = FixtureNamed(name);
        ASSERT_FALSE(f.data.empty());
        Bytes shifted(300, 0x5A);
        shifted.insert(shifted.end(), f.data.begin(), f.data.end());
        const std::string bare = TempFile(std::string("bare-") + name, f.data);
        const std::string behind = TempFile(std::string("at300-") + name, shifted);

        Bitmap fromMemory = DecodeMemory(spi, f.data);
        Bitmap fromFile = DecodeFile(spi, bare, 0);
        Bitmap fromOffset = DecodeFile(spi, behind, 300);
        ASSERT_EQ(kSpiSuccess, fromMemory.result);
        EXPECT_EQ(kSpiSuccess, fromFile.result);
        EXPECT_EQ(kSpiSuccess, fromOffset.result);
        EXPECT_EQ(fromMemory.header, fromFile.header);
        EXPECT_EQ(fromMemory.pixels, fromFile.pixels);
        EXPECT_EQ(fromMemory.header, fromOffset.header);
        EXPECT_EQ(fromMemory.pixels, fromOffset.pixels);
        EXPECT_EQ("", FirstDifference(fromOffset, f));

        PictureInfo info;
        EXPECT_EQ(kSpiSuccess, spi.getPictureInfo(behind.c_str(), 300, 0, &info));
        EXPECT_EQ(f.width, info.width);
        // One byte off: the data no longer begin with the signature.
        EXPECT_EQ(kSpiNotSupported, DecodeFile(spi, behind, 299).result);
        EXPECT_EQ(kSpiNotSupported, spi.getPictureInfo(behind.c_str(), 0, 0, &info));
        EXPECT_EQ(kSpiFileError, DecodeFile(spi, behind, SpiLength(shifted.size() + 1)).result);
        EXPECT_EQ(kSpiFileError, DecodeFile(spi, behind, -1).result);
        DeleteFileA(bare.c_str());
        DeleteFileA(behind.c_str());
    }
    EXPECT_EQ(kSpiFileError, DecodeFile(spi, "Z:\\no\\such\\picture.png", 0).result);
    PictureInfo info;
    EXPECT_EQ(kSpiFileError, spi.getPictureInfo("Z:\\no\\such\\picture.png", 0, 0, &info));
}

Bytes Cut(const Bytes& data, size_t length) {
    return Bytes(data.begin(), data.begin() + length);
}

Bytes Changed(Bytes data, size_t at, uint8_t value) {
    data[at] = value;
    return data;
}

Bytes Le32Bytes(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// A 24-bit BMP header of the given size with no pixel data after it.
Bytes BmpHeaderOnly(uint32_t width, uint32_t height) {
    Bytes b = {'B', 'M'};
    auto add = [&b](const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); };
    add(Le32Bytes(54));
    add(Le32Bytes(0));
    add(Le32Bytes(54));
    add(Le32Bytes(40));
    add(Le32Bytes(width));
    add(Le32Bytes(height));
    add({1, 0, 24, 0});
    for (int i = 0; i < 6; ++i)
        add(Le32Bytes(0));
    return b;
}

// Cut and damaged pictures, and pictures that are not claimed: an error
// code, no blocks.
TEST_F(WicSpi, DamagedAndForeignDataAreErrors) {
    const Bytes png = FixtureNamed("png_rgb.png").data;
    const Bytes gif = FixtureNamed("gif_still.gif").data;
    const Bytes bmp = FixtureNamed("bmp_24.bmp").data;
    const Bytes tif = FixtureNamed("tif_rgb.tif").data;
    const Bytes jpeg = ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.jpg");
    ASSERT_TRUE(!png.empty() && !gif.empty() && !bmp.empty() && !tif.empty() && !jpeg.empty());
    // The first IDAT chunk's data start 8 bytes after its length field.
    const size_t idat =
        size_t(std::search(png.begin(), png.end(), "IDAT", "IDAT" + 4) - png.begin());
    ASSERT_LT(idat, png.size());
    struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"png_signature_only", Cut(png, 8)},
        {"png_cut_in_header", Cut(png, 20)},
        {"png_cut_in_half", Cut(png, png.size() / 2)},
        {"png_bit_depth_3", Changed(png, 24, 3)},
        {"png_width_zero", Changed(Changed(Changed(Changed(png, 16, 0), 17, 0), 18, 0), 19, 0)},
        {"png_compressed_data", Changed(Changed(png, idat + 6, 0xFF), idat + 7, 0xFF)},
        {"gif_header_only", Cut(gif, 13)},
        {"gif_cut_in_half", Cut(gif, gif.size() / 2)},
        {"bmp_cut_in_half", Cut(bmp, bmp.size() / 2)},
        {"bmp_bit_count_7", Changed(bmp, 28, 7)},
        {"tif_cut_in_header", Cut(tif, 8)},
        {"bmp_over_64_mpixel", BmpHeaderOnly(9000, 8000)},
        {"jpeg", jpeg},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap b = DecodeMemory(spi, c.bytes);
        EXPECT_EQ(kSpiNotSupported, b.result);
        EXPECT_FALSE(b.handedOver);
        if (!c.bytes.empty()) {
            std::string path = TempFile(c.name, c.bytes);
            EXPECT_EQ(kSpiNotSupported, DecodeFile(spi, path, 0).result);
            DeleteFileA(path.c_str());
        }
    }
    // The picture information of an oversized picture is still its size.
    const Bytes huge = BmpHeaderOnly(9000, 8000);
    PictureInfo info;
    ASSERT_EQ(kSpiSuccess, spi.getPictureInfo(reinterpret_cast<const char*>(huge.data()),
                                              SpiLength(huge.size()), 1, &info));
    EXPECT_EQ(9000, info.width);
    EXPECT_EQ(8000, info.height);

    SpiHandle header = nullptr, pixels = nullptr;
    EXPECT_EQ(kSpiNotSupported, spi.getPicture(nullptr, 10, 1, &header, &pixels, nullptr, 0));
    EXPECT_EQ(kSpiNotSupported, spi.getPicture(reinterpret_cast<const char*>(png.data()), 0, 1,
                                               &header, &pixels, nullptr, 0));
    EXPECT_EQ(kSpiNotSupported,
              spi.getPicture(reinterpret_cast<const char*>(png.data()), SpiLength(png.size()), 1,
                             nullptr, &pixels, nullptr, 0));
    EXPECT_EQ(nullptr, header);
    EXPECT_EQ(nullptr, pixels);
    EXPECT_EQ(kSpiNotSupported, spi.getPictureInfo(reinterpret_cast<const char*>(png.data()),
                                                   SpiLength(png.size()), 1, nullptr));
    EXPECT_EQ(kSpiNotImplemented,
              spi.getPreview(reinterpret_cast<const char*>(png.data()), SpiLength(png.size()), 1,
                             &header, &pixels, nullptr, 0));
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

TEST_F(WicSpi, ProgressCallbackCanStopTheDecode) {
    const Bytes png = FixtureNamed("png_alpha.png").data;
    const char* data = reinterpret_cast<const char*>(png.data());
    SpiHandle sentinel = reinterpret_cast<SpiHandle>(uintptr_t(0x1234));

    ProgressLog stopEarly{{}, 5};
    SpiHandle header = sentinel, pixels = sentinel;
    EXPECT_EQ(kSpiAborted,
              spi.getPicture(data, SpiLength(png.size()), 1, &header, &pixels, RecordProgress,
                             reinterpret_cast<SpiCallerData>(&stopEarly)));
    EXPECT_EQ(sentinel, header); // nothing allocated, nothing written
    EXPECT_EQ(sentinel, pixels);
    ASSERT_EQ(1u, stopEarly.calls.size());
    EXPECT_EQ(std::make_pair(5, 10), stopEarly.calls[0]);

    ProgressLog stopLate{{}, 1};
    Bitmap late =
        DecodeMemory(spi, png, RecordProgress, reinterpret_cast<SpiCallerData>(&stopLate));
    EXPECT_EQ(kSpiAborted, late.result);
    EXPECT_TRUE(late.handedOver); // handed over before the last call
    ASSERT_EQ(2u, stopLate.calls.size());
    EXPECT_EQ(std::make_pair(1, 1), stopLate.calls[1]);

    ProgressLog never{{}, -1};
    EXPECT_EQ(
        kSpiSuccess,
        DecodeMemory(spi, png, RecordProgress, reinterpret_cast<SpiCallerData>(&never)).result);
}

// Whether COM is initialised on this thread, without changing that.
bool ComInitialised() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    // S_FALSE: already initialised as multithreaded; RPC_E_CHANGED_MODE:
    // initialised as single-threaded.
    return hr == S_FALSE || hr == RPC_E_CHANGED_MODE;
}

// COM belongs to the calling thread: a thread without it has none after the
// call, and a single-threaded apartment stays one and stays usable.
TEST_F(WicSpi, ComIsTheCallingThreadsAsItWas) {
    const Fixture f = FixtureNamed("gif_transparent.gif");
    std::string bare, inApartment;
    bool comAfterBare = true, comAfterApartment = false;
    std::thread([&] {
        bare = FirstDifference(DecodeMemory(spi, f.data), f);
        comAfterBare = ComInitialised();
    }).join();
    std::thread([&] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        inApartment = FirstDifference(DecodeMemory(spi, f.data), f);
        inApartment += FirstDifference(DecodeMemory(spi, f.data), f);
        // Still single-threaded: asking for multithreaded is refused.
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        comAfterApartment = hr == RPC_E_CHANGED_MODE;
        CoUninitialize();
    }).join();
    EXPECT_EQ("", bare);
    EXPECT_FALSE(comAfterBare);
    EXPECT_EQ("", inApartment);
    EXPECT_TRUE(comAfterApartment);
}

// No state shared between calls: four threads decoding different pictures
// at once each get their own picture right.
TEST_F(WicSpi, DecodesOnSeveralThreadsAtOnce) {
    const char* names[] = {"png_interlaced_alpha.png", "gif_animated.gif", "bmp_rle8.bmp",
                           "tif_alpha.tif"};
    std::string results[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const Fixture f = FixtureNamed(names[t]);
            for (int round = 0; round < 5 && results[t].empty(); ++round)
                results[t] =
                    f.data.empty() ? "missing" : FirstDifference(DecodeMemory(spi, f.data), f);
        });
    for (std::thread& t : threads)
        t.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ("", results[t]) << names[t];
}

} // namespace
