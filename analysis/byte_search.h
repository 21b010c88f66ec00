// The page scan's hot loops: finding the next byte of interest and copying a
// tag with its blanks collapsed. A vector routine (SSE2) and its portable
// twin give identical answers; the vector one is chosen once, when the
// processor has SSE2.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define FERROW_HAVE_SSE2_PATH 1
#endif

// First position in [p, end) holding a, or end.
inline const char* FindByte(const char* p, const char* end, char a);
// First position in [p, end) holding a or b, or end.
inline const char* FindEitherByte(const char* p, const char* end, char a, char b);
// First position in [p, end) whose byte with 0x20 set is a or b, or end:
// with a and b in lower case, a case-free search for letters (other bytes
// can match too, "\r" for "-"; callers check what they find).
const char* FindFoldedByte(const char* p, const char* end, char a, char b);

// Copies [p, end) to out as tag texts are collected: each ' ', '\t' and
// '\n' becomes ' ', and is dropped right after a ' ' (runs of blanks
// collapse); answers the bytes written. The text lies inside a larger
// buffer: the bytes from end up to readEnd may be read too, and out has room
// for end - p + kCollapseSlack bytes, so the last block is copied whole and
// what it writes past the text is left for the caller to overwrite.
constexpr size_t kCollapseSlack = 16;
size_t CollapseBlanksWithin(const char* p, const char* end, const char* readEnd, char* out);

// What the bytes of a link hold, found in one pass: bytes of 0x80 and above
// (percent-encoded on a UTF-8 page), and spaces, control bytes or DEL (the
// link needs cleaning first).
enum LinkBytes : unsigned { LinkBytesHigh = 1, LinkBytesUnclean = 2 };
unsigned ClassifyLinkBytes(const char* p, const char* end);

// The portable twins, and whether the vector routines are in use; the tests
// compare the two on the same inputs.
const char* FindBytePortable(const char* p, const char* end, char a);
const char* FindEitherBytePortable(const char* p, const char* end, char a, char b);
const char* FindFoldedBytePortable(const char* p, const char* end, char a, char b);
size_t CollapseBlanksPortable(const char* p, const char* end, char* out);
unsigned ClassifyLinkBytesPortable(const char* p, const char* end);
bool VectorSearchInUse();

#ifdef FERROW_HAVE_SSE2_PATH
// The bytes of one aligned block that are a or b (with 0x20 set, when Fold).
template <bool Fold>
__attribute__((target("sse2"), no_sanitize("address"))) inline __m128i
HitsSse2(const char* block, __m128i va, __m128i vb) {
    __m128i bytes = _mm_load_si128((const __m128i*)block);
    if constexpr (Fold) bytes = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb));
}

// 16 bytes at a time, 64 while the text goes on that far; the bytes before p
// in the first aligned block and after end in the last are masked off, so
// no load crosses into a page that the buffer does not touch (aligned loads
// never straddle pages, and every block loaded holds a byte of the buffer).
// With Fold the bytes are compared with 0x20 set (FindFoldedByte).
template <bool Fold = false>
__attribute__((target("sse2"), no_sanitize("address"))) inline const char*
FindMaskSse2(const char* p, const char* end, char a, char b) {
    if (p >= end) return end;
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    uintptr_t offset = (uintptr_t)p & 15;
    const char* block = p - offset;
    unsigned mask = 0xFFFFu << offset;
    for (;;) {
        unsigned found = (unsigned)_mm_movemask_epi8(HitsSse2<Fold>(block, va, vb)) & mask;
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
            __m128i any = _mm_or_si128(
                _mm_or_si128(HitsSse2<Fold>(block, va, vb), HitsSse2<Fold>(block + 16, va, vb)),
                _mm_or_si128(HitsSse2<Fold>(block + 32, va, vb),
                             HitsSse2<Fold>(block + 48, va, vb)));
            if (_mm_movemask_epi8(any)) break; // the 16-byte steps find which
            block += 64;
        }
    }
}

#endif

#ifdef __SSE2__
// SSE2 is there whenever the compiler may assume it (always on x86-64): the
// two searches are inline, as the scan calls them millions of times a page.
inline const char* FindByte(const char* p, const char* end, char a) {
    return FindMaskSse2(p, end, a, a);
}
inline const char* FindEitherByte(const char* p, const char* end, char a, char b) {
    return FindMaskSse2(p, end, a, b);
}
#else
const char* FindByteChosen(const char* p, const char* end, char a);
const char* FindEitherByteChosen(const char* p, const char* end, char a, char b);
inline const char* FindByte(const char* p, const char* end, char a) {
    return FindByteChosen(p, end, a);
}
inline const char* FindEitherByte(const char* p, const char* end, char a, char b) {
    return FindEitherByteChosen(p, end, a, b);
}
#endif
