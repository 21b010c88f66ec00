// Portable baseline and progressive JPEG decoder (Huffman coding, 8-bit
// samples; greyscale, YCbCr, RGB, CMYK or YCCK) and the 24-bit bitmap packing of jpeg.spi.
// No platform headers, no process-wide mutable state: every decode keeps its
// state in its own record, so decodes may run on any thread at once.
#pragma once
#include <cstddef>
#include <cstdint>

// A decoded picture. pixels holds pixelCount pixels of 3 bytes (red, green,
// blue), rows top to bottom, no padding; it is owned by the record's holder
// and is released with ReleaseDecodedImage. (Three bytes, not four: the
// picture is the largest block of a decode and its memory traffic shows in
// the decoding speed.)
struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t pixelCount = 0;
    uint8_t* pixels = nullptr;
    int32_t paletteCount = 0;
};

enum class JpegStatus {
    Ok,          // the picture is complete (or as complete as the data allowed)
    NoFrame,     // no frame header before the end of the data
    NotJpeg,     // the data do not start with a start-of-image marker
    Unsupported, // arithmetic coding, lossless, hierarchical or a 12-bit frame
    TooLarge,    // zero dimension, or more pixels than the limit
    Corrupt,     // a table, frame or scan header that cannot be right
    OutOfMemory,
};

// The largest picture decoded by default: 64 Mpixel (8192 x 8192).
constexpr uint32_t kJpegMaxPixels = 1u << 26;

// The decoder's code paths, narrowest first: portable C++ alone, SSE2, AVX2.
enum class JpegCodePath : uint8_t { Portable, Sse2, Avx2 };

struct JpegDecodeOptions {
    uint32_t maxPixels = kJpegMaxPixels;
    bool trace = false; // write the marker walk's diagnostic lines to stdout
    // The widest vector code the decoder may use; it takes the best the
    // processor (and its operating system) has up to that. Every path gives
    // the same picture for every valid stream (tests and the fuzz target
    // compare them).
    JpegCodePath widest = JpegCodePath::Avx2;
};

// Decodes the whole stream data[0..length) into image, which must be empty
// (or released). On Ok the picture is allocated; on every other result the
// image stays empty. Entropy-coded data that end early or are damaged leave the
// rest of the picture grey-on-black as far as it decoded, and still give Ok.
JpegStatus DecodeJpegWith(DecodedImage* image, const uint8_t* data, size_t length,
                          const JpegDecodeOptions& options);

// The plug-in's form: 1 when a picture was decoded, 0 otherwise.
int DecodeJpeg(DecodedImage* image, const uint8_t* data, size_t length);

void ReleaseDecodedImage(DecodedImage* image);
const char* JpegStatusText(JpegStatus status);

// Bitmap output: a 40-byte BITMAPINFOHEADER and bottom-up rows of blue, green,
// red bytes, each row padded to a multiple of 4 bytes.
constexpr size_t kBitmapHeaderSize = 40;
int32_t BitmapRowPadding(int32_t width);
// Size of the pixel block that the plug-in hands out: (width + pad) x height x 3
// bytes, which covers the padded rows. 0 when the size does not fit a size_t
// or the dimensions are not positive.
size_t BitmapPixelBlockSize(int32_t width, int32_t height);
// Fills header (40 bytes) and pixels (at least BitmapPixelBlockSize bytes).
void PackBitmap(const DecodedImage& image, uint8_t* header, uint8_t* pixels);

// Frame dimensions as the plug-in's picture information reports them: the
// first baseline (0xFFC0) frame header reached by walking the marker segments
// (the walk does not enter entropy-coded data). Never reads past length.
enum class FrameSizeResult { Found, EndOfImage, NotFound };
FrameSizeResult FindBaselineFrameSize(const uint8_t* data, size_t length, int32_t* widthOut,
                                      int32_t* heightOut);
