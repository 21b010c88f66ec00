// libFuzzer target for the chunk decoder: the same stream fed whole, one
// byte at a time and in pieces of the lengths the input names must come to
// the same answer, the same body and the same end; the body is never longer
// than what was fed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/chunked.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "chunked_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

namespace {

struct Fed {
    ChunkAnswer answer = ChunkWantMore;
    std::string body;
    size_t end = 0;  // where the body's stream ended (Done)
};

bool Append(const char* bytes, int n, void* context) {
    Check(n > 0);
    ((std::string*)context)->append(bytes, (size_t)n);
    return true;
}

// Pieces of cut[k % cuts] + 1 bytes.
Fed Feed(const uint8_t* data, size_t size, const uint8_t* cut, size_t cuts) {
    ChunkDecoder d = {};
    Fed fed;
    size_t p = 0;
    for (size_t k = 0; p < size && fed.answer == ChunkWantMore; k++) {
        size_t n = cuts ? (size_t)cut[k % cuts] + 1 : size;
        if (n > size - p) n = size - p;
        int used = -1;
        fed.answer = ChunkFeed(&d, (const char*)data + p, (int)n, Append, &fed.body, &used);
        if (fed.answer == ChunkDone) {
            Check(used >= 0 && (size_t)used <= n);
            fed.end = p + (size_t)used;
        } else if (fed.answer == ChunkWantMore) {
            Check(used == (int)n);
        }
        p += n;
    }
    // Once finished or broken it stays so.
    int used = 0;
    if (fed.answer == ChunkDone) Check(ChunkFeed(&d, "x", 1, Append, &fed.body, &used) == ChunkDone);
    if (fed.answer == ChunkError) Check(ChunkFeed(&d, "0", 1, Append, &fed.body, &used) == ChunkError);
    Check(fed.body.size() <= size);
    return fed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte says how many cut lengths follow.
    size_t cuts = size ? data[0] % 8 : 0;
    if (size < 1 + cuts) return 0;
    const uint8_t* cut = data + 1;
    const uint8_t* stream = data + 1 + cuts;
    size_t n = size - 1 - cuts;
    Fed whole = Feed(stream, n, nullptr, 0);
    static const uint8_t kOne = 0;
    Fed bytes = Feed(stream, n, &kOne, 1);
    Fed pieces = Feed(stream, n, cut, cuts);
    for (const Fed* f : {&bytes, &pieces}) {
        Check(f->answer == whole.answer);
        Check(f->body == whole.body);
        Check(f->end == whole.end);
    }
    return 0;
}
