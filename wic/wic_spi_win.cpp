// wic.spi: the five exports of the .spi interface over the Windows Imaging
// Component, for the web's pictures that are not JPEG. It claims files by
// their signature only and never a JPEG, so jpeg.spi keeps those in whatever
// order a host finds the two. Every failure is a return code.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "spi/spi_input_win.h"
#include "spi/spi_interface.h"
#include "wic/wic_decode_win.h"
#include "wic/wic_image.h"

// Exported by plain name through wic.def (no stdcall decoration on i686).
#define SPI_EXPORT extern "C"

namespace {

// Kind and version, name, then one pattern and its description per family.
// clang-format off
const char* const kPluginInfo[] = {
    "00IN",         "WIC image plug-in",
    "*.png",        "PNG file(*.PNG)",
    "*.gif",        "GIF file(*.GIF)",
    "*.bmp",        "BMP file(*.BMP)",
    "*.tif;*.tiff", "TIFF file(*.TIF;*.TIFF)",
    "*.ico",        "ICO file(*.ICO)",
    "*.webp",       "WebP file(*.WEBP)",
};
// clang-format on
constexpr int32_t kPluginInfoCount = int32_t(sizeof kPluginInfo / sizeof kPluginInfo[0]);

int32_t OpenInput(const char* buf, SpiLength len, uint32_t flag, SpiInput* in) {
    if ((flag & kSpiInputMask) == 0) return ReadSpiFile(buf, len, in);
    if (!buf || len <= 0) return kSpiNotSupported;
    in->data = reinterpret_cast<const uint8_t*>(buf);
    in->size = size_t(len);
    return kSpiSuccess;
}

} // namespace

SPI_EXPORT int32_t SPI_API GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength) {
    if (infoNumber < 0 || infoNumber >= kPluginInfoCount || !buffer || bufferLength <= 0) return 0;
    std::snprintf(buffer, size_t(bufferLength), "%s", kPluginInfo[infoNumber]);
    return lstrlenA(buffer);
}

SPI_EXPORT int32_t SPI_API IsSupported(const char* fileName, SpiSource source) {
    uint8_t head[kSignatureBytes];
    const uint8_t* bytes = head;
    DWORD count = 0;
    if (source < kSpiHandleLimit) {
        HANDLE file = reinterpret_cast<HANDLE>(source);
        if (!ReadFile(file, head, sizeof head, &count, nullptr)) return 0;
    } else {
        // An address: hosts show at least the customary 2 KB header buffer.
        bytes = reinterpret_cast<const uint8_t*>(source);
        count = kSignatureBytes;
    }
    return FamilyOfSignature(bytes, count) != ImageFamily::None ? 1 : 0;
}

SPI_EXPORT int32_t SPI_API GetPictureInfo(const char* buf, SpiLength len, uint32_t flag,
                                          PictureInfo* info) {
    if (!info) return kSpiNotSupported;
    SpiInput in;
    int32_t result = OpenInput(buf, len, flag, &in);
    if (result != kSpiSuccess) return result;
    return ReadPictureInfo(in.data, in.size, info);
}

SPI_EXPORT int32_t SPI_API GetPicture(const char* buf, SpiLength len, uint32_t flag,
                                      SpiHandle* headerOut, SpiHandle* pixelsOut,
                                      SpiProgress progress, SpiCallerData data) {
    if (!headerOut || !pixelsOut) return kSpiNotSupported;
    SpiInput in;
    int32_t result = OpenInput(buf, len, flag, &in);
    if (result != kSpiSuccess) return result;
    return DecodePicture(in.data, in.size, progress, data, headerOut, pixelsOut);
}

SPI_EXPORT int32_t SPI_API GetPreview(const char*, SpiLength, uint32_t, SpiHandle*, SpiHandle*,
                                      SpiProgress, SpiCallerData) {
    return kSpiNotImplemented;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
