#include "engine/hpack.h"

#include <cstring>

namespace {

struct StaticEntry {
    const char* name;
    const char* value;
};

// RFC 7541 Appendix A; index 1 is the first.
constexpr StaticEntry kStatic[] = {
    {":authority", ""},
    {":method", "GET"},
    {":method", "POST"},
    {":path", "/"},
    {":path", "/index.html"},
    {":scheme", "http"},
    {":scheme", "https"},
    {":status", "200"},
    {":status", "204"},
    {":status", "206"},
    {":status", "304"},
    {":status", "400"},
    {":status", "404"},
    {":status", "500"},
    {"accept-charset", ""},
    {"accept-encoding", "gzip, deflate"},
    {"accept-language", ""},
    {"accept-ranges", ""},
    {"accept", ""},
    {"access-control-allow-origin", ""},
    {"age", ""},
    {"allow", ""},
    {"authorization", ""},
    {"cache-control", ""},
    {"content-disposition", ""},
    {"content-encoding", ""},
    {"content-language", ""},
    {"content-length", ""},
    {"content-location", ""},
    {"content-range", ""},
    {"content-type", ""},
    {"cookie", ""},
    {"date", ""},
    {"etag", ""},
    {"expect", ""},
    {"expires", ""},
    {"from", ""},
    {"host", ""},
    {"if-match", ""},
    {"if-modified-since", ""},
    {"if-none-match", ""},
    {"if-range", ""},
    {"if-unmodified-since", ""},
    {"last-modified", ""},
    {"link", ""},
    {"location", ""},
    {"max-forwards", ""},
    {"proxy-authenticate", ""},
    {"proxy-authorization", ""},
    {"range", ""},
    {"referer", ""},
    {"refresh", ""},
    {"retry-after", ""},
    {"server", ""},
    {"set-cookie", ""},
    {"strict-transport-security", ""},
    {"transfer-encoding", ""},
    {"user-agent", ""},
    {"vary", ""},
    {"via", ""},
    {"www-authenticate", ""},
};
constexpr uint32_t kStaticCount = sizeof(kStatic) / sizeof(kStatic[0]);

struct HuffmanCode {
    uint32_t code; // right-aligned
    uint8_t bits;
};

// RFC 7541 Appendix B, by symbol; 256 is EOS.
constexpr HuffmanCode kHuffman[257] = {
    {0x1ff8, 13},     {0x7fffd8, 23},   {0xfffffe2, 28},  {0xfffffe3, 28},  {0xfffffe4, 28},
    {0xfffffe5, 28},  {0xfffffe6, 28},  {0xfffffe7, 28},  {0xfffffe8, 28},  {0xffffea, 24},
    {0x3ffffffc, 30}, {0xfffffe9, 28},  {0xfffffea, 28},  {0x3ffffffd, 30}, {0xfffffeb, 28},
    {0xfffffec, 28},  {0xfffffed, 28},  {0xfffffee, 28},  {0xfffffef, 28},  {0xffffff0, 28},
    {0xffffff1, 28},  {0xffffff2, 28},  {0x3ffffffe, 30}, {0xffffff3, 28},  {0xffffff4, 28},
    {0xffffff5, 28},  {0xffffff6, 28},  {0xffffff7, 28},  {0xffffff8, 28},  {0xffffff9, 28},
    {0xffffffa, 28},  {0xffffffb, 28},  {0x14, 6},        {0x3f8, 10},      {0x3f9, 10},
    {0xffa, 12},      {0x1ff9, 13},     {0x15, 6},        {0xf8, 8},        {0x7fa, 11},
    {0x3fa, 10},      {0x3fb, 10},      {0xf9, 8},        {0x7fb, 11},      {0xfa, 8},
    {0x16, 6},        {0x17, 6},        {0x18, 6},        {0x0, 5},         {0x1, 5},
    {0x2, 5},         {0x19, 6},        {0x1a, 6},        {0x1b, 6},        {0x1c, 6},
    {0x1d, 6},        {0x1e, 6},        {0x1f, 6},        {0x5c, 7},        {0xfb, 8},
    {0x7ffc, 15},     {0x20, 6},        {0xffb, 12},      {0x3fc, 10},      {0x1ffa, 13},
    {0x21, 6},        {0x5d, 7},        {0x5e, 7},        {0x5f, 7},        {0x60, 7},
    {0x61, 7},        {0x62, 7},        {0x63, 7},        {0x64, 7},        {0x65, 7},
    {0x66, 7},        {0x67, 7},        {0x68, 7},        {0x69, 7},        {0x6a, 7},
    {0x6b, 7},        {0x6c, 7},        {0x6d, 7},        {0x6e, 7},        {0x6f, 7},
    {0x70, 7},        {0x71, 7},        {0x72, 7},        {0xfc, 8},        {0x73, 7},
    {0xfd, 8},        {0x1ffb, 13},     {0x7fff0, 19},    {0x1ffc, 13},     {0x3ffc, 14},
    {0x22, 6},        {0x7ffd, 15},     {0x3, 5},         {0x23, 6},        {0x4, 5},
    {0x24, 6},        {0x5, 5},         {0x25, 6},        {0x26, 6},        {0x27, 6},
    {0x6, 5},         {0x74, 7},        {0x75, 7},        {0x28, 6},        {0x29, 6},
    {0x2a, 6},        {0x7, 5},         {0x2b, 6},        {0x76, 7},        {0x2c, 6},
    {0x8, 5},         {0x9, 5},         {0x2d, 6},        {0x77, 7},        {0x78, 7},
    {0x79, 7},        {0x7a, 7},        {0x7b, 7},        {0x7ffe, 15},     {0x7fc, 11},
    {0x3ffd, 14},     {0x1ffd, 13},     {0xffffffc, 28},  {0xfffe6, 20},    {0x3fffd2, 22},
    {0xfffe7, 20},    {0xfffe8, 20},    {0x3fffd3, 22},   {0x3fffd4, 22},   {0x3fffd5, 22},
    {0x7fffd9, 23},   {0x3fffd6, 22},   {0x7fffda, 23},   {0x7fffdb, 23},   {0x7fffdc, 23},
    {0x7fffdd, 23},   {0x7fffde, 23},   {0xffffeb, 24},   {0x7fffdf, 23},   {0xffffec, 24},
    {0xffffed, 24},   {0x3fffd7, 22},   {0x7fffe0, 23},   {0xffffee, 24},   {0x7fffe1, 23},
    {0x7fffe2, 23},   {0x7fffe3, 23},   {0x7fffe4, 23},   {0x1fffdc, 21},   {0x3fffd8, 22},
    {0x7fffe5, 23},   {0x3fffd9, 22},   {0x7fffe6, 23},   {0x7fffe7, 23},   {0xffffef, 24},
    {0x3fffda, 22},   {0x1fffdd, 21},   {0xfffe9, 20},    {0x3fffdb, 22},   {0x3fffdc, 22},
    {0x7fffe8, 23},   {0x7fffe9, 23},   {0x1fffde, 21},   {0x7fffea, 23},   {0x3fffdd, 22},
    {0x3fffde, 22},   {0xfffff0, 24},   {0x1fffdf, 21},   {0x3fffdf, 22},   {0x7fffeb, 23},
    {0x7fffec, 23},   {0x1fffe0, 21},   {0x1fffe1, 21},   {0x3fffe0, 22},   {0x1fffe2, 21},
    {0x7fffed, 23},   {0x3fffe1, 22},   {0x7fffee, 23},   {0x7fffef, 23},   {0xfffea, 20},
    {0x3fffe2, 22},   {0x3fffe3, 22},   {0x3fffe4, 22},   {0x7ffff0, 23},   {0x3fffe5, 22},
    {0x3fffe6, 22},   {0x7ffff1, 23},   {0x3ffffe0, 26},  {0x3ffffe1, 26},  {0xfffeb, 20},
    {0x7fff1, 19},    {0x3fffe7, 22},   {0x7ffff2, 23},   {0x3fffe8, 22},   {0x1ffffec, 25},
    {0x3ffffe2, 26},  {0x3ffffe3, 26},  {0x3ffffe4, 26},  {0x7ffffde, 27},  {0x7ffffdf, 27},
    {0x3ffffe5, 26},  {0xfffff1, 24},   {0x1ffffed, 25},  {0x7fff2, 19},    {0x1fffe3, 21},
    {0x3ffffe6, 26},  {0x7ffffe0, 27},  {0x7ffffe1, 27},  {0x3ffffe7, 26},  {0x7ffffe2, 27},
    {0xfffff2, 24},   {0x1fffe4, 21},   {0x1fffe5, 21},   {0x3ffffe8, 26},  {0x3ffffe9, 26},
    {0xffffffd, 28},  {0x7ffffe3, 27},  {0x7ffffe4, 27},  {0x7ffffe5, 27},  {0xfffec, 20},
    {0xfffff3, 24},   {0xfffed, 20},    {0x1fffe6, 21},   {0x3fffe9, 22},   {0x1fffe7, 21},
    {0x1fffe8, 21},   {0x7ffff3, 23},   {0x3fffea, 22},   {0x3fffeb, 22},   {0x1ffffee, 25},
    {0x1ffffef, 25},  {0xfffff4, 24},   {0xfffff5, 24},   {0x3ffffea, 26},  {0x7ffff4, 23},
    {0x3ffffeb, 26},  {0x7ffffe6, 27},  {0x3ffffec, 26},  {0x3ffffed, 26},  {0x7ffffe7, 27},
    {0x7ffffe8, 27},  {0x7ffffe9, 27},  {0x7ffffea, 27},  {0x7ffffeb, 27},  {0xffffffe, 28},
    {0x7ffffec, 27},  {0x7ffffed, 27},  {0x7ffffee, 27},  {0x7ffffef, 27},  {0x7fffff0, 27},
    {0x3ffffee, 26},  {0x3fffffff, 30},
};

constexpr int kHuffmanMaxBits = 30;

// The code is canonical: the codes of one length are consecutive in symbol
// order and below the prefixes of longer codes, so a decoder needs only each
// length's first code and its symbols in order.
struct HuffmanDecodeTable {
    uint32_t first[kHuffmanMaxBits + 1];
    uint16_t start[kHuffmanMaxBits + 1];
    uint16_t count[kHuffmanMaxBits + 1];
    uint16_t symbols[257];
    bool canonical;
};

constexpr HuffmanDecodeTable MakeDecodeTable() {
    HuffmanDecodeTable t = {};
    for (int s = 0; s < 257; s++)
        t.count[kHuffman[s].bits]++;
    uint16_t at = 0;
    for (int b = 1; b <= kHuffmanMaxBits; b++) {
        t.start[b] = at;
        at = (uint16_t)(at + t.count[b]);
    }
    uint16_t placed[kHuffmanMaxBits + 1] = {};
    for (int s = 0; s < 257; s++) {
        int b = kHuffman[s].bits;
        t.symbols[t.start[b] + placed[b]++] = (uint16_t)s;
    }
    t.canonical = true;
    for (int b = 1; b <= kHuffmanMaxBits; b++) {
        if (t.count[b] == 0) continue;
        t.first[b] = kHuffman[t.symbols[t.start[b]]].code;
        for (int k = 0; k < t.count[b]; k++) {
            if (kHuffman[t.symbols[t.start[b] + k]].code != t.first[b] + (uint32_t)k)
                t.canonical = false;
        }
    }
    return t;
}

constexpr HuffmanDecodeTable kDecode = MakeDecodeTable();
static_assert(kDecode.canonical, "the Huffman table must be canonical");

constexpr uint32_t kMaxInteger = 0x7fffffff;
constexpr uint32_t kEntryOverhead = 32;

// Where a decoded string ended up: stored at out->bytes[at, at + length), or
// dropped when it did not fit (only checked; such a field is too long for
// the table anyway).
struct Text {
    uint32_t at;
    uint32_t length;
    bool stored;
};

uint32_t TableLimit(const HpackDecoder* d) {
    return d->limitSet ? d->limit : kH2HeaderTableSize;
}

// Drops the k oldest entries.
void Evict(HpackDecoder* d, int k) {
    for (int i = d->first; i < d->first + k; i++) {
        d->size -= d->entries[i].nameLength + d->entries[i].valueLength + kEntryOverhead;
    }
    d->first += k;
    d->count -= k;
    d->start = d->count > 0 ? d->entries[d->first].offset : d->used;
}

void FitTable(HpackDecoder* d, uint32_t room) {
    int k = 0;
    uint32_t size = d->size;
    while (k < d->count && size > room) {
        const HpackEntry& e = d->entries[d->first + k];
        size -= e.nameLength + e.valueLength + kEntryOverhead;
        k++;
    }
    Evict(d, k);
}

// Moves the live entries and texts back to the arrays' starts.
void Pack(HpackDecoder* d, uint64_t* work) {
    memmove(d->entries, d->entries + d->first, (size_t)d->count * sizeof(HpackEntry));
    d->first = 0;
    for (int i = 0; i < d->count; i++)
        d->entries[i].offset -= d->start;
    memmove(d->bytes, d->bytes + d->start, d->used - d->start);
    *work += d->used - d->start;
    d->used -= d->start;
    d->start = 0;
}

// A field too large for the table empties it and is not kept (RFC 7541 4.4).
void Insert(HpackDecoder* d, const char* name, uint32_t nameLength, const char* value,
            uint32_t valueLength, bool whole, uint64_t* work) {
    uint64_t size = (uint64_t)nameLength + valueLength + kEntryOverhead;
    uint32_t limit = TableLimit(d);
    if (!whole || size > limit) {
        Evict(d, d->count);
        return;
    }
    FitTable(d, limit - (uint32_t)size);
    // The live texts and the new one stay below kH2HeaderTableSize, so
    // after packing both arrays have room.
    if (d->first + d->count == 2 * kHpackMaxEntries ||
        d->used + nameLength + valueLength > sizeof(d->bytes)) {
        Pack(d, work);
    }
    HpackEntry* e = &d->entries[d->first + d->count++];
    e->offset = d->used;
    e->nameLength = nameLength;
    e->valueLength = valueLength;
    memcpy(d->bytes + d->used, name, nameLength);
    memcpy(d->bytes + d->used + nameLength, value, valueLength);
    d->used += nameLength + valueLength;
    d->size += (uint32_t)size;
    *work += nameLength + valueLength;
}

// The name and value of table index i (static, then dynamic newest first).
bool Lookup(const HpackDecoder* d, uint32_t i, const char** name, uint32_t* nameLength,
            const char** value, uint32_t* valueLength) {
    if (i == 0) return false;
    if (i <= kStaticCount) {
        *name = kStatic[i - 1].name;
        *nameLength = (uint32_t)strlen(*name);
        *value = kStatic[i - 1].value;
        *valueLength = (uint32_t)strlen(*value);
        return true;
    }
    uint32_t j = i - kStaticCount - 1;
    if (j >= (uint32_t)d->count) return false;
    const HpackEntry& e = d->entries[d->first + d->count - 1 - (int)j];
    *name = d->bytes + e.offset;
    *nameLength = e.nameLength;
    *value = d->bytes + e.offset + e.nameLength;
    *valueLength = e.valueLength;
    return true;
}

Text Place(HpackFields* out, const char* text, uint32_t length) {
    Text t = {out->stored, length, false};
    if (length <= sizeof(out->bytes) - out->stored) {
        memcpy(out->bytes + out->stored, text, length);
        out->stored += length;
        t.stored = true;
    }
    return t;
}

bool ReadString(const uint8_t* b, size_t n, size_t* at, HpackFields* out, Text* t) {
    if (*at >= n) return false;
    bool huffman = (b[*at] & 0x80) != 0;
    uint32_t length = 0;
    if (!HpackReadInteger(b, n, at, 7, &length)) return false;
    if (length > n - *at) return false;
    const uint8_t* text = b + *at;
    *at += length;
    if (!huffman) {
        *t = Place(out, (const char*)text, length);
        return true;
    }
    size_t room = sizeof(out->bytes) - out->stored;
    size_t decoded = 0;
    if (!HpackHuffmanDecode(text, length, out->bytes + out->stored, room, &decoded)) return false;
    // Huffman codes are 5 bits or more, so decoded stays below 2^32.
    *t = {out->stored, (uint32_t)decoded, decoded <= room};
    if (t->stored) out->stored += (uint32_t)decoded;
    return true;
}

} // namespace

bool HpackReadInteger(const uint8_t* bytes, size_t n, size_t* at, int prefixBits,
                      uint32_t* valueOut) {
    if (*at >= n) return false;
    uint32_t mask = (1u << prefixBits) - 1;
    uint64_t value = bytes[(*at)++] & mask;
    if (value == mask) {
        // Five continuation bytes carry 35 bits, past the 31 allowed.
        for (int shift = 0;; shift += 7) {
            if (*at >= n || shift > 28) return false;
            uint8_t b = bytes[(*at)++];
            value += (uint64_t)(b & 0x7f) << shift;
            if (value > kMaxInteger) return false;
            if (!(b & 0x80)) break;
        }
    }
    *valueOut = (uint32_t)value;
    return true;
}

bool HpackWriteInteger(uint8_t* out, size_t room, size_t* used, int prefixBits, uint8_t flags,
                       uint32_t value) {
    uint32_t mask = (1u << prefixBits) - 1;
    size_t at = *used;
    if (at >= room) return false;
    if (value < mask) {
        out[at++] = (uint8_t)(flags | value);
    } else {
        out[at++] = (uint8_t)(flags | mask);
        value -= mask;
        while (value >= 0x80) {
            if (at >= room) return false;
            out[at++] = (uint8_t)(0x80 | (value & 0x7f));
            value >>= 7;
        }
        if (at >= room) return false;
        out[at++] = (uint8_t)value;
    }
    *used = at;
    return true;
}

bool HpackHuffmanDecode(const uint8_t* bytes, size_t n, char* out, size_t room, size_t* lengthOut) {
    uint32_t code = 0;
    int bits = 0;
    size_t length = 0;
    for (size_t i = 0; i < n; i++) {
        for (int k = 7; k >= 0; k--) {
            code = (code << 1) | ((bytes[i] >> k) & 1u);
            bits++;
            uint32_t rank = code - kDecode.first[bits];
            if (kDecode.count[bits] == 0 || rank >= kDecode.count[bits]) {
                if (bits == kHuffmanMaxBits) return false;
                continue;
            }
            uint16_t symbol = kDecode.symbols[kDecode.start[bits] + rank];
            if (symbol == 256) return false; // EOS inside a string
            if (out && length < room) out[length] = (char)symbol;
            length++;
            code = 0;
            bits = 0;
        }
    }
    // What is left must be a prefix of EOS (all ones), shorter than a byte.
    if (bits > 7 || code != (1u << bits) - 1) return false;
    *lengthOut = length;
    return true;
}

size_t HpackHuffmanLength(const char* text, size_t n) {
    uint64_t bits = 0;
    for (size_t i = 0; i < n; i++)
        bits += kHuffman[(uint8_t)text[i]].bits;
    return (size_t)((bits + 7) / 8);
}

HpackResult HpackDecode(HpackDecoder* d, const uint8_t* b, size_t n, HpackFields* out) {
    out->count = 0;
    out->listSize = 0;
    out->stored = 0;
    bool tooLarge = false;
    bool sawField = false;
    uint64_t work = 0;
    size_t at = 0;
    while (at < n) {
        uint8_t first = b[at];
        if ((first & 0xe0) == 0x20) {
            // A table size update, allowed only before the block's first field.
            uint32_t limit = 0;
            if (sawField || !HpackReadInteger(b, n, &at, 5, &limit)) return HpackBroken;
            if (limit > kH2HeaderTableSize) return HpackBroken;
            d->limit = limit;
            d->limitSet = 1;
            FitTable(d, limit);
            continue;
        }
        sawField = true;
        Text name = {};
        Text value = {};
        bool indexing = false;
        if (first & 0x80) {
            uint32_t index = 0;
            const char* n1;
            const char* v1;
            uint32_t nl, vl;
            if (!HpackReadInteger(b, n, &at, 7, &index)) return HpackBroken;
            if (!Lookup(d, index, &n1, &nl, &v1, &vl)) return HpackBroken;
            if (tooLarge) continue; // refers to the table, changes nothing
            name = Place(out, n1, nl);
            value = Place(out, v1, vl);
        } else {
            indexing = (first & 0xc0) == 0x40;
            uint32_t index = 0;
            if (!HpackReadInteger(b, n, &at, indexing ? 6 : 4, &index)) return HpackBroken;
            if (index == 0) {
                if (!ReadString(b, n, &at, out, &name)) return HpackBroken;
            } else {
                const char* n1;
                const char* v1;
                uint32_t nl, vl;
                if (!Lookup(d, index, &n1, &nl, &v1, &vl)) return HpackBroken;
                name = Place(out, n1, nl);
            }
            if (!ReadString(b, n, &at, out, &value)) return HpackBroken;
        }
        bool whole = name.stored && value.stored;
        work += name.length + value.length;
        if (indexing) {
            Insert(d, out->bytes + name.at, name.length, out->bytes + value.at, value.length, whole,
                   &work);
        }
        if (work > kHpackMaxWork) return HpackExcessive;
        uint64_t size = (uint64_t)name.length + value.length + kEntryOverhead;
        if (!tooLarge && (!whole || out->count == kH2MaxHeaders ||
                          out->listSize + size > kH2MaxHeaderListSize)) {
            tooLarge = true;
            out->count = 0;
            out->listSize = 0;
        }
        if (tooLarge) {
            out->stored = 0;
            continue;
        }
        H2Header* f = &out->fields[out->count++];
        f->name = out->bytes + name.at;
        f->nameLength = (int32_t)name.length;
        f->value = out->bytes + value.at;
        f->valueLength = (int32_t)value.length;
        out->listSize += (uint32_t)size;
    }
    return tooLarge ? HpackTooLarge : HpackOk;
}

namespace {

bool WriteString(uint8_t* out, size_t room, size_t* used, const char* text, size_t n) {
    size_t huffman = HpackHuffmanLength(text, n);
    if (huffman >= n) {
        if (!HpackWriteInteger(out, room, used, 7, 0x00, (uint32_t)n)) return false;
        if (n > room - *used) return false;
        memcpy(out + *used, text, n);
        *used += n;
        return true;
    }
    if (!HpackWriteInteger(out, room, used, 7, 0x80, (uint32_t)huffman)) return false;
    if (huffman > room - *used) return false;
    uint64_t pending = 0;
    int bits = 0;
    size_t at = *used;
    for (size_t i = 0; i < n; i++) {
        const HuffmanCode& c = kHuffman[(uint8_t)text[i]];
        pending = (pending << c.bits) | c.code;
        bits += c.bits;
        while (bits >= 8) {
            bits -= 8;
            out[at++] = (uint8_t)(pending >> bits);
        }
    }
    // Padded with the high bits of EOS, all ones.
    if (bits > 0) out[at++] = (uint8_t)((pending << (8 - bits)) | (0xffu >> bits));
    *used = at;
    return true;
}

} // namespace

bool HpackEncodeField(uint8_t* out, size_t room, size_t* used, const char* name, size_t nameLength,
                      const char* value, size_t valueLength) {
    if (nameLength > kMaxInteger || valueLength > kMaxInteger) return false;
    uint32_t nameIndex = 0;
    for (uint32_t i = 0; i < kStaticCount; i++) {
        if (strlen(kStatic[i].name) != nameLength || memcmp(kStatic[i].name, name, nameLength) != 0)
            continue;
        if (strlen(kStatic[i].value) == valueLength &&
            memcmp(kStatic[i].value, value, valueLength) == 0 && valueLength > 0) {
            return HpackWriteInteger(out, room, used, 7, 0x80, i + 1);
        }
        if (nameIndex == 0) nameIndex = i + 1;
    }
    size_t at = *used;
    bool ok = HpackWriteInteger(out, room, &at, 4, 0x00, nameIndex) &&
              (nameIndex != 0 || WriteString(out, room, &at, name, nameLength)) &&
              WriteString(out, room, &at, value, valueLength);
    if (ok) *used = at;
    return ok;
}
