// HPACK header compression (RFC 7541) for the HTTP/2 session: a decoder
// with its dynamic table for the server's header blocks, and a plain
// encoder for our request heads. Pure functions over fed bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/h2_session.h"

// Each table entry costs its name and value plus 32 bytes, so this many
// entries at most fit in the table we announce.
constexpr int kHpackMaxEntries = (int)(kH2HeaderTableSize / 32);

struct HpackEntry {
    uint32_t offset; // into HpackDecoder::bytes
    uint32_t nameLength;
    uint32_t valueLength;
};

// The decoder's dynamic table: entries[first, first + count) oldest first,
// their texts in bytes[start, used) in the same order. Evicting only moves
// first and start; the arrays are twice the most they hold, so packing
// them again is needed at most once per table's worth of new entries. A
// zero-filled record is a new decoder with the size we announce.
struct HpackDecoder {
    uint32_t limit; // size the server last set, when limitSet
    int32_t limitSet;
    uint32_t size; // sum of the entries' sizes
    int32_t first;
    int32_t count;
    HpackEntry entries[2 * kHpackMaxEntries];
    uint32_t start;
    uint32_t used;
    char bytes[2 * kH2HeaderTableSize];
};

// One decoded header list. fields point into bytes. listSize counts each
// field as name + value + 32, as SETTINGS_MAX_HEADER_LIST_SIZE does.
struct HpackFields {
    H2Header fields[kH2MaxHeaders];
    int32_t count;
    uint32_t listSize;
    uint32_t stored; // bytes of bytes in use
    // A field the table may keep is at most kH2HeaderTableSize bytes; this
    // room past the list's bound always holds it, so the table stays in
    // step even when the list has grown too large.
    char bytes[kH2MaxHeaderListSize + kH2HeaderTableSize];
};

enum HpackResult {
    HpackOk = 0,
    HpackTooLarge = 1,  // well formed, but more than kH2MaxHeaderListSize or kH2MaxHeaders:
                        // fields is emptied, the table kept in step
    HpackBroken = 2,    // a COMPRESSION_ERROR: the connection cannot go on
    HpackExcessive = 3, // more copying than any honest block needs: built to
                        // burn our time, not decoded further
};

// Bytes one block may make the decoder copy. A list at its bound and its
// entries into the table take a few times kH2MaxHeaderListSize at most.
constexpr uint32_t kHpackMaxWork = 16 * kH2MaxHeaderListSize;

// Decodes one whole header block into out (its previous content dropped).
HpackResult HpackDecode(HpackDecoder* decoder, const uint8_t* block, size_t n, HpackFields* out);

// Appends one field to out[*used, room) as an indexed static entry or a
// literal without indexing, its strings Huffman coded when that is shorter.
// False, with *used unchanged, when it does not fit.
bool HpackEncodeField(uint8_t* out, size_t room, size_t* used, const char* name, size_t nameLength,
                      const char* value, size_t valueLength);

// Integer and Huffman primitives, shared with the tests. HpackReadInteger
// answers false on a cut or a value above 2^31 - 1.
bool HpackReadInteger(const uint8_t* bytes, size_t n, size_t* at, int prefixBits,
                      uint32_t* valueOut);
bool HpackWriteInteger(uint8_t* out, size_t room, size_t* used, int prefixBits, uint8_t flags,
                       uint32_t value);
// Decodes bytes[0, n) into out[0, room) and tells the whole decoded length,
// which may be more than room (the rest is not written; out may be null).
// False for a broken code: EOS, or padding past 7 bits or not all ones.
bool HpackHuffmanDecode(const uint8_t* bytes, size_t n, char* out, size_t room, size_t* lengthOut);
size_t HpackHuffmanLength(const char* text, size_t n);
