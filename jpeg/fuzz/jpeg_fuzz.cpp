// libFuzzer target: the whole decoder, the frame-size walk and the bitmap
// packing over arbitrary bytes. Built with FERROW_FUZZ=ON (clang); run with
// the seeds in jpeg/fuzz/seeds. Without -fsanitize=fuzzer the same file can
// be linked with a driver that replays a folder of samples.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t width = 0, height = 0;
    FindBaselineFrameSize(data, size, &width, &height);

    // Every path: AVX2, SSE2 and the portable code (each as far as the
    // processor has it). Hostile coefficients may give them different
    // pixels, never a fault; the outcome and the size must agree.
    JpegDecodeOptions options;
    options.maxPixels = 1u << 22; // keeps each run short; the limit logic is the same
    JpegStatus first = JpegStatus::Ok;
    int32_t firstWidth = 0;
    for (JpegCodePath path : {JpegCodePath::Avx2, JpegCodePath::Sse2, JpegCodePath::Portable}) {
        options.widest = path;
        DecodedImage image;
        JpegStatus status = DecodeJpegWith(&image, data, size, options);
        if (status == JpegStatus::Ok) {
            std::vector<uint8_t> header(kBitmapHeaderSize);
            std::vector<uint8_t> pixels(BitmapPixelBlockSize(image.width, image.height));
            PackBitmap(image, header.data(), pixels.data());
        }
        if (path == JpegCodePath::Avx2) {
            first = status;
            firstWidth = image.width;
        } else if (status != first || image.width != firstWidth) {
            __builtin_trap();
        }
        ReleaseDecodedImage(&image);
    }
    return 0;
}
