#include "engine/inflate.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "text/nocase.h"

struct Inflater {
    z_stream z;
    InflateFormat format;
    int32_t started;   // inflateInit2 ran
    int32_t finished;  // Z_STREAM_END seen
    int32_t broken;
    unsigned char lead[2];  // deflate: the first bytes, which tell zlib from raw
    int32_t leadHave;
    int64_t out;
};

InflateFormat InflateFormatOf(const char* value) {
    while (*value == ' ' || *value == '\t') value++;
    size_t len = strlen(value);
    while (len > 0 && (value[len - 1] == ' ' || value[len - 1] == '\t')) len--;
    auto is = [&](const char* name) {
        return len == strlen(name) && StrNCmpI(value, name, (int)len) == 0;
    };
    if (is("gzip") || is("x-gzip")) return InflateGzip;
    if (is("deflate")) return InflateDeflate;
    return InflateNone;
}

Inflater* InflateOpen(InflateFormat format) {
    Inflater* inflater = (Inflater*)calloc(1, sizeof(Inflater));
    if (inflater) inflater->format = format;
    return inflater;
}

// A zlib header: method 8 and a check sum that divides by 31.
static bool IsZlibHeader(const unsigned char* b) {
    return (b[0] & 0x0f) == 8 && ((b[0] << 8) | b[1]) % 31 == 0;
}

static bool Start(Inflater* f, int windowBits) {
    if (inflateInit2(&f->z, windowBits) != Z_OK) return false;
    f->started = 1;
    return true;
}

static InflateAnswer Run(Inflater* f, const unsigned char* in, int n, ChunkSink sink,
                         void* context) {
    static unsigned char out[64 * 1024];
    f->z.next_in = const_cast<unsigned char*>(in);
    f->z.avail_in = (uInt)n;
    while (!f->finished) {
        f->z.next_out = out;
        f->z.avail_out = sizeof out;
        int rc = inflate(&f->z, Z_NO_FLUSH);
        int made = (int)(sizeof out - f->z.avail_out);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            f->broken = 1;
            return InflateCorrupt;
        }
        if (made > 0) {
            if (f->out + made > kInflateLimit) {
                f->broken = 1;
                return InflateTooLarge;
            }
            f->out += made;
            if (!sink((const char*)out, made, context)) return InflateStopped;
        }
        if (rc == Z_STREAM_END) f->finished = 1;
        // All input taken and room left over: nothing more comes of it now.
        if (rc == Z_BUF_ERROR || (f->z.avail_in == 0 && f->z.avail_out > 0)) break;
    }
    return f->finished ? InflateDone : InflateWantMore;
}

InflateAnswer InflateFeed(Inflater* f, const char* bytes, int n, ChunkSink sink, void* context) {
    if (f->broken) return InflateCorrupt;
    if (f->finished) return InflateDone;
    const unsigned char* in = (const unsigned char*)bytes;
    if (!f->started && f->format == InflateGzip && !Start(f, 16 + MAX_WBITS)) return InflateCorrupt;
    if (!f->started) {
        // Deflate: zlib-wrapped by the standard, raw from some servers.
        while (f->leadHave < 2 && n > 0) {
            f->lead[f->leadHave++] = *in++;
            n--;
        }
        if (f->leadHave < 2) return InflateWantMore;
        if (!Start(f, IsZlibHeader(f->lead) ? MAX_WBITS : -MAX_WBITS)) return InflateCorrupt;
        InflateAnswer a = Run(f, f->lead, 2, sink, context);
        if (a != InflateWantMore) return a;
    }
    if (n == 0) return InflateWantMore;
    return Run(f, in, n, sink, context);
}

bool InflateFinished(const Inflater* f) { return f->finished != 0; }

void InflateClose(Inflater* f) {
    if (!f) return;
    if (f->started) inflateEnd(&f->z);
    free(f);
}
