// libFuzzer target for the HPACK decoder: the input is a run of header
// blocks (each after a two-byte length) through one decoder, as a server's
// blocks go through a connection. The table and the list keep their bounds,
// and every decoded list, encoded again by our encoder, decodes to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/hpack.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "hpack_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

namespace {

HpackDecoder decoder;
HpackDecoder fresh;
HpackFields fields;
HpackFields again;
uint8_t encoded[kH2MaxHeaderListSize * 2];

void CheckTable(const HpackDecoder& d) {
    uint32_t limit = d.limitSet ? d.limit : kH2HeaderTableSize;
    Check(d.size <= limit && limit <= kH2HeaderTableSize);
    Check(d.count >= 0 && d.count <= kHpackMaxEntries && d.first >= 0);
    Check(d.first + d.count <= 2 * kHpackMaxEntries && d.used <= sizeof d.bytes);
    uint32_t size = 0, at = d.start;
    for (int i = d.first; i < d.first + d.count; i++) {
        Check(d.entries[i].offset == at);
        at += d.entries[i].nameLength + d.entries[i].valueLength;
        size += d.entries[i].nameLength + d.entries[i].valueLength + 32;
    }
    Check(at == d.used && size == d.size);
}

void CheckList(const HpackFields& f) {
    Check(f.count >= 0 && f.count <= kH2MaxHeaders && f.listSize <= kH2MaxHeaderListSize);
    for (int i = 0; i < f.count; i++) {
        const H2Header& h = f.fields[i];
        Check(h.name >= f.bytes && h.name + h.nameLength <= f.bytes + f.stored);
        Check(h.value >= f.bytes && h.value + h.valueLength <= f.bytes + f.stored);
    }
}

// Our encoder's output of a decoded list decodes to the same list.
void CheckRoundTrip(const HpackFields& f) {
    size_t used = 0;
    for (int i = 0; i < f.count; i++) {
        const H2Header& h = f.fields[i];
        Check(HpackEncodeField(encoded, sizeof encoded, &used, h.name, (size_t)h.nameLength,
                               h.value, (size_t)h.valueLength));
    }
    memset(&fresh, 0, sizeof fresh);
    Check(HpackDecode(&fresh, encoded, used, &again) == HpackOk);
    Check(again.count == f.count && fresh.count == 0);
    for (int i = 0; i < f.count; i++) {
        const H2Header& a = f.fields[i];
        const H2Header& b = again.fields[i];
        Check(a.nameLength == b.nameLength && a.valueLength == b.valueLength);
        Check(memcmp(a.name, b.name, (size_t)a.nameLength) == 0);
        Check(memcmp(a.value, b.value, (size_t)a.valueLength) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    memset(&decoder, 0, sizeof decoder);
    size_t p = 0;
    while (p + 2 <= size) {
        size_t n = (size_t)data[p] | (size_t)data[p + 1] << 8;
        p += 2;
        if (n > size - p) n = size - p;
        HpackResult r = HpackDecode(&decoder, data + p, n, &fields);
        p += n;
        if (r == HpackBroken || r == HpackExcessive) break; // the connection ends here
        CheckTable(decoder);
        if (r == HpackTooLarge) {
            Check(fields.count == 0);
            continue;
        }
        CheckList(fields);
        CheckRoundTrip(fields);
    }
    // Huffman coding of the raw input comes back unchanged.
    std::string text((const char*)data, size < 4096 ? size : 4096);
    size_t used = 0;
    Check(HpackEncodeField(encoded, sizeof encoded, &used, "x", 1, text.data(), text.size()));
    memset(&fresh, 0, sizeof fresh);
    Check(HpackDecode(&fresh, encoded, used, &again) == HpackOk && again.count == 1);
    Check(std::string(again.fields[0].value, (size_t)again.fields[0].valueLength) == text);
    return 0;
}
