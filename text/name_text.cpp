#include "text/name_text.h"

#include <cstring>

#include "text/charset.h"
#include "text/text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Room for a name while it is worked on: a table name holds 63 bytes and a
// path 259, so longer names are cut anyway.
constexpr size_t kNameWork = 1024;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool PercentEncodeHighBytes(const char* text, size_t length, char* out, size_t outSize) {
    if (outSize == 0) return false;
    size_t used = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        size_t need = c >= 0x80 ? 3 : 1;
        if (used + need >= outSize) {
            out[0] = '\0';
            return false;
        }
        if (c >= 0x80) {
            out[used++] = '%';
            out[used++] = kHexDigits[c >> 4];
            out[used++] = kHexDigits[c & 15];
        } else {
            out[used++] = (char)c;
        }
    }
    out[used] = '\0';
    return true;
}

void ReadableName(const char* name, size_t length, char* out, size_t outSize) {
    if (outSize == 0) return;
    if (length >= kNameWork) length = kNameWork - 1;
    // Escapes of bytes beyond ASCII become the bytes; "%20" and the like stay.
    char bytes[kNameWork];
    size_t n = 0;
    bool high = false;
    for (size_t i = 0; i < length; i++) {
        int hi = 0, lo = 0;
        if (name[i] == '%' && i + 2 < length && (hi = HexValue(name[i + 1])) >= 8 &&
            (lo = HexValue(name[i + 2])) >= 0) {
            bytes[n++] = (char)(hi * 16 + lo);
            i += 2;
            high = true;
            continue;
        }
        if ((unsigned char)name[i] >= 0x80) high = true;
        bytes[n++] = name[i];
    }
    char copy[kNameWork];
    if (!high || !IsUtf8Text(bytes, n)) {
        memcpy(copy, name, length);
        copy[length] = '\0';
        CopyText(out, outSize, copy);
        return;
    }
    char sjis[kNameWork];
    if (Utf8ToShiftJis(bytes, n, sjis, sizeof sjis) == 0) {
        CopyText(out, outSize, sjis);
        return;
    }
    // Shift_JIS lacks a character: the name stays in its escaped form.
    if (!PercentEncodeHighBytes(bytes, n, copy, sizeof copy)) {
        memcpy(copy, name, length);
        copy[length] = '\0';
    }
    CopyText(out, outSize, copy);
}
