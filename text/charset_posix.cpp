// Code page 932 through iconv: glibc's CP932 is Windows' table.
#include <iconv.h>

#include "text/charset.h"

void ShiftJisOfCodePoints(const uint32_t* codePoints, size_t count, unsigned char* out) {
    for (size_t k = 0; k < 2 * count; k++)
        out[k] = 0;
    if (count == 0) return;
    iconv_t cd = iconv_open("CP932", "UTF-32LE");
    if (cd == (iconv_t)-1) return;
    for (size_t k = 0; k < count; k++) {
        unsigned char in[4] = {(unsigned char)codePoints[k], (unsigned char)(codePoints[k] >> 8),
                               (unsigned char)(codePoints[k] >> 16), 0};
        char bytes[8];
        char* inPtr = (char*)in;
        size_t inLeft = sizeof in;
        char* outPtr = bytes;
        size_t outLeft = sizeof bytes;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == (size_t)-1) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // reset after the failure
            continue;
        }
        size_t n = sizeof bytes - outLeft;
        if (n == 1) out[2 * k + 1] = (unsigned char)bytes[0];
        if (n == 2) out[2 * k] = (unsigned char)bytes[0], out[2 * k + 1] = (unsigned char)bytes[1];
    }
    iconv_close(cd);
}
