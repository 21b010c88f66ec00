#include "text/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsDoubleByteAt(const char* s) {
    unsigned char lead = (unsigned char)s[0], trail = (unsigned char)(lead ? s[1] : 0);
    return IsLeadByte(lead) && ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC));
}

// Length of the longest prefix of s (of length len) that does not end
// inside a double-byte character.
static size_t WholeCharacters(const char* s, size_t len) {
    size_t i = 0;
    while (i < len) {
        size_t step = IsLeadByte((unsigned char)s[i]) ? 2 : 1;
        if (i + step > len) break;
        i += step;
    }
    return i;
}

void CopyText(char* dst, size_t size, const char* src) {
    if (size == 0) return;
    if (!src) src = "";
    size_t len = strnlen(src, size);
    if (len >= size) len = WholeCharacters(src, size - 1);
    memmove(dst, src, len);
    dst[len] = '\0';
}

bool CopyPiece(char* dst, size_t size, const char* text, size_t length) {
    dst[0] = '\0';
    if (length >= size || memchr(text, '\0', length)) return false;
    memcpy(dst, text, length);
    dst[length] = '\0';
    return true;
}

void FormatText(char* buffer, size_t size, const char* format, ...) {
    if (size == 0) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, size, format, args);
    va_end(args);
    if (n < 0) buffer[0] = '\0';
}

void AppendFormat(char* buffer, size_t size, const char* format, ...) {
    if (size == 0) return;
    size_t used = strnlen(buffer, size);
    if (used >= size) {  // not terminated: repair rather than run past the end
        buffer[size - 1] = '\0';
        return;
    }
    char piece[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (n < 0) return;
    CopyText(buffer + used, size - used, piece);
}

void Trace(const char* format, ...) {
    char line[256];  // 254 characters, "\n" and the terminator
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, 255, format, args);
    va_end(args);
    if (n < 0) return;
    size_t len = strlen(line);
    line[len] = '\n';
    line[len + 1] = '\0';
    DebugOutput(line);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
