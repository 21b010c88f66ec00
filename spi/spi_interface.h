// The .spi image plug-in interface as jpeg.spi exports it and the viewer's
// plug-in host calls it. Shared by both sides; no platform headers.
//
// 32-bit Windows (i686): the classic interface. stdcall functions, `long`
// lengths and caller data (4 bytes), IsSupported's second argument a 32-bit
// value that is a file handle when its upper 16 bits are 0, and a byte-packed
// 26-byte PictureInfo.
//
// 64-bit Windows (x86_64): the established 64-bit form of the same interface.
// Lengths, caller data and IsSupported's second argument are pointer-sized
// (values below 0x10000 are file handles), and PictureInfo carries two
// padding bytes before its 8-byte info handle (32 bytes). Plug-ins of this
// form are usually named *.sph; ours keeps the name jpeg.spi.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define SPI_API __stdcall
#else
#define SPI_API
#endif

// Pointer-sized on 64 bits, `long` on 32 bits: intptr_t is both.
using SpiLength = intptr_t;
using SpiCallerData = intptr_t;
using SpiSource = uintptr_t;  // IsSupported: a file handle below 0x10000, else an address
using SpiHandle = void*;      // local-memory handle (HLOCAL)

#pragma pack(push, 1)
struct PictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t xDensity;
    uint16_t yDensity;
    int16_t bitsPerPixel;
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint8_t padding[2];
#endif
    SpiHandle commentHandle;  // text information; jpeg.spi gives none
};
#pragma pack(pop)

static_assert(offsetof(PictureInfo, width) == 8, "PictureInfo layout");
static_assert(offsetof(PictureInfo, height) == 12, "PictureInfo layout");
static_assert(offsetof(PictureInfo, bitsPerPixel) == 20, "PictureInfo layout");
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(PictureInfo, commentHandle) == 24, "64-bit PictureInfo: padding before the handle");
static_assert(sizeof(PictureInfo) == 32, "64-bit PictureInfo is 32 bytes");
#else
static_assert(offsetof(PictureInfo, commentHandle) == 22, "32-bit PictureInfo is packed");
static_assert(sizeof(PictureInfo) == 26, "32-bit PictureInfo is 26 bytes");
#endif

// A result other than 0 asks the plug-in to stop.
typedef int32_t(SPI_API* SpiProgress)(int32_t numerator, int32_t denominator, SpiCallerData data);

typedef int32_t(SPI_API* SpiGetPluginInfo)(int32_t infoNumber, char* buffer, int32_t bufferLength);
typedef int32_t(SPI_API* SpiIsSupported)(const char* fileName, SpiSource source);
typedef int32_t(SPI_API* SpiGetPictureInfo)(const char* buf, SpiLength len, uint32_t flag, PictureInfo* info);
typedef int32_t(SPI_API* SpiGetPicture)(const char* buf, SpiLength len, uint32_t flag, SpiHandle* headerOut,
                                        SpiHandle* pixelsOut, SpiProgress progress, SpiCallerData data);

// Return codes.
enum : int32_t {
    kSpiSuccess = 0,
    kSpiNotImplemented = -1,
    kSpiAborted = 1,         // stopped by the progress callback, or no memory for the bitmap
    kSpiNotSupported = 2,    // not a stream the plug-in can decode
    kSpiNoFrame = 3,         // GetPictureInfo: no baseline frame header
    kSpiNoMemory = 4,        // no memory for the file's contents
    kSpiFileError = 6,       // the file could not be opened, positioned or read
};

// Lowest three bits of flag: 0 = buf names a file, len is an offset in it;
// otherwise buf is the data in memory and len its size.
constexpr uint32_t kSpiInputMask = 7;
constexpr SpiSource kSpiHandleLimit = 0x10000;
