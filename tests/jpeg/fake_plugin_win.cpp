// Stand-in .spi plug-ins for the plug-in host's tests, built in several
// kinds. They claim images that begin with "FAKE".
//   FAKE_KIND 1: decodes into a 1 x 1 bitmap whose blue byte is FAKE_ID
//   FAKE_KIND 2: claims, then fails to decode
//   FAKE_KIND 3: claims, but has no GetPicture
//   FAKE_KIND 4: hands out a header that promises far more pixels than sent
//   FAKE_KIND 5: claims only "FAKEDIB" images and decodes them into the
//                pattern of tests/jpeg/dib_pattern.h at the depth they name
#include <windows.h>

#include <cstring>
#include <vector>

#include "spi/spi_interface.h"
#include "tests/jpeg/dib_pattern.h"

namespace {
bool Claims(SpiSource source) {
    const char* tag = FAKE_KIND == 5 ? "FAKEDIB" : "FAKE";
    return source >= kSpiHandleLimit && std::memcmp(reinterpret_cast<const void*>(source), tag, std::strlen(tag)) == 0;
}

[[maybe_unused]] HLOCAL Block(const void* bytes, size_t size) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE, size);
    if (h) {
        std::memcpy(LocalLock(h), bytes, size);
        LocalUnlock(h);
    }
    return h;
}
}  // namespace

extern "C" __declspec(dllexport) int32_t SPI_API IsSupported(const char*, SpiSource source) {
    return Claims(source) ? 1 : 0;
}

#if FAKE_KIND != 3
extern "C" __declspec(dllexport) int32_t SPI_API GetPicture(const char* buf, SpiLength len, uint32_t, SpiHandle* headerOut,
                                                            SpiHandle* pixelsOut, SpiProgress, SpiCallerData) {
    if (FAKE_KIND == 2) return kSpiNotSupported;
    if (FAKE_KIND == 5) {
        if (len < 9) return kSpiNotSupported;
        const char* image = buf;
        std::vector<uint8_t> header, pixels;
        MakePatternBitmap(uint8_t(image[7]), image[8] == 'T', &header, &pixels);
        *headerOut = Block(header.data(), header.size());
        *pixelsOut = Block(pixels.data(), pixels.size());
        return kSpiSuccess;
    }
    BITMAPINFOHEADER h = {};
    h.biSize = sizeof h;
    h.biWidth = FAKE_KIND == 4 ? 100000 : 1;
    h.biHeight = FAKE_KIND == 4 ? 100000 : 1;
    h.biPlanes = 1;
    h.biBitCount = 24;
    const uint8_t pixel[4] = {FAKE_ID, 0, 0, 0};
    *headerOut = Block(&h, sizeof h);
    *pixelsOut = Block(pixel, sizeof pixel);
    return kSpiSuccess;
}
#endif
