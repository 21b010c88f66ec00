#include "analysis/attribute_text.h"

#include <cstdint>
#include <cstring>

#include "analysis/byte_search.h"
#include "text/charset.h"
#include "text/nocase.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// The reference at s ("&" first, n bytes available): its length and the
// bytes it stands for; 0 when it is none that is decoded.
size_t ReadReference(const char* s, size_t n, char* bytesOut, size_t* bytesLengthOut) {
    static const struct {
        const char* name;
        char value;
    } kNamed[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    for (const auto& named : kNamed) {
        size_t k = strlen(named.name);
        if (n >= k && memcmp(s, named.name, k) == 0) {
            bytesOut[0] = named.value;
            *bytesLengthOut = 1;
            return k;
        }
    }
    if (n < 4 || s[1] != '#') return 0;
    bool hex = s[2] == 'x' || s[2] == 'X';
    size_t i = hex ? 3 : 2;
    uint32_t cp = 0;
    size_t digits = 0;
    for (; i < n && digits < 8; i++, digits++) {
        char c = s[i];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = (uint32_t)(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = (uint32_t)(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            d = (uint32_t)(c - 'A' + 10);
        else
            break;
        cp = cp * (hex ? 16 : 10) + d;
    }
    if (digits == 0 || i >= n || s[i] != ';') return 0;
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *bytesLengthOut = EncodeUtf8(cp, bytesOut);
    return i + 1;
}

} // namespace

bool DecodeCharacterReferences(const char* value, size_t length, char* out, size_t outSize,
                               size_t* lengthOut) {
    if (outSize == 0) return false;
    const char* end = value + length;
    size_t used = 0;
    const char* p = value;
    while (p < end) {
        const char* amp = FindByte(p, end, '&');
        size_t plain = (size_t)(amp - p);
        if (used + plain >= outSize) return false;
        memcpy(out + used, p, plain);
        used += plain;
        p = amp;
        if (p >= end) break;
        char bytes[4];
        size_t bytesLength = 0;
        size_t taken = ReadReference(p, (size_t)(end - p), bytes, &bytesLength);
        if (taken == 0) { // stays as written
            bytes[0] = '&';
            bytesLength = 1;
            taken = 1;
        }
        if (used + bytesLength >= outSize) return false;
        memcpy(out + used, bytes, bytesLength);
        used += bytesLength;
        p += taken;
    }
    out[used] = '\0';
    *lengthOut = used;
    return true;
}

bool LargestSrcsetCandidate(const char* value, size_t length, const char** startOut,
                            size_t* lengthOut) {
    const char* p = value;
    const char* end = value + length;
    bool found = false, bestIsWidth = false;
    double best = 0;
    while (p < end) {
        while (p < end && (IsBlank(*p) || *p == ','))
            p++;
        const char* url = p;
        while (p < end && !IsBlank(*p))
            p++;
        const char* urlEnd = p;
        // "a.jpg," without descriptors: the comma ends the candidate.
        bool commaEnded = false;
        while (urlEnd > url && urlEnd[-1] == ',')
            urlEnd--, commaEnded = true;
        if (urlEnd == url) continue;
        // Descriptors run to the next comma.
        const char* descriptors = p;
        if (!commaEnded)
            while (p < end && *p != ',')
                p++;
        bool isWidth = false;
        double size = 1; // no descriptor: 1x
        for (const char* d = descriptors; d < p;) {
            while (d < p && IsBlank(*d))
                d++;
            const char* token = d;
            while (d < p && !IsBlank(*d))
                d++;
            size_t n = (size_t)(d - token);
            if (n < 2) continue;
            char unit = token[n - 1];
            if (unit != 'w' && unit != 'x' && unit != 'W' && unit != 'X') continue;
            double number = 0, scale = 0;
            bool digits = false;
            for (size_t k = 0; k + 1 < n; k++) {
                char c = token[k];
                if (c >= '0' && c <= '9') {
                    digits = true;
                    if (scale > 0)
                        number += (c - '0') * scale, scale /= 10;
                    else
                        number = number * 10 + (c - '0');
                } else if (c == '.' && scale == 0) {
                    scale = 0.1;
                } else {
                    digits = false;
                    break;
                }
            }
            if (!digits) continue;
            isWidth = unit == 'w' || unit == 'W';
            size = number;
        }
        bool better =
            !found || (isWidth && !bestIsWidth) || (isWidth == bestIsWidth && size > best);
        if (better) {
            found = true;
            best = size;
            bestIsWidth = isWidth;
            *startOut = url;
            *lengthOut = (size_t)(urlEnd - url);
        }
    }
    return found;
}

void ForEachCssUrl(const char* css, size_t length, CssUrlTaker take, void* context) {
    const char* end = css + length;
    const char* p = css;
    while (p < end) {
        // "url(" in any case; the "(" is the rarer byte to look for.
        const char* paren = FindByte(p, end, '(');
        if (paren >= end) return;
        p = paren + 1;
        if (paren - css < 3 || StrNCmpI(paren - 3, "url", 3) != 0) continue;
        if (paren - css > 3 && IsNameChar(paren[-4])) continue; // "curl(" is another function
        const char* q = p;
        while (q < end && IsBlank(*q))
            q++;
        const char* start;
        const char* stop;
        if (q < end && (*q == '"' || *q == '\'')) {
            start = q + 1;
            stop = FindByte(start, end, *q);
            if (stop >= end) return;
            p = stop + 1;
        } else {
            start = q;
            stop = FindByte(start, end, ')');
            if (stop >= end) return;
            p = stop + 1;
        }
        while (start < stop && IsBlank(*start))
            start++;
        while (stop > start && IsBlank(stop[-1]))
            stop--;
        if (stop > start) take(context, start, (size_t)(stop - start));
    }
}
