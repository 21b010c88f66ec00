// jpeg.spi: the five exports of the .spi interface over the portable decoder.
// Every failure is a return code; nothing is shown to the user, and the
// decoder's trace lines appear only when FERROW_JPEG_TRACE is set to 1.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "jpeg/jpeg_decoder.h"
#include "spi/spi_input_win.h"
#include "spi/spi_interface.h"

// Exported by plain name through jpeg.def (no stdcall decoration on i686).
#define SPI_EXPORT extern "C"

namespace {

const char* const kPluginInfo[] = {"00IN", "JPEG", "*.jpg", "JPEG file(*.JPG)"};

// Bytes IsSupported looks at from a file handle.
constexpr DWORD kSniffBytes = 100;

bool TraceWanted() {
    char value[4] = {};
    return GetEnvironmentVariableA("FERROW_JPEG_TRACE", value, sizeof value) == 1 && value[0] == '1';
}

int32_t OpenInput(const char* buf, SpiLength len, uint32_t flag, SpiInput* in) {
    if ((flag & kSpiInputMask) != 0) {
        if ((!buf && len != 0) || len < 0) return kSpiNotSupported;
        in->data = reinterpret_cast<const uint8_t*>(buf);
        in->size = size_t(len);
        return kSpiSuccess;
    }
    int32_t result = ReadSpiFile(buf, len, in);
    if (result == kSpiFileError && TraceWanted()) std::fputs("入力ファイルが開きません\n", stdout);
    return result;
}

}  // namespace

SPI_EXPORT int32_t SPI_API GetPluginInfo(int32_t infoNumber, char* buffer, int32_t bufferLength) {
    if (infoNumber < 0 || infoNumber > 3 || !buffer || bufferLength <= 0) return 0;
    std::snprintf(buffer, size_t(bufferLength), "%s", kPluginInfo[infoNumber]);
    return lstrlenA(buffer);
}

SPI_EXPORT int32_t SPI_API IsSupported(const char* fileName, SpiSource source) {
    uint8_t head[kSniffBytes];
    const uint8_t* bytes = head;
    DWORD count = 0;
    if (source < kSpiHandleLimit) {
        HANDLE file = reinterpret_cast<HANDLE>(source);
        if (!ReadFile(file, head, kSniffBytes, &count, nullptr)) return 0;
    } else {
        bytes = reinterpret_cast<const uint8_t*>(source);
        count = 2;
    }
    return count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 ? 1 : 0;
}

SPI_EXPORT int32_t SPI_API GetPictureInfo(const char* buf, SpiLength len, uint32_t flag, PictureInfo* info) {
    if (!info) return kSpiNotSupported;
    SpiInput in;
    int32_t result = OpenInput(buf, len, flag, &in);
    if (result != kSpiSuccess) return result;
    int32_t width = 0, height = 0;
    if (FindBaselineFrameSize(in.data, in.size, &width, &height) != FrameSizeResult::Found) return kSpiNoFrame;
    std::memset(info, 0, sizeof *info);
    info->width = width;
    info->height = height;
    info->bitsPerPixel = 24;
    return kSpiSuccess;
}

SPI_EXPORT int32_t SPI_API GetPicture(const char* buf, SpiLength len, uint32_t flag, SpiHandle* headerOut,
                                      SpiHandle* pixelsOut, SpiProgress progress, SpiCallerData data) {
    if (!headerOut || !pixelsOut) return kSpiNotSupported;
    SpiInput in;
    int32_t result = OpenInput(buf, len, flag, &in);
    if (result != kSpiSuccess) return result;

    JpegDecodeOptions options;
    options.trace = TraceWanted();
    DecodedImage image;
    if (DecodeJpegWith(&image, in.data, in.size, options) != JpegStatus::Ok) return kSpiNotSupported;
    if (progress && progress(5, 10, data) != 0) {
        ReleaseDecodedImage(&image);
        return kSpiAborted;
    }

    // Both blocks or neither: a lone block is released, never handed out. The
    // pixel block is larger than its padded rows; zeroing it keeps the spare
    // bytes from carrying old memory out of the process's heap.
    size_t pixelBytes = BitmapPixelBlockSize(image.width, image.height);
    HLOCAL header = LocalAlloc(LMEM_MOVEABLE, kBitmapHeaderSize);
    HLOCAL pixels = pixelBytes ? LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, pixelBytes) : nullptr;
    void* headerBytes = header ? LocalLock(header) : nullptr;
    void* pixelData = pixels ? LocalLock(pixels) : nullptr;
    if (!headerBytes || !pixelData) {
        if (headerBytes) LocalUnlock(header);
        if (pixelData) LocalUnlock(pixels);
        if (header) LocalFree(header);
        if (pixels) LocalFree(pixels);
        *headerOut = nullptr;
        *pixelsOut = nullptr;
        ReleaseDecodedImage(&image);
        return kSpiAborted;
    }
    PackBitmap(image, static_cast<uint8_t*>(headerBytes), static_cast<uint8_t*>(pixelData));
    LocalUnlock(header);
    LocalUnlock(pixels);
    ReleaseDecodedImage(&image);
    *headerOut = header;
    *pixelsOut = pixels;

    if (progress && progress(1, 1, data) != 0) return kSpiAborted;
    return kSpiSuccess;
}

SPI_EXPORT int32_t SPI_API GetPreview(const char*, SpiLength, uint32_t, SpiHandle*, SpiHandle*, SpiProgress,
                                      SpiCallerData) {
    return kSpiNotImplemented;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
