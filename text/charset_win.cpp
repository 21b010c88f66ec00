// Code page 932 through the system's own table. No best-fit mapping: a
// character the code page lacks must come out as "?", not as a look-alike.
#include <windows.h>

#include "text/charset.h"

void ShiftJisOfCodePoints(const uint32_t* codePoints, size_t count, unsigned char* out) {
    for (size_t k = 0; k < count; k++) {
        out[2 * k] = out[2 * k + 1] = 0;
        uint32_t cp = codePoints[k];
        if (cp > 0xFFFF) continue; // beyond the code page's reach
        WCHAR wide = (WCHAR)cp;
        char bytes[4];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes,
                                    nullptr, &usedDefault);
        if (usedDefault || n <= 0) continue;
        if (n == 1) out[2 * k + 1] = (unsigned char)bytes[0];
        if (n == 2) out[2 * k] = (unsigned char)bytes[0], out[2 * k + 1] = (unsigned char)bytes[1];
    }
}
