// The chunked transfer coding of an answer's body, decoded as its bytes
// arrive: sizes in hex with extensions, the data, and the trailer lines.
// A pure parser, fed bytes.
#pragma once
#include <cstdint>

// A size line (size and extensions) or a trailer line longer than this, or
// trailers longer than kChunkTrailerLimit in all, break the stream.
constexpr int kChunkLineLimit = 4096;
constexpr int kChunkTrailerLimit = 64 * 1024;
// A chunk size of more hex digits than this (2^60 and up) is refused.
constexpr int kChunkSizeDigits = 15;

enum ChunkState : int32_t {
    ChunkSize = 0,      // hex digits of the size
    ChunkExtension,     // after the size, up to the line's end
    ChunkData,          // the chunk's bytes
    ChunkDataEnd,       // the line end after the data
    ChunkTrailer,       // trailer lines after the last chunk
    ChunkFinished,      // the blank line after the trailers was seen
    ChunkBroken,
};

struct ChunkDecoder {
    int32_t state;
    int32_t digits;     // hex digits of the current size
    int64_t left;       // data bytes of the current chunk still to come
    int32_t line;       // bytes of the current line so far
    int32_t sawCr;      // the current line end began with CR
    int32_t trailer;    // trailer bytes so far
};

// Called with each run of data bytes; false stops the decoding (the
// receiver has ended).
using ChunkSink = bool (*)(const char* bytes, int n, void* context);

enum ChunkAnswer { ChunkWantMore = 0, ChunkDone = 1, ChunkError = 2, ChunkStopped = 3 };
// Decodes bytes[0, n): data runs go to sink. Done once the last chunk and
// the trailers are through; *used then tells how many bytes belonged to the
// body (the rest came after it). A zero-filled decoder starts a body.
ChunkAnswer ChunkFeed(ChunkDecoder* decoder, const char* bytes, int n, ChunkSink sink,
                      void* context, int* used);
