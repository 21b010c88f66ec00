#include "engine/ip_literal.h"

#include <cstring>

#include "text/text.h"

// Dotted IPv4 in text[0, len): four decimal parts of at most 255.
static bool ParseIpv4(const char* text, int len, uint8_t out[4]) {
    int part = 0, digits = 0, value = 0;
    for (int i = 0; i <= len; i++) {
        char c = i < len ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            if (++digits > 3 || value > 255) return false;
        } else if (c == '.') {
            if (digits == 0 || part == 4) return false;
            out[part++] = (uint8_t)value;
            digits = value = 0;
        } else {
            return false;
        }
    }
    return part == 4;
}

// IPv6 in text[0, len): groups of one to four hex digits, one "::" for a
// run of zero groups, and an IPv4 tail in the last 32 bits.
static bool ParseIpv6(const char* text, int len, uint8_t out[16]) {
    uint8_t bytes[16] = {};
    int have = 0, gap = -1, i = 0;
    if (len >= 2 && text[0] == ':' && text[1] == ':') {
        gap = 0;
        i = 2;
    } else if (len >= 1 && text[0] == ':') {
        return false;
    }
    while (i < len) {
        int start = i, value = 0;
        while (i < len && HexDigitValue(text[i]) >= 0 && i - start < 4) value = value * 16 + HexDigitValue(text[i++]);
        if (i < len && text[i] == '.') {
            // The IPv4 tail ends the text.
            if (have > 12 || !ParseIpv4(text + start, len - start, bytes + have)) return false;
            have += 4;
            i = len;
            break;
        }
        if (i == start || have > 14) return false;
        bytes[have++] = (uint8_t)(value >> 8);
        bytes[have++] = (uint8_t)value;
        if (i == len) break;
        if (text[i] != ':') return false;
        i++;
        if (i < len && text[i] == ':') {
            if (gap >= 0) return false;
            gap = have;
            i++;
        } else if (i == len) {
            return false;  // a trailing single ":"
        }
    }
    if (gap < 0 && have != 16) return false;
    if (gap >= 0 && have > 14) return false;
    memset(out, 0, 16);
    if (gap < 0) {
        memcpy(out, bytes, 16);
    } else {
        memcpy(out, bytes, (size_t)gap);
        memcpy(out + 16 - (have - gap), bytes + gap, (size_t)(have - gap));
    }
    return true;
}

bool ParseIpLiteral(const char* text, uint8_t out[16], int* lengthOut) {
    int len = (int)strlen(text);
    if (len >= 2 && text[0] == '[' && text[len - 1] == ']') {
        text++;
        len -= 2;
    }
    if (ParseIpv4(text, len, out)) {
        *lengthOut = 4;
        return true;
    }
    if (memchr(text, ':', (size_t)len) && ParseIpv6(text, len, out)) {
        *lengthOut = 16;
        return true;
    }
    return false;
}
