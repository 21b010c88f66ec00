// Inflating a compressed page (Content-Encoding gzip or deflate) as its
// bytes arrive, through zlib, with a bound on what it may become.
#pragma once
#include <cstdint>

#include "engine/chunked.h"  // ChunkSink: the same shape of receiver

// A page that inflates past this is refused: a small answer must not
// become an endless one.
constexpr int64_t kInflateLimit = 64 * 1024 * 1024;

enum InflateFormat {
    InflateNone = 0,
    InflateGzip = 1,     // gzip, x-gzip
    InflateDeflate = 2,  // deflate: zlib-wrapped, or raw as some servers send it
};
// The coding a Content-Encoding value names, InflateNone for none or one
// not known (then the bytes are kept as they came).
InflateFormat InflateFormatOf(const char* contentEncoding);

struct Inflater;  // defined in inflate.cpp

enum InflateAnswer {
    InflateWantMore = 0,
    InflateDone = 1,      // the compressed stream ended; later bytes are ignored
    InflateCorrupt = 2,
    InflateTooLarge = 3,  // past kInflateLimit
    InflateStopped = 4,   // the receiver ended
};
// nullptr when memory is short.
Inflater* InflateOpen(InflateFormat format);
// Inflates bytes[0, n); the page's bytes go to sink.
InflateAnswer InflateFeed(Inflater* inflater, const char* bytes, int n, ChunkSink sink,
                          void* context);
// True once the compressed stream ended whole.
bool InflateFinished(const Inflater* inflater);
void InflateClose(Inflater* inflater);
