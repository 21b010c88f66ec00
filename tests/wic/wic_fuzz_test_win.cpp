// Mutated PNG and GIF pictures through wic.spi's exports for a bounded
// count (FERROW_WIC_FUZZ_COUNT, default 400 per seed picture): every call
// returns, and every picture handed out is one the host can read.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/wic/wic_spi_access_win.h"
#include "viewer/plugin_host_win.h"

namespace {

// A small deterministic generator: the same count gives the same inputs.
struct Random {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    size_t Below(size_t n) { return n ? Next() % n : 0; }
};

// One to four changes of the kinds that reach past the signature: bit
// flips, bytes set to boundary values, a cut, a stretch copied elsewhere.
Bytes Mutate(const Bytes& seed, Random* r) {
    Bytes b = seed;
    const uint8_t boundary[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    const int changes = 1 + int(r->Below(4));
    for (int i = 0; i < changes && b.size() > 8; ++i) {
        // Past the signature most of the time, so the decoders get to work.
        const size_t at = 8 + r->Below(b.size() - 8);
        switch (r->Below(4)) {
        case 0:
            b[at] ^= uint8_t(1u << r->Below(8));
            break;
        case 1:
            b[at] = boundary[r->Below(sizeof boundary)];
            break;
        case 2:
            b.resize(at);
            break;
        default: {
            const size_t from = r->Below(b.size()), length = 1 + r->Below(16);
            for (size_t k = 0; k < length && from + k < b.size() && at + k < b.size(); ++k)
                b[at + k] = b[from + k];
        }
        }
    }
    return b;
}

TEST(WicFuzz, MutatedPngAndGifNeverCrash) {
    SpiModule spi = LoadSpi(Env("FERROW_WIC_SPI"));
    ASSERT_TRUE(spi.Complete()) << Env("FERROW_WIC_SPI");
    const std::string count = Env("FERROW_WIC_FUZZ_COUNT");
    const int perSeed = count.empty() ? 400 : int(std::strtol(count.c_str(), nullptr, 10));
    int decoded = 0, refused = 0;
    for (const char* name : {"png_palette_alpha.png", "png_interlaced.png", "png_grey_alpha.png",
                             "gif_animated.gif", "gif_transparent.gif"}) {
        const Bytes seed = FixtureNamed(name).data;
        ASSERT_FALSE(seed.empty()) << name;
        Random r{uint32_t(seed.size())};
        for (int i = 0; i < perSeed; ++i) {
            const Bytes input = Mutate(seed, &r);
            SCOPED_TRACE(std::string(name) + " mutation " + std::to_string(i));
            ClaimsMemory(spi, input);
            PictureInfo info;
            const int32_t infoResult = spi.getPictureInfo(
                reinterpret_cast<const char*>(input.data()), SpiLength(input.size()), 1, &info);
            SpiHandle header = nullptr, pixels = nullptr;
            const int32_t result =
                spi.getPicture(reinterpret_cast<const char*>(input.data()), SpiLength(input.size()),
                               1, &header, &pixels, nullptr, 0);
            if (result == kSpiSuccess) {
                ++decoded;
                ASSERT_TRUE(CheckPluginBitmap(header, pixels));
                ASSERT_EQ(kSpiSuccess, infoResult);
                auto* h = static_cast<const BITMAPINFOHEADER*>(LocalLock(header));
                EXPECT_EQ(info.width, h->biWidth);
                EXPECT_EQ(info.height, h->biHeight);
                LocalUnlock(header);
            } else {
                ++refused;
                ASSERT_EQ(kSpiNotSupported, result);
                ASSERT_EQ(nullptr, header);
                ASSERT_EQ(nullptr, pixels);
            }
            if (header) LocalFree(header);
            if (pixels) LocalFree(pixels);
        }
    }
    // The mutations reached both outcomes, so the decoders were exercised.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
    std::printf("wic fuzz: %d decoded, %d refused\n", decoded, refused);
    UnloadSpi(&spi);
}

} // namespace
