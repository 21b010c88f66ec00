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

    JpegDecodeOptions options;
    options.maxPixels = 1u << 22;  // keeps each run short; the limit logic is the same
    DecodedImage image;
    if (DecodeJpegWith(&image, data, size, options) == JpegStatus::Ok) {
        std::vector<uint8_t> header(kBitmapHeaderSize);
        std::vector<uint8_t> pixels(BitmapPixelBlockSize(image.width, image.height));
        PackBitmap(image, header.data(), pixels.data());
    }
    ReleaseDecodedImage(&image);
    return 0;
}
