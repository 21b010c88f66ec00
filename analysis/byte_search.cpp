#include "analysis/byte_search.h"

#include <cstdint>
#include <cstring>

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

// Appends [p, stop) to out, which holds *used bytes, collapsing blanks.
static inline void CollapseBytes(const char* p, const char* stop, char* out, size_t* used) {
    size_t n = *used;
    for (; p < stop; p++) {
        char c = *p;
        if (c == ' ' || c == '\t' || c == '\n') {
            if (n > 0 && out[n - 1] == ' ') continue;
            c = ' ';
        }
        out[n++] = c;
    }
    *used = n;
}

size_t CollapseBlanksPortable(const char* p, const char* end, char* out) {
    size_t used = 0;
    CollapseBytes(p, end, out, &used);
    return used;
}

unsigned ClassifyLinkBytesPortable(const char* p, const char* end) {
    unsigned found = 0;
    for (; p < end; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 0x80)
            found |= LinkBytesHigh;
        else if (c <= 0x20 || c == 0x7F)
            found |= LinkBytesUnclean;
    }
    return found;
}

#ifdef FERROW_HAVE_SSE2_PATH

namespace {

// Whether the 16 bytes at p (the first count of them) copy as they are:
// their only blanks are single spaces, none after a space already written.
__attribute__((target("sse2"))) inline bool CopiesWhole(__m128i bytes, unsigned count,
                                                        bool afterSpace) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i newline = _mm_set1_epi8('\n');
    unsigned keep = count >= 16 ? 0xFFFFu : (1u << count) - 1;
    unsigned spaceMask = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, space)) & keep;
    unsigned otherMask = (unsigned)_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, tab),
                                                                  _mm_cmpeq_epi8(bytes, newline))) &
                         keep;
    return otherMask == 0 && (spaceMask & (spaceMask >> 1)) == 0 &&
           !(afterSpace && (spaceMask & 1));
}

// 16 bytes at a time: a block that copies whole is stored as it is, any
// other goes byte by byte. The last part block is loaded whole when the
// buffer goes on that far, and stored whole into the slack.
__attribute__((target("sse2"))) size_t CollapseWithinSse2(const char* p, const char* end,
                                                          const char* readEnd, char* out) {
    size_t used = 0;
    while (p < end) {
        size_t count = (size_t)(end - p) < 16 ? (size_t)(end - p) : 16;
        if (count < 16 && readEnd - p < 16) {
            CollapseBytes(p, end, out, &used);
            break;
        }
        __m128i bytes = _mm_loadu_si128((const __m128i*)p);
        if (CopiesWhole(bytes, (unsigned)count, used > 0 && out[used - 1] == ' ')) {
            _mm_storeu_si128((__m128i*)(out + used), bytes);
            used += count;
        } else {
            CollapseBytes(p, p + count, out, &used);
        }
        p += count;
    }
    return used;
}

// Aligned blocks, masked at both ends as in FindMaskSse2. The compare with
// 0x21 is signed, so it takes the high bytes too; they are masked out of
// the unclean ones.
__attribute__((target("sse2"), no_sanitize("address"))) unsigned
ClassifyLinkBytesSse2(const char* p, const char* end) {
    if (p >= end) return 0;
    const __m128i above = _mm_set1_epi8(0x21);
    const __m128i del = _mm_set1_epi8(0x7F);
    uintptr_t offset = (uintptr_t)p & 15;
    const char* block = p - offset;
    unsigned mask = 0xFFFFu << offset;
    unsigned high = 0, unclean = 0;
    for (; block < end; block += 16, mask = 0xFFFFu) {
        if (end - block < 16) mask &= 0xFFFFu >> (16 - (end - block));
        __m128i bytes = _mm_load_si128((const __m128i*)block);
        unsigned h = (unsigned)_mm_movemask_epi8(bytes);
        unsigned low = (unsigned)_mm_movemask_epi8(
            _mm_or_si128(_mm_cmplt_epi8(bytes, above), _mm_cmpeq_epi8(bytes, del)));
        high |= h & mask;
        unclean |= low & ~h & mask;
    }
    return (high ? LinkBytesHigh : 0u) | (unclean ? LinkBytesUnclean : 0u);
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

#ifndef __SSE2__
const char* FindByteChosen(const char* p, const char* end, char a) {
    return kUseVector ? FindMaskSse2(p, end, a, a) : FindBytePortable(p, end, a);
}

const char* FindEitherByteChosen(const char* p, const char* end, char a, char b) {
    return kUseVector ? FindMaskSse2(p, end, a, b) : FindEitherBytePortable(p, end, a, b);
}
#endif

const char* FindFoldedByte(const char* p, const char* end, char a, char b) {
    return kUseVector ? FindMaskSse2<true>(p, end, a, b) : FindFoldedBytePortable(p, end, a, b);
}

size_t CollapseBlanksWithin(const char* p, const char* end, const char* readEnd, char* out) {
    return kUseVector ? CollapseWithinSse2(p, end, readEnd, out)
                      : CollapseBlanksPortable(p, end, out);
}

unsigned ClassifyLinkBytes(const char* p, const char* end) {
    return kUseVector ? ClassifyLinkBytesSse2(p, end) : ClassifyLinkBytesPortable(p, end);
}

bool VectorSearchInUse() {
    return kUseVector;
}

#else

const char* FindByteChosen(const char* p, const char* end, char a) {
    return FindBytePortable(p, end, a);
}
const char* FindEitherByteChosen(const char* p, const char* end, char a, char b) {
    return FindEitherBytePortable(p, end, a, b);
}
const char* FindFoldedByte(const char* p, const char* end, char a, char b) {
    return FindFoldedBytePortable(p, end, a, b);
}
size_t CollapseBlanksWithin(const char* p, const char* end, const char*, char* out) {
    return CollapseBlanksPortable(p, end, out);
}
unsigned ClassifyLinkBytes(const char* p, const char* end) {
    return ClassifyLinkBytesPortable(p, end);
}
bool VectorSearchInUse() {
    return false;
}

#endif
