#include "text/charset.h"

#include <cstring>

size_t DecodeUtf8(const char* text, size_t length, uint32_t* codePointOut) {
    if (length == 0) return 0;
    const unsigned char* s = (const unsigned char*)text;
    unsigned char c = s[0];
    if (c < 0x80) {
        *codePointOut = c;
        return 1;
    }
    size_t n;
    uint32_t cp, least;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, cp = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, cp = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, cp = c & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (length < n) return 0;
    for (size_t i = 1; i < n; i++) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    // Over-long forms, surrogates and code points past U+10FFFF are no
    // characters: they would smuggle "/" or "." past the name checks.
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    *codePointOut = cp;
    return n;
}

bool IsUtf8Text(const char* text, size_t length) {
    bool wide = false;
    for (size_t i = 0; i < length;) {
        uint32_t cp;
        size_t n = DecodeUtf8(text + i, length - i, &cp);
        if (n == 0) return false;
        if (n > 1) wide = true;
        i += n;
    }
    return wide;
}

int Utf8ToShiftJis(const char* text, size_t length, char* out, size_t outSize) {
    if (outSize == 0) return 0;
    // Code points in batches, so the platform converts many at a time.
    constexpr size_t kBatch = 64;
    uint32_t points[kBatch];
    size_t used = 0;
    int replaced = 0;
    size_t i = 0;
    while (i < length) {
        size_t count = 0;
        while (i < length && count < kBatch) {
            uint32_t cp;
            size_t n = DecodeUtf8(text + i, length - i, &cp);
            points[count++] = n ? cp : 0xFFFD; // not a character: shown as "?"
            i += n ? n : 1;
        }
        unsigned char sjis[2 * kBatch];
        uint32_t wide[kBatch];
        size_t wideCount = 0;
        for (size_t k = 0; k < count; k++)
            if (points[k] >= 0x80) wide[wideCount++] = points[k];
        ShiftJisOfCodePoints(wide, wideCount, sjis);
        size_t w = 0;
        for (size_t k = 0; k < count; k++) {
            char bytes[2];
            size_t n = 1;
            if (points[k] < 0x80) {
                bytes[0] = (char)points[k];
            } else {
                unsigned char hi = sjis[2 * w], lo = sjis[2 * w + 1];
                w++;
                if (hi) {
                    bytes[0] = (char)hi, bytes[1] = (char)lo, n = 2;
                } else if (lo) {
                    bytes[0] = (char)lo;
                } else {
                    bytes[0] = '?';
                    replaced++;
                }
            }
            if (used + n > outSize - 1) {
                out[used] = '\0';
                return replaced;
            }
            memcpy(out + used, bytes, n);
            used += n;
        }
    }
    out[used] = '\0';
    return replaced;
}

size_t EncodeUtf8(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = (char)cp;
        return 1;
    }
    if (cp < 0x800) {
        out[0] = (char)(0xC0 | (cp >> 6));
        out[1] = (char)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = (char)(0xE0 | (cp >> 12));
        out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        out[2] = (char)(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (cp >> 18));
    out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
    out[3] = (char)(0x80 | (cp & 0x3F));
    return 4;
}
