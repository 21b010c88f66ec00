// The marker walk of a JPEG stream: frame, table, restart and scan headers,
// and the decode of each scan as it comes.
#include "jpeg/jpeg_decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "jpeg/jpeg_internal.h"
#include "jpeg/jpeg_segment.h"

namespace jpeg {
namespace {

bool CheckedMul(size_t a, size_t b, size_t* out) {
    if (a != 0 && b > SIZE_MAX / a) return false;
    *out = a * b;
    return true;
}

// Text of an application or comment segment for the trace: at most limit
// bytes, ending early at a zero byte.
void TraceText(const Decoder& d, const char* label, SegmentReader body, size_t limit) {
    if (!d.options.trace) return;
    char text[256];
    size_t n = 0;
    while (n < limit && n + 1 < sizeof text && BytesLeft(body) > 0) {
        const uint32_t c = ReadU8(body);
        if (c == 0) break;
        text[n++] = char(c);
    }
    text[n] = '\0';
    std::printf("%s:%s\n", label, text);
}

JpegStatus ReadFrame(Decoder& d, SegmentReader body, bool progressive) {
    if (d.frameSeen) return JpegStatus::Corrupt; // one frame per picture
    const uint32_t precision = ReadU8(body);
    int height = int(ReadBe16(body));
    int width = int(ReadBe16(body));
    int count = int(ReadU8(body));
    if (body.overrun) return JpegStatus::Corrupt;
    if (precision != 8) return JpegStatus::Unsupported;
    if (count != 1 && count != 3 && count != 4) return JpegStatus::Unsupported;
    uint8_t specs[kMaxComponents][3]; // id, sampling factors, table
    ReadBytes(body, specs[0], 3 * size_t(count));
    if (body.overrun) return JpegStatus::Corrupt;
    // A height of 0 would be given later by a DNL segment, which is not
    // supported; it is refused with the other impossible sizes.
    if (width == 0 || height == 0) return JpegStatus::TooLarge;
    uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > d.options.maxPixels || pixels > uint64_t(INT32_MAX) / 4)
        return JpegStatus::TooLarge;

    d.progressive = progressive;
    d.width = width;
    d.height = height;
    d.componentCount = count;
    d.hMax = d.vMax = 1;
    for (int i = 0; i < count; ++i) {
        Component& c = d.comp[i];
        const uint8_t* p = specs[i];
        c.id = p[0];
        c.h = uint8_t(p[1] >> 4);
        c.v = uint8_t(p[1] & 15);
        c.tq = p[2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return JpegStatus::Corrupt;
        for (int j = 0; j < i; ++j)
            if (d.comp[j].id == c.id) return JpegStatus::Corrupt;
        if (c.h > d.hMax) d.hMax = c.h;
        if (c.v > d.vMax) d.vMax = c.v;
    }
    if (count == 1) {
        // A lone component is never interleaved: its blocks are its MCUs.
        d.comp[0].h = d.comp[0].v = 1;
        d.hMax = d.vMax = 1;
    }
    d.mcusAcross = (width + 8 * d.hMax - 1) / (8 * d.hMax);
    d.mcusDown = (height + 8 * d.vMax - 1) / (8 * d.vMax);
    for (int i = 0; i < count; ++i) {
        Component& c = d.comp[i];
        c.blocksPerLine = d.mcusAcross * c.h;
        c.blockRows = d.mcusDown * c.v;
        c.blocksWide = ((width * c.h + d.hMax - 1) / d.hMax + 7) / 8;
        c.blocksHigh = ((height * c.v + d.vMax - 1) / d.vMax + 7) / 8;
        c.stride = size_t(c.blocksPerLine) * 8;
        size_t blockCount = 0, coefBytes = 0;
        if (!CheckedMul(c.stride, size_t(c.blockRows) * 8, &c.planeBytes) ||
            !CheckedMul(size_t(c.blocksPerLine), size_t(c.blockRows), &blockCount) ||
            !CheckedMul(blockCount, 64 * sizeof(int16_t), &coefBytes))
            return JpegStatus::TooLarge;
        if (progressive) {
            c.coefs = static_cast<int16_t*>(std::calloc(blockCount, 64 * sizeof(int16_t)));
            if (!c.coefs) return JpegStatus::OutOfMemory;
        }
    }
    d.frameSeen = true;
    if (d.options.trace) std::printf(progressive ? "progressive\n" : "normal\n");
    return JpegStatus::Ok;
}

// A table cut short ends the picture, so it may be left half filled.
JpegStatus ReadQuantTables(Decoder& d, SegmentReader body) {
    while (BytesLeft(body) > 0) {
        const uint32_t kind = ReadU8(body);
        const uint32_t pq = kind >> 4;
        const uint32_t tq = kind & 15;
        if (pq > 1 || tq > 3) return JpegStatus::Corrupt;
        for (int k = 0; k < 64; ++k)
            d.quant[tq][k] = uint16_t(pq == 0 ? ReadU8(body) : ReadBe16(body));
        if (body.overrun) return JpegStatus::Corrupt;
    }
    return JpegStatus::Ok;
}

JpegStatus ReadScanHeader(Decoder& d, SegmentReader body) {
    if (!d.frameSeen) return JpegStatus::Corrupt;
    int count = int(ReadU8(body));
    if (body.overrun || count < 1 || count > d.componentCount) return JpegStatus::Corrupt;
    uint8_t specs[kMaxComponents][2]; // component id, table numbers
    ReadBytes(body, specs[0], 2 * size_t(count));
    const uint32_t ss = ReadU8(body);
    const uint32_t se = ReadU8(body);
    const uint32_t approximation = ReadU8(body);
    if (body.overrun) return JpegStatus::Corrupt;
    d.scanCount = count;
    for (int i = 0; i < count; ++i) {
        int id = specs[i][0];
        Component* found = nullptr;
        for (int j = 0; j < d.componentCount; ++j)
            if (d.comp[j].id == id) found = &d.comp[j];
        if (!found) return JpegStatus::Corrupt;
        for (int j = 0; j < i; ++j)
            if (d.scanComp[j] == found) return JpegStatus::Corrupt;
        d.scanComp[i] = found;
        d.scanDc[i] = specs[i][1] >> 4;
        d.scanAc[i] = specs[i][1] & 15;
        if (d.scanDc[i] > 3 || d.scanAc[i] > 3) return JpegStatus::Corrupt;
    }
    d.ss = int(ss);
    d.se = int(se);
    d.ah = int(approximation >> 4);
    d.al = int(approximation & 15);

    for (int i = 0; i < count; ++i) {
        bool needDc, needAc;
        if (!d.progressive) {
            needDc = needAc = true;
        } else {
            needDc = d.ss == 0 && d.ah == 0;
            needAc = d.ss != 0;
        }
        if (needDc && !d.dc[d.scanDc[i]].defined) return JpegStatus::Corrupt;
        if (needAc && !d.ac[d.scanAc[i]].defined) return JpegStatus::Corrupt;
    }
    if (d.progressive) {
        if (d.ss > d.se || d.se > 63 || d.ah > 13 || d.al > 13) return JpegStatus::Corrupt;
        if (d.ss == 0 && d.se != 0) return JpegStatus::Corrupt;
        if (d.ss != 0 && count != 1) return JpegStatus::Corrupt;
    }
    return JpegStatus::Ok;
}

// The markers that tell the colour model: JFIF (application segment 0) and
// Adobe (application segment 14, whose twelfth byte is the transform code).
void ReadApplicationSegment(Decoder& d, uint32_t code, SegmentReader body) {
    const size_t length = BytesLeft(body);
    uint8_t head[12];
    ReadBytes(body, head, sizeof head);
    if (code == 0xFFE0 && length >= 5 && std::memcmp(head, "JFIF", 5) == 0) d.sawJfif = true;
    if (code == 0xFFEE && length >= 12 && std::memcmp(head, "Adobe", 5) == 0)
        d.adobeTransform = head[11];
}

// Decided at the first scan, when every marker in front of the picture data
// has been seen. Transform codes that do not fit the component count are
// refused.
bool ChooseColourModel(Decoder& d) {
    const int t = d.adobeTransform;
    switch (d.componentCount) {
    case 1:
        d.model = ColourModel::Grey;
        return true;
    case 3:
        if (d.sawJfif) {
            d.model = ColourModel::YCbCr;
        } else if (t >= 0) {
            if (t > 1) return false;
            d.model = t == 0 ? ColourModel::Rgb : ColourModel::YCbCr;
        } else {
            bool rgbIds = d.comp[0].id == 'R' && d.comp[1].id == 'G' && d.comp[2].id == 'B';
            d.model = rgbIds ? ColourModel::Rgb : ColourModel::YCbCr;
        }
        return true;
    case 4:
        if (t != -1 && t != 0 && t != 2) return false;
        d.model = t == 2 ? ColourModel::Ycck : ColourModel::Cmyk;
        return true;
    }
    return false;
}

} // namespace

bool AllocatePlanes(Decoder& d) {
    for (int i = 0; i < d.componentCount; ++i) {
        Component& c = d.comp[i];
        if (c.plane) continue;
        c.plane = static_cast<uint8_t*>(std::malloc(c.planeBytes));
        if (!c.plane) return false;
        // Sequential blocks that no scan reaches (data cut short) stay
        // mid-grey; progressive reconstruction writes every block it shows.
        if (!d.progressive) std::memset(c.plane, 128, c.planeBytes);
    }
    return true;
}

// The pixels, and for a streamed picture the planes of one MCU row.
bool AllocatePixels(Decoder& d) {
    if (!d.image->pixels) {
        size_t pixelCount = size_t(d.width) * size_t(d.height);
        if (pixelCount > SIZE_MAX / 3) return false;
        d.image->pixels = static_cast<uint8_t*>(std::malloc(pixelCount * 3));
        if (!d.image->pixels) return false;
        d.image->width = d.width;
        d.image->height = d.height;
        d.image->pixelCount = d.width * d.height;
        d.image->paletteCount = 0;
    }
    if (!d.streamed) return true;
    for (int i = 0; i < d.componentCount; ++i) {
        Component& c = d.comp[i];
        c.plane = static_cast<uint8_t*>(std::malloc(c.stride * size_t(c.v) * 8));
        if (!c.plane) return false;
    }
    return true;
}

namespace {

void ReleasePlanes(Decoder& d) {
    for (Component& c : d.comp) {
        std::free(c.plane);
        std::free(c.coefs);
        c.plane = nullptr;
        c.coefs = nullptr;
    }
}

// The walk itself. Segments whose length runs past the data end the walk as
// the end of the data would: a cut-off stream keeps what its scans gave.
JpegStatus Walk(Decoder& d) {
    SegmentReader in = StartSegmentReader(d.data, d.length);
    if (ReadU8(in) != 0xFF || ReadU8(in) != 0xD8) return JpegStatus::NotJpeg;
    for (;;) {
        // Find the next marker: skip stray bytes and fill bytes.
        while (BytesLeft(in) > 0 && PeekU8(in) != 0xFF)
            SkipBytes(in, 1);
        while (BytesLeft(in) > 0 && PeekU8(in) == 0xFF)
            SkipBytes(in, 1);
        if (BytesLeft(in) == 0) return JpegStatus::Ok;
        uint32_t code = 0xFF00u | ReadU8(in);
        if (code == 0xFF00 || code == 0xFFD8 || code == 0xFF01 ||
            (code >= 0xFFD0 && code <= 0xFFD7))
            continue;
        if (code == 0xFFD9) return JpegStatus::Ok;
        size_t segment = ReadBe16(in);
        if (in.overrun) return JpegStatus::Ok;
        if (segment < 2) return JpegStatus::Corrupt;
        const SegmentReader body = TakeSegment(in, segment - 2);
        if (in.overrun) return JpegStatus::Ok;
        if (d.options.trace) std::printf("%x\n", unsigned(code));

        JpegStatus status = JpegStatus::Ok;
        switch (code) {
        case 0xFFC0:
        case 0xFFC1: // extended sequential, 8-bit: decoded as baseline
            status = ReadFrame(d, body, false);
            break;
        case 0xFFC2:
            status = ReadFrame(d, body, true);
            break;
        case 0xFFC3:
            if (d.options.trace) std::printf("空間可逆 not taiou\n");
            return JpegStatus::Unsupported;
        case 0xFFC5:
        case 0xFFC6:
        case 0xFFC7: // hierarchical
        case 0xFFC9:
        case 0xFFCA:
        case 0xFFCB: // arithmetic coding
        case 0xFFCC:
        case 0xFFCD:
        case 0xFFCE:
        case 0xFFCF:
            if (d.options.trace) std::printf("don't know marker 0x%x\n", unsigned(code));
            return JpegStatus::Unsupported;
        case 0xFFC4:
            if (!ReadHuffmanSegment(d, SegmentHere(body), BytesLeft(body)))
                status = JpegStatus::Corrupt;
            break;
        case 0xFFDB:
            status = ReadQuantTables(d, body);
            break;
        case 0xFFDD: {
            SegmentReader fields = body;
            const uint32_t interval = ReadBe16(fields);
            if (fields.overrun) return JpegStatus::Corrupt;
            d.restartInterval = int(interval);
            break;
        }
        case 0xFFFE:
            TraceText(d, "comment", body, 254);
            break;
        case 0xFFDA: {
            status = ReadScanHeader(d, body);
            if (status != JpegStatus::Ok) break;
            if (d.scansDecoded >= kMaxScans) return JpegStatus::Ok;
            if (d.scansDecoded == 0 && !ChooseColourModel(d)) return JpegStatus::Unsupported;
            if (!d.progressive && !d.streamed && !d.comp[0].plane) {
                // First sequential scan: stream it when it carries everything.
                d.streamed = d.scanCount == d.componentCount;
                if (!(d.streamed ? AllocatePixels(d) : AllocatePlanes(d)))
                    return JpegStatus::OutOfMemory;
            }
            // A streamed picture is complete after its one scan; the data
            // of further scans are stepped over by the marker search.
            if (d.streamed && d.scansDecoded > 0) break;
            SkipBytes(in, DecodeScan(d, SegmentHere(in), BytesLeft(in)));
            ++d.scansDecoded;
            break;
        }
        default:
            if (code >= 0xFFE0 && code <= 0xFFEF) {
                ReadApplicationSegment(d, code, body);
                TraceText(d, "app", body, 255);
                break;
            }
            // DNL, hierarchical and reserved markers: the picture keeps what
            // has been decoded so far.
            if (d.options.trace) std::printf("don't know marker 0x%x\n", unsigned(code));
            return JpegStatus::Ok;
        }
        if (status != JpegStatus::Ok) return status;
    }
}

} // namespace
} // namespace jpeg

JpegStatus DecodeJpegWith(DecodedImage* image, const uint8_t* data, size_t length,
                          const JpegDecodeOptions& options) {
    using namespace jpeg;
    *image = DecodedImage();
    if (!data) return JpegStatus::NotJpeg;
    Decoder* d = new (std::nothrow) Decoder();
    if (!d) return JpegStatus::OutOfMemory;
    d->data = data;
    d->length = length;
    d->options = options;
    d->image = image;
    d->kernels = SelectKernels(options.widest);

    JpegStatus status = Walk(*d);
    if (status == JpegStatus::Ok && (!d->frameSeen || d->scansDecoded == 0))
        status = JpegStatus::NoFrame;
    if (status == JpegStatus::Ok && d->progressive) {
        if (!ReconstructPicture(*d)) status = JpegStatus::OutOfMemory;
    } else if (status == JpegStatus::Ok && !d->streamed) {
        if (!AllocatePlanes(*d) || !AllocatePixels(*d)) {
            status = JpegStatus::OutOfMemory;
        } else {
            const int firstRow[kMaxComponents] = {};
            ConvertRows(*d, image, 0, d->height, firstRow);
        }
    }
    if (status != JpegStatus::Ok) ReleaseDecodedImage(image);
    ReleasePlanes(*d);
    delete d;
    return status;
}

int DecodeJpeg(DecodedImage* image, const uint8_t* data, size_t length) {
    return DecodeJpegWith(image, data, length, JpegDecodeOptions()) == JpegStatus::Ok ? 1 : 0;
}

void ReleaseDecodedImage(DecodedImage* image) {
    std::free(image->pixels);
    *image = DecodedImage();
}

const char* JpegStatusText(JpegStatus status) {
    switch (status) {
    case JpegStatus::Ok:
        return "ok";
    case JpegStatus::NoFrame:
        return "no frame or scan";
    case JpegStatus::NotJpeg:
        return "not a JPEG stream";
    case JpegStatus::Unsupported:
        return "unsupported JPEG process";
    case JpegStatus::TooLarge:
        return "picture too large";
    case JpegStatus::Corrupt:
        return "corrupt JPEG stream";
    case JpegStatus::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}
