#include "engine/chunked.h"

#include "text/text.h"

static ChunkAnswer Break(ChunkDecoder* d) {
    d->state = ChunkBroken;
    return ChunkError;
}

// The size line ended: the data, or the trailers after the last chunk.
static void EndSizeLine(ChunkDecoder* d) {
    d->line = 0;
    d->state = d->left > 0 ? ChunkData : ChunkTrailer;
}

ChunkAnswer ChunkFeed(ChunkDecoder* d, const char* bytes, int n, ChunkSink sink, void* context,
                      int* used) {
    *used = 0;
    if (d->state == ChunkBroken) return ChunkError;
    if (d->state == ChunkFinished) return ChunkDone;
    int p = 0;
    while (p < n) {
        if (d->state == ChunkData) {
            int run = d->left < (int64_t)(n - p) ? (int)d->left : n - p;
            if (!sink(bytes + p, run, context)) return ChunkStopped;
            p += run;
            d->left -= run;
            if (d->left == 0) {
                d->state = ChunkDataEnd;
                d->sawCr = 0;
            }
            continue;
        }
        char c = bytes[p++];
        switch (d->state) {
        case ChunkSize: {
            int v = HexDigitValue(c);
            if (v >= 0) {
                if (++d->digits > kChunkSizeDigits) return Break(d);
                d->left = d->left * 16 + v;
                d->line++;
                break;
            }
            if (d->digits == 0) return Break(d);
            d->state = ChunkExtension;
            d->sawCr = 0;
            p--;  // the extension state reads this byte
            break;
        }
        case ChunkExtension:
            if (++d->line > kChunkLineLimit) return Break(d);
            if (c == '\n') EndSizeLine(d);
            else if (d->sawCr) return Break(d);  // a lone CR
            else if (c == '\r') d->sawCr = 1;
            else if (c != ';' && c != ' ' && c != '\t' && d->line == d->digits + 1) return Break(d);
            break;
        case ChunkDataEnd:
            if (c == '\r' && !d->sawCr) d->sawCr = 1;
            else if (c == '\n') {
                d->state = ChunkSize;
                d->digits = 0;
                d->left = 0;
                d->line = 0;
            } else return Break(d);
            break;
        case ChunkTrailer:
            if (++d->trailer > kChunkTrailerLimit) return Break(d);
            if (c == '\n') {
                if (d->line == 0) {
                    d->state = ChunkFinished;
                    *used = p;
                    return ChunkDone;
                }
                d->line = 0;
            } else if (c != '\r' || d->line > 0) {
                if (++d->line > kChunkLineLimit) return Break(d);
            }
            break;
        default:
            return Break(d);
        }
    }
    *used = p;
    return ChunkWantMore;
}
