#include "analysis/byte_search.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define FERROW_HAVE_SSE2_PATH 1
#endif

const char* FindBytePortable(const char* p, const char* end, char a) {
    while (p < end && *p != a)
        p++;
    return p;
}

const char* FindEitherBytePortable(const char* p, const char* end, char a, char b) {
    while (p < end && *p != a && *p != b)
        p++;
    return p;
}

const char* FindFoldedBytePortable(const char* p, const char* end, char a, char b) {
    while (p < end && (char)(*p | 0x20) != a && (char)(*p | 0x20) != b)
        p++;
    return p;
}

bool CollapseBlanksPortable(const char* p, const char* end, char* out, size_t limit, size_t* n) {
    size_t used = *n;
    for (; p < end; p++) {
        char c = *p;
        if (c == ' ' || c == '\t' || c == '\n') {
            if (used > 0 && out[used - 1] == ' ') continue;
            c = ' ';
        }
        if (used >= limit) {
            *n = used;
            return true;
        }
        out[used++] = c;
    }
    *n = used;
    return false;
}

#ifdef FERROW_HAVE_SSE2_PATH

namespace {

// 16 bytes at a time, 64 while the text goes on that far; the bytes before p
// in the first aligned block and after end in the last are masked off, so
// no load crosses into a page that the buffer does not touch (aligned loads
// never straddle pages, and every block loaded holds a byte of the buffer).
__attribute__((target("sse2"), no_sanitize("address"))) const char*
FindMaskSse2(const char* p, const char* end, char a, char b) {
    if (p >= end) return end;
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    uintptr_t offset = (uintptr_t)p & 15;
    const char* block = p - offset;
    unsigned mask = 0xFFFFu << offset;
    for (;;) {
        __m128i bytes = _mm_load_si128((const __m128i*)block);
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb));
        unsigned found = (unsigned)_mm_movemask_epi8(hits) & mask;
        if (found) {
            const char* at = block + __builtin_ctz(found);
            return at < end ? at : end;
        }
        block += 16;
        if (block >= end) return end;
        mask = 0xFFFFu;
        // Four blocks at once while the text goes on past them: the step
        // after them then still starts inside the text.
        while (end - block > 64) {
            __m128i b0 = _mm_load_si128((const __m128i*)block);
            __m128i b1 = _mm_load_si128((const __m128i*)(block + 16));
            __m128i b2 = _mm_load_si128((const __m128i*)(block + 32));
            __m128i b3 = _mm_load_si128((const __m128i*)(block + 48));
            __m128i h0 = _mm_or_si128(_mm_cmpeq_epi8(b0, va), _mm_cmpeq_epi8(b0, vb));
            __m128i h1 = _mm_or_si128(_mm_cmpeq_epi8(b1, va), _mm_cmpeq_epi8(b1, vb));
            __m128i h2 = _mm_or_si128(_mm_cmpeq_epi8(b2, va), _mm_cmpeq_epi8(b2, vb));
            __m128i h3 = _mm_or_si128(_mm_cmpeq_epi8(b3, va), _mm_cmpeq_epi8(b3, vb));
            __m128i any = _mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3));
            if (_mm_movemask_epi8(any)) break; // the 16-byte steps find which
            block += 64;
        }
    }
}

// FindMaskSse2 on the bytes with 0x20 set; for the short texts of a tag.
__attribute__((target("sse2"), no_sanitize("address"))) const char*
FindFoldedSse2(const char* p, const char* end, char a, char b) {
    if (p >= end) return end;
    const __m128i fold = _mm_set1_epi8(0x20);
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    uintptr_t offset = (uintptr_t)p & 15;
    const char* block = p - offset;
    unsigned mask = 0xFFFFu << offset;
    for (;;) {
        __m128i bytes = _mm_or_si128(_mm_load_si128((const __m128i*)block), fold);
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb));
        unsigned found = (unsigned)_mm_movemask_epi8(hits) & mask;
        if (found) {
            const char* at = block + __builtin_ctz(found);
            return at < end ? at : end;
        }
        block += 16;
        if (block >= end) return end;
        mask = 0xFFFFu;
    }
}

// 16 bytes at a time while they fit both ways: a block whose only blanks are
// single spaces (no tab, no line break, none after a space) is copied as it
// is; any other goes byte by byte. The rest, and the cut, go to the twin.
__attribute__((target("sse2"))) bool CollapseBlanksSse2(const char* p, const char* end, char* out,
                                                        size_t limit, size_t* n) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i newline = _mm_set1_epi8('\n');
    size_t used = *n;
    while (end - p >= 16 && used + 16 <= limit) {
        __m128i bytes = _mm_loadu_si128((const __m128i*)p);
        __m128i spaces = _mm_cmpeq_epi8(bytes, space);
        __m128i others = _mm_or_si128(_mm_cmpeq_epi8(bytes, tab), _mm_cmpeq_epi8(bytes, newline));
        unsigned spaceMask = (unsigned)_mm_movemask_epi8(spaces);
        unsigned otherMask = (unsigned)_mm_movemask_epi8(others);
        bool afterSpace = used > 0 && out[used - 1] == ' ';
        if (otherMask == 0 && (spaceMask & (spaceMask >> 1)) == 0 &&
            !(afterSpace && (spaceMask & 1))) {
            _mm_storeu_si128((__m128i*)(out + used), bytes);
            used += 16;
            p += 16;
            continue;
        }
        for (const char* stop = p + 16; p < stop; p++) { // cannot reach the limit
            char c = *p;
            if (c == ' ' || c == '\t' || c == '\n') {
                if (used > 0 && out[used - 1] == ' ') continue;
                c = ' ';
            }
            out[used++] = c;
        }
    }
    *n = used;
    return CollapseBlanksPortable(p, end, out, limit, n);
}

bool HasSse2() {
#if defined(__x86_64__)
    return true; // part of the architecture
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
#endif
}

const bool kUseVector = HasSse2();

} // namespace

const char* FindByte(const char* p, const char* end, char a) {
    return kUseVector ? FindMaskSse2(p, end, a, a) : FindBytePortable(p, end, a);
}

const char* FindEitherByte(const char* p, const char* end, char a, char b) {
    return kUseVector ? FindMaskSse2(p, end, a, b) : FindEitherBytePortable(p, end, a, b);
}

const char* FindFoldedByte(const char* p, const char* end, char a, char b) {
    return kUseVector ? FindFoldedSse2(p, end, a, b) : FindFoldedBytePortable(p, end, a, b);
}

bool CollapseBlanks(const char* p, const char* end, char* out, size_t limit, size_t* n) {
    return kUseVector ? CollapseBlanksSse2(p, end, out, limit, n)
                      : CollapseBlanksPortable(p, end, out, limit, n);
}

bool VectorSearchInUse() {
    return kUseVector;
}

#else

const char* FindByte(const char* p, const char* end, char a) {
    return FindBytePortable(p, end, a);
}
const char* FindEitherByte(const char* p, const char* end, char a, char b) {
    return FindEitherBytePortable(p, end, a, b);
}
const char* FindFoldedByte(const char* p, const char* end, char a, char b) {
    return FindFoldedBytePortable(p, end, a, b);
}
bool CollapseBlanks(const char* p, const char* end, char* out, size_t limit, size_t* n) {
    return CollapseBlanksPortable(p, end, out, limit, n);
}
bool VectorSearchInUse() {
    return false;
}

#endif
