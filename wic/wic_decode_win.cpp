#include "wic/wic_decode_win.h"

#include <wincodec.h>

#include <climits>
#include <cstring>

#include "wic/wic_image.h"

namespace {

// COM for the length of one call. A thread that has COM in another
// apartment model already keeps it (RPC_E_CHANGED_MODE): WIC's objects live
// in either, and that thread's initialisation is not ours to undo.
struct ComForCall {
    HRESULT result;
    ComForCall() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComForCall() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    bool Usable() const { return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE; }
};

template <typename T> void Release(T** object) {
    if (*object) (*object)->Release();
    *object = nullptr;
}

// The objects of one decode, released in reverse order by CloseFrame before
// COM is released.
struct FirstFrame {
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT width = 0;
    UINT height = 0;
    bool alpha = false;
};

void CloseFrame(FirstFrame* f) {
    Release(&f->converter);
    Release(&f->frame);
    Release(&f->decoder);
    Release(&f->stream);
    Release(&f->factory);
}

bool IsIndexed(const WICPixelFormatGUID& format) {
    return format == GUID_WICPixelFormat1bppIndexed || format == GUID_WICPixelFormat2bppIndexed ||
           format == GUID_WICPixelFormat4bppIndexed || format == GUID_WICPixelFormat8bppIndexed;
}

// A palette picture is transparent when one of its colours is (a GIF's
// transparent index, a PNG's palette transparency).
bool PaletteHasAlpha(const FirstFrame& f) {
    IWICPalette* palette = nullptr;
    BOOL alpha = FALSE;
    if (SUCCEEDED(f.factory->CreatePalette(&palette))) {
        if (SUCCEEDED(f.frame->CopyPalette(palette)) || SUCCEEDED(f.decoder->CopyPalette(palette)))
            palette->HasAlpha(&alpha);
        palette->Release();
    }
    return alpha != FALSE;
}

// Whether the pixel format carries transparency, as the system's component
// information says; where that is not available, the alpha formats that
// decoders hand out.
bool FormatHasAlpha(const FirstFrame& f, const WICPixelFormatGUID& format) {
    IWICComponentInfo* info = nullptr;
    IWICPixelFormatInfo2* formatInfo = nullptr;
    BOOL transparency = FALSE;
    bool known = false;
    if (SUCCEEDED(f.factory->CreateComponentInfo(format, &info)) &&
        SUCCEEDED(
            info->QueryInterface(IID_IWICPixelFormatInfo2, reinterpret_cast<void**>(&formatInfo))))
        known = SUCCEEDED(formatInfo->SupportsTransparency(&transparency));
    Release(&formatInfo);
    Release(&info);
    if (known) return transparency != FALSE;
    const GUID* const alphaFormats[] = {
        &GUID_WICPixelFormat32bppBGRA,     &GUID_WICPixelFormat32bppPBGRA,
        &GUID_WICPixelFormat32bppRGBA,     &GUID_WICPixelFormat32bppPRGBA,
        &GUID_WICPixelFormat64bppRGBA,     &GUID_WICPixelFormat64bppPRGBA,
        &GUID_WICPixelFormat16bppBGRA5551, &GUID_WICPixelFormat128bppRGBAFloat};
    for (const GUID* alphaFormat : alphaFormats)
        if (format == *alphaFormat) return true;
    return false;
}

bool HasAlpha(const FirstFrame& f) {
    WICPixelFormatGUID format;
    if (FAILED(f.frame->GetPixelFormat(&format))) return false;
    return IsIndexed(format) ? PaletteHasAlpha(f) : FormatHasAlpha(f, format);
}

// Opens the first frame of a claimed image. Decoders are tried only for
// data whose signature wic.spi claims, so a JPEG never reaches WIC's own
// JPEG decoder here.
int32_t OpenFirstFrame(const uint8_t* data, size_t size, FirstFrame* f) {
    if (!data || size > MAXDWORD || FamilyOfSignature(data, size) == ImageFamily::None)
        return kSpiNotSupported;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&f->factory));
    if (SUCCEEDED(hr)) hr = f->factory->CreateStream(&f->stream);
    // The stream only reads the caller's bytes; it never writes to them.
    if (SUCCEEDED(hr)) hr = f->stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size));
    if (SUCCEEDED(hr))
        hr = f->factory->CreateDecoderFromStream(f->stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                 &f->decoder);
    UINT frames = 0;
    if (SUCCEEDED(hr)) hr = f->decoder->GetFrameCount(&frames);
    if (SUCCEEDED(hr) && frames == 0) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = f->decoder->GetFrame(0, &f->frame);
    if (SUCCEEDED(hr)) hr = f->frame->GetSize(&f->width, &f->height);
    if (FAILED(hr)) return kSpiNotSupported;
    f->alpha = HasAlpha(*f);
    return kSpiSuccess;
}

int32_t ReadInfoOfFrame(const uint8_t* data, size_t size, PictureInfo* infoOut) {
    FirstFrame f;
    int32_t result = OpenFirstFrame(data, size, &f);
    if (result == kSpiSuccess &&
        (f.width == 0 || f.height == 0 || f.width > INT32_MAX || f.height > INT32_MAX))
        result = kSpiNotSupported;
    if (result == kSpiSuccess) {
        ZeroMemory(infoOut, sizeof *infoOut);
        infoOut->width = int32_t(f.width);
        infoOut->height = int32_t(f.height);
        infoOut->bitsPerPixel = f.alpha ? 32 : 24;
    }
    CloseFrame(&f);
    return result;
}

IWICFormatConverter* ConverterTo(const FirstFrame& f, const WICPixelFormatGUID& target) {
    IWICFormatConverter* converter = nullptr;
    if (FAILED(f.factory->CreateFormatConverter(&converter))) return nullptr;
    if (FAILED(converter->Initialize(f.frame, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        Release(&converter);
    return converter;
}

HRESULT CopyRow(IWICFormatConverter* converter, const BitmapPlan& plan, uint32_t y, UINT rowBytes,
                uint8_t* out) {
    WICRect row = {0, INT(y), INT(plan.width), 1};
    return converter->CopyPixels(&row, rowBytes, rowBytes, out);
}

// Straight into the bottom-up block row by row: 24-bit rows as they are,
// 32-bit ones composed over white. No second copy of the picture is held.
bool CopyRowsDirect(const FirstFrame& f, const BitmapPlan& plan, uint8_t* pixels) {
    for (uint32_t y = 0; y < plan.height; ++y) {
        uint8_t* out = pixels + BitmapRowOffset(plan, y);
        if (FAILED(CopyRow(f.converter, plan, y, UINT(plan.stride), out))) return false;
        if (f.alpha) ComposeRowOverWhite(out, plan.width);
    }
    return true;
}

// For systems whose converter cannot make 24-bit rows of every format (the
// 32-bit form is the one every decoder reaches): each row through a 32-bit
// scratch row, its fourth bytes dropped.
bool CopyRowsThroughBgra(const FirstFrame& f, const BitmapPlan& plan, uint8_t* pixels) {
    IWICFormatConverter* converter = ConverterTo(f, GUID_WICPixelFormat32bppBGRA);
    const size_t rowBytes = size_t(plan.width) * 4;
    auto* scratch = converter ? static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, rowBytes)) : nullptr;
    bool ok = scratch != nullptr && rowBytes <= UINT_MAX;
    for (uint32_t y = 0; ok && y < plan.height; ++y) {
        ok = SUCCEEDED(CopyRow(converter, plan, y, UINT(rowBytes), scratch));
        uint8_t* out = pixels + BitmapRowOffset(plan, y);
        for (uint32_t x = 0; ok && x < plan.width; ++x)
            std::memcpy(out + 3 * x, scratch + 4 * x, 3);
    }
    if (scratch) LocalFree(scratch);
    Release(&converter);
    return ok;
}

int32_t DecodeFrame(const uint8_t* data, size_t size, SpiProgress progress,
                    SpiCallerData callerData, SpiHandle* headerOut, SpiHandle* pixelsOut) {
    // An oversized picture is refused before its decoder may allocate it.
    if (data && DeclaredPixels(data, size) > kMaxPicturePixels) return kSpiNotSupported;
    FirstFrame f;
    BitmapPlan plan;
    int32_t result = OpenFirstFrame(data, size, &f);
    if (result == kSpiSuccess && !PlanBitmap(f.width, f.height, f.alpha, &plan))
        result = kSpiNotSupported;
    if (result == kSpiSuccess) {
        f.converter =
            ConverterTo(f, f.alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR);
        if (!f.converter) result = kSpiNotSupported;
    }
    if (result == kSpiSuccess && progress && progress(5, 10, callerData) != 0) result = kSpiAborted;

    // Both blocks or neither. The pad bytes at the row ends are zeroed so
    // that no old heap memory leaves with the picture.
    HLOCAL header = nullptr, pixels = nullptr;
    uint8_t* headerBytes = nullptr;
    uint8_t* pixelBytes = nullptr;
    if (result == kSpiSuccess) {
        header = LocalAlloc(LMEM_MOVEABLE, kBitmapInfoHeaderSize);
        pixels = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, plan.pixelBytes);
        headerBytes = header ? static_cast<uint8_t*>(LocalLock(header)) : nullptr;
        pixelBytes = pixels ? static_cast<uint8_t*>(LocalLock(pixels)) : nullptr;
        if (!headerBytes || !pixelBytes) result = kSpiAborted;
    }
    if (result == kSpiSuccess) {
        WriteBitmapHeader(plan, headerBytes);
        // A converter may accept a 24-bit target and then refuse to make the
        // rows (Wine's, for palette and grey pictures); they then come
        // through the 32-bit form, which every decoder reaches.
        bool copied = CopyRowsDirect(f, plan, pixelBytes);
        if (!copied && !f.alpha) copied = CopyRowsThroughBgra(f, plan, pixelBytes);
        if (!copied) result = kSpiNotSupported;
    }
    if (headerBytes) LocalUnlock(header);
    if (pixelBytes) LocalUnlock(pixels);
    CloseFrame(&f);
    if (result != kSpiSuccess) {
        if (header) LocalFree(header);
        if (pixels) LocalFree(pixels);
        return result;
    }
    *headerOut = header;
    *pixelsOut = pixels;
    if (progress && progress(1, 1, callerData) != 0) return kSpiAborted;
    return kSpiSuccess;
}

} // namespace

int32_t ReadPictureInfo(const uint8_t* data, size_t size, PictureInfo* infoOut) {
    ComForCall com;
    if (!com.Usable()) return kSpiNotSupported;
    return ReadInfoOfFrame(data, size, infoOut);
}

int32_t DecodePicture(const uint8_t* data, size_t size, SpiProgress progress,
                      SpiCallerData callerData, SpiHandle* headerOut, SpiHandle* pixelsOut) {
    ComForCall com;
    if (!com.Usable()) return kSpiNotSupported;
    return DecodeFrame(data, size, progress, callerData, headerOut, pixelsOut);
}
