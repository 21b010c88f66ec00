// wic.spi: the five exports of the .spi interface over the Windows Imaging
// Component, for the web's pictures that are not JPEG. It claims files by
// their signature only and never a JPEG, so jpeg.spi keeps those in whatever
// order a host finds the two. Every failure is a return code.
#include <windows.h>

#include <cstring>

#include "jpeg/spi_interface.h"
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

// The largest file read whole into memory; far beyond any picture within
// the pixel limit that a web page holds.
constexpr ULONGLONG kMaxFileBytes = 1ull << 30;

// The input of GetPictureInfo and GetPicture: the caller's memory, or the
// file's bytes from the offset on in a block released with the record.
struct Input {
    const uint8_t* data = nullptr;
    size_t size = 0;
    HLOCAL fileBlock = nullptr;
    ~Input() {
        if (fileBlock) LocalFree(fileBlock);
    }
};

// Reads path from offset to its end; never past the end whatever the
// offset says.
int32_t ReadFileFrom(const char* path, SpiLength offset, Input* in) {
    if (!path || offset < 0) return kSpiFileError;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kSpiFileError;
    int32_t result = kSpiSuccess;
    LARGE_INTEGER size, position;
    position.QuadPart = offset;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < offset ||
        ULONGLONG(size.QuadPart - offset) > kMaxFileBytes ||
        !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        result = kSpiFileError;
    } else {
        in->size = size_t(size.QuadPart - offset);
        in->fileBlock = LocalAlloc(LMEM_FIXED, in->size ? in->size : 1);
        DWORD read = 0;
        if (!in->fileBlock) {
            result = kSpiNoMemory;
        } else if (in->size && (!ReadFile(file, in->fileBlock, DWORD(in->size), &read, nullptr) ||
                                read != in->size)) {
            result = kSpiFileError;
        }
        in->data = static_cast<const uint8_t*>(in->fileBlock);
    }
    CloseHandle(file);
    return result;
}

int32_t OpenInput(const char* buf, SpiLength len, uint32_t flag, Input* in) {
    if ((flag & kSpiInputMask) == 0) return ReadFileFrom(buf, len, in);
    if (!buf || len <= 0) return kSpiNotSupported;
    in->data = reinterpret_cast<const uint8_t*>(buf);
    in->size = size_t(len);
    return kSpiSuccess;
}

} // namespace

SPI_EXPORT int32_t SPI_API GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength) {
    if (infoNumber < 0 || infoNumber >= kPluginInfoCount || !buffer || bufferLength <= 0) return 0;
    lstrcpynA(buffer, kPluginInfo[infoNumber], bufferLength);
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
    Input in;
    int32_t result = OpenInput(buf, len, flag, &in);
    if (result != kSpiSuccess) return result;
    return ReadPictureInfo(in.data, in.size, info);
}

SPI_EXPORT int32_t SPI_API GetPicture(const char* buf, SpiLength len, uint32_t flag,
                                      SpiHandle* headerOut, SpiHandle* pixelsOut,
                                      SpiProgress progress, SpiCallerData data) {
    if (!headerOut || !pixelsOut) return kSpiNotSupported;
    Input in;
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
