#include "text/name_text.h"

#include <cstring>

#include "text/charset.h"
#include "text/text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Room for a name while it is worked on: a table name holds 63 bytes and a
// path 259, so longer names are cut anyway.
constexpr size_t kNameWork = 1024;

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

// Characters a Windows name refuses: their escapes stay as written.
static bool RefusedInNames(unsigned char c) {
    return c < 0x20 || c == 0x7F || strchr("<>:\"/\\|?*", c) != nullptr;
}

void ReadableName(const char* name, size_t length, char* out, size_t outSize) {
    if (outSize == 0) return;
    if (length >= kNameWork) length = kNameWork - 1;
    // bytes: every escape decoded but those of refused characters; ascii:
    // the same with the escapes of bytes beyond ASCII kept.
    char bytes[kNameWork];
    char ascii[kNameWork];
    size_t n = 0, a = 0;
    bool high = false;
    for (size_t i = 0; i < length; i++) {
        int hi = 0, lo = 0;
        if (name[i] == '%' && i + 2 < length &&
            (hi = HexDigitValue(name[i + 1])) >= 0 && (lo = HexDigitValue(name[i + 2])) >= 0) {
            unsigned char c = (unsigned char)(hi * 16 + lo);
            if (c >= 0x80) {
                bytes[n++] = (char)c;
                memcpy(ascii + a, name + i, 3);
                a += 3;
                i += 2;
                high = true;
                continue;
            }
            if (!RefusedInNames(c)) {
                bytes[n++] = (char)c;
                ascii[a++] = (char)c;
                i += 2;
                continue;
            }
        }
        if ((unsigned char)name[i] >= 0x80) high = true;
        bytes[n++] = name[i];
        ascii[a++] = name[i];
    }
    ascii[a] = '\0';
    if (!high || !IsUtf8Text(bytes, n)) {
        CopyText(out, outSize, ascii);
        return;
    }
    char sjis[kNameWork];
    if (Utf8ToShiftJis(bytes, n, sjis, sizeof sjis) == 0) {
        CopyText(out, outSize, sjis);
        return;
    }
    // Shift_JIS lacks a character: the name keeps its bytes beyond ASCII
    // escaped.
    char copy[kNameWork];
    if (!PercentEncodeHighBytes(bytes, n, copy, sizeof copy)) {
        CopyText(out, outSize, ascii);
        return;
    }
    CopyText(out, outSize, copy);
}

void AddressNameSpan(const char* address, const char** startOut, size_t* lengthOut) {
    const char* end = address + strcspn(address, "?#");
    const char* start = address;
    for (const char* p = address; p < end; p++)
        if (*p == '/') start = p + 1;
    *startOut = start;
    *lengthOut = (size_t)(end - start);
}
