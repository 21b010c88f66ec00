// wic.spi as a host sees it (loaded from FERROW_WIC_SPI, called through its
// exports only) and the pictures that tools/wic-fixtures.sh made with
// ImageMagick's convert (in FERROW_WIC_FIXTURES).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "spi/spi_interface.h"

using Bytes = std::vector<uint8_t>;

std::string Env(const char* name);
Bytes ReadBytes(const std::string& path);
// Writes bytes to a new file in the temporary folder and returns its path.
std::string TempFile(const std::string& name, const Bytes& bytes);

// The five exports of one loaded plug-in module.
struct SpiModule {
    HMODULE module = nullptr;
    SpiGetPluginInfo getPluginInfo = nullptr;
    SpiIsSupported isSupported = nullptr;
    SpiGetPictureInfo getPictureInfo = nullptr;
    SpiGetPicture getPicture = nullptr;
    SpiGetPicture getPreview = nullptr;
    bool Complete() const {
        return getPluginInfo && isSupported && getPictureInfo && getPicture && getPreview;
    }
};
SpiModule LoadSpi(const std::string& path);
void UnloadSpi(SpiModule* spi);

// The two blocks of a decoded picture, copied out and released.
struct Bitmap {
    int32_t result = -99;
    bool handedOver = false; // the call wrote both out-parameters
    Bytes header, pixels;
    int32_t Width() const;
    int32_t Height() const;
    int BitCount() const;
    size_t Stride() const { return (size_t(Width()) * BitCount() / 8 + 3) / 4 * 4; }
    // Blue, green, red of picture pixel (x, y), y = 0 at the top.
    const uint8_t* At(int x, int y) const;
};

// GetPicture from memory, and from a file at an offset.
Bitmap DecodeMemory(const SpiModule& spi, const Bytes& data, SpiProgress progress = nullptr,
                    SpiCallerData callerData = 0);
Bitmap DecodeFile(const SpiModule& spi, const std::string& path, SpiLength offset);

// IsSupported on the bytes in memory, shown as hosts show them: padded with
// zeros to the customary 2 KB.
int32_t ClaimsMemory(const SpiModule& spi, const Bytes& data);

// One line of the fixtures' manifest and the reference picture beside it.
struct Fixture {
    std::string file;
    int width = 0, height = 0, bits = 0;
    Bytes data; // the picture file
    Bytes rgba; // convert's decode of its first frame, top-down, 8-bit RGBA
};
std::vector<Fixture> ReadFixtures();
Fixture FixtureNamed(const std::string& file);

// The first place where the bitmap differs from the reference composed over
// white, as "x,y: got b,g,r want b,g,r", or "" when every pixel agrees.
std::string FirstDifference(const Bitmap& bitmap, const Fixture& reference);
