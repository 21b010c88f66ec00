#include "text/json_text.h"

#include <cstdint>
#include <cstring>

#include "text/charset.h"
#include "text/text.h"

const char* JsonStringEnd(const char* quote, const char* end) {
    const char* p = quote + 1;
    while (p < end && *p != '"')
        p += *p == '\\' ? 2 : 1; // an escape and the byte it escapes
    return p < end ? p : end;
}

// Four hexadecimal digits at *p (before stop) as a number; false for fewer.
static bool ReadHex4(const char** p, const char* stop, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < 4; i++) {
        int d = *p < stop ? HexDigitValue(**p) : -1;
        if (d < 0) return false;
        value = value * 16 + (uint32_t)d;
        (*p)++;
    }
    *out = value;
    return true;
}

// The code point of a \u escape whose digits start at *p; a high surrogate
// takes the low half that must follow it.
static bool ReadEscapedCodePoint(const char** p, const char* stop, uint32_t* out) {
    uint32_t cp = 0;
    if (!ReadHex4(p, stop, &cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        uint32_t low = 0;
        if (stop - *p < 6 || (*p)[0] != '\\' || (*p)[1] != 'u') return false;
        *p += 2;
        if (!ReadHex4(p, stop, &low) || low < 0xDC00 || low > 0xDFFF) return false;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    *out = cp;
    return true;
}

bool DecodeJsonString(const char* p, const char* stop, char* out, size_t outSize, size_t* lengthOut,
                      bool controls) {
    static const char kControlEscapes[] = "n\nt\tr\rb\bf\f";
    size_t n = 0;
    while (p < stop) {
        char c = *p++;
        char bytes[4];
        size_t count = 1;
        bytes[0] = c;
        if (c == '\\' && p < stop) {
            char e = *p++;
            const char* control = e ? strchr(kControlEscapes, e) : nullptr;
            if (e == 'u') {
                uint32_t cp = 0;
                if (!ReadEscapedCodePoint(&p, stop, &cp) || cp == 0 || (cp < 0x20 && !controls))
                    return false;
                count = EncodeUtf8(cp, bytes);
            } else if (control && (control - kControlEscapes) % 2 == 0) {
                if (!controls) return false;
                bytes[0] = control[1];
            } else { // \" \\ \/ and any other stand for themselves
                if ((unsigned char)e < 0x20) return false;
                bytes[0] = e;
            }
        } else if ((unsigned char)c < 0x20) {
            return false;
        }
        if (n + count >= outSize) return false;
        memcpy(out + n, bytes, count);
        n += count;
    }
    out[n] = '\0';
    *lengthOut = n;
    return true;
}

void AppendJsonString(std::string* out, const char* text, size_t length) {
    out->push_back('"');
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back((char)c);
        } else if (c < 0x20) {
            char escape[8];
            FormatText(escape, sizeof escape, "\\u%04x", (unsigned)c);
            out->append(escape);
        } else {
            out->push_back((char)c);
        }
    }
    out->push_back('"');
}
