// Which code path a decode runs: the widest the options allow that this
// build was compiled for and that the processor and operating system run.
#include "jpeg/jpeg_internal.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace jpeg {
namespace {

bool HasSse2() {
#if defined(__SSE2__)
    return true;
#elif FERROW_JPEG_SSE2
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
#else
    return false;
#endif
}

#if FERROW_JPEG_AVX2
// AVX2 needs the instructions and an operating system that saves the
// 256-bit registers on a thread switch (XCR0 bits 1 and 2).
bool HasAvx2() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
    unsigned xcr0 = 0, high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
    if ((xcr0 & 6) != 6) return false;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & bit_AVX2) != 0;
}
#endif

template <void (*Idct)(const int16_t*, const uint16_t*, uint8_t*, size_t)>
void IdctTwice(const int16_t* coefs, const uint16_t* q, uint8_t* outA, uint8_t* outB,
               size_t stride) {
    Idct(coefs, q, outA, stride);
    Idct(coefs + 64, q, outB, stride);
}

} // namespace

Kernels SelectKernels(JpegCodePath widest) {
    Kernels k;
    k.idct = InverseDctScalar;
    k.idctPair = IdctTwice<InverseDctScalar>;
#if FERROW_JPEG_SSE2
    if (widest >= JpegCodePath::Sse2 && HasSse2()) {
        k.path = JpegCodePath::Sse2;
        k.idct = InverseDctSse2;
        k.idctPair = IdctTwice<InverseDctSse2>;
        k.convertRow = ConvertRowSse2;
    }
#endif
#if FERROW_JPEG_AVX2
    if (widest >= JpegCodePath::Avx2 && k.path == JpegCodePath::Sse2 && HasAvx2()) {
        k.path = JpegCodePath::Avx2;
        k.idctPair = InverseDctPairAvx2;
        k.convertRow = ConvertRowAvx2;
    }
#endif
    return k;
}

} // namespace jpeg
