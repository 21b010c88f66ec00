// libFuzzer target for the inflate step: a gzip or deflate stream fed whole
// and in pieces of the lengths the input names must give the same answer
// and the same page, never more than its bound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/inflate.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "inflate_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

namespace {

struct Fed {
    InflateAnswer answer = InflateWantMore;
    std::string page;
};

bool Append(const char* bytes, int n, void* context) {
    Check(n > 0);
    std::string* page = (std::string*)context;
    page->append(bytes, (size_t)n);
    Check((int64_t)page->size() <= kInflateLimit);
    return true;
}

Fed Feed(InflateFormat format, const uint8_t* data, size_t size, const uint8_t* cut, size_t cuts) {
    Inflater* inflater = InflateOpen(format);
    Check(inflater != nullptr);
    Fed fed;
    size_t p = 0;
    for (size_t k = 0; p < size && fed.answer == InflateWantMore; k++) {
        size_t n = cuts ? (size_t)cut[k % cuts] * 16 + 1 : size;
        if (n > size - p) n = size - p;
        fed.answer = InflateFeed(inflater, (const char*)data + p, (int)n, Append, &fed.page);
        p += n;
    }
    Check(InflateFinished(inflater) == (fed.answer == InflateDone));
    InflateClose(inflater);
    return fed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // First byte: the format (bit 0) and how many cut lengths follow.
    if (size < 1) return 0;
    InflateFormat format = data[0] & 1 ? InflateDeflate : InflateGzip;
    size_t cuts = (data[0] >> 1) % 8;
    if (size < 1 + cuts) return 0;
    const uint8_t* stream = data + 1 + cuts;
    size_t n = size - 1 - cuts;
    Fed whole = Feed(format, stream, n, nullptr, 0);
    Fed pieces = Feed(format, stream, n, data + 1, cuts);
    Check(pieces.answer == whole.answer);
    // A corrupt stream may be found out after a different amount was made.
    if (whole.answer != InflateCorrupt) Check(pieces.page == whole.page);
    return 0;
}
