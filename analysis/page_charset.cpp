#include "analysis/page_charset.h"

#include "text/nocase.h"
#include "text/text.h"

int CharsetOfLabel(const char* label) {
    int charset = CharsetUnknown;
    if (FindNoCase(label, "UTF-8") || FindNoCase(label, "UTF8")) charset = CharsetUtf8;
    if (FindNoCase(label, "EUC-JP")) charset = CharsetEucJp;
    if (FindNoCase(label, "Shift_JIS")) charset = CharsetShiftJis;
    return charset;
}

int CharsetOfByteOrderMark(const char* bytes, size_t length) {
    const unsigned char* b = (const unsigned char*)bytes;
    return length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? CharsetUtf8
                                                                       : CharsetUnknown;
}

int GuessJapaneseEncoding(const char* text) {
    int shiftJis = 0, eucJp = 0;
    const unsigned char* p = (const unsigned char*)text;
    while (*p) {
        if (*p < 0x80) {
            p++;
            continue;
        }
        unsigned char c1 = p[0], c2 = p[1];
        if (!c2) break;
        if (IsLeadByte(c1) && c2 >= 0x40 && c2 <= 0xFC) shiftJis++;
        if (c1 >= 0xA1 && c1 <= 0xFE && c2 >= 0xA1 && c2 <= 0xFE) eucJp++;
        p += 2;
    }
    return eucJp > shiftJis ? CharsetEucJp : CharsetShiftJis;
}

// JIS X 0208 rows map arithmetically from EUC-JP onto Shift_JIS. Only real
// EUC-JP pairs are converted: a high byte paired with an ASCII byte would
// turn the ASCII byte into anything, a terminator included. A half-width
// katakana (0x8E and one byte) becomes its single Shift_JIS byte.
void EucToShiftJis(char* text) {
    unsigned char* in = (unsigned char*)text;
    unsigned char* out = in;
    while (*in) {
        unsigned char c1 = in[0], c2 = in[1];
        if (c1 >= 0xA1 && c1 <= 0xFE && c2 >= 0xA1 && c2 <= 0xFE) {
            if (c1 & 1)
                c2 = (unsigned char)(c2 - 0x61 + (c2 - 0x61 > 0x7E ? 1 : 0));
            else
                c2 = (unsigned char)(c2 - 2);
            c1 = (unsigned char)((c1 + 1) / 2 + (c1 < 0xDF ? 0x30 : 0x70));
            *out++ = c1;
            *out++ = c2;
            in += 2;
        } else if (c1 == 0x8E && c2 >= 0xA1 && c2 <= 0xDF) {
            *out++ = c2;
            in += 2;
        } else {
            *out++ = c1;
            in += 1;
        }
    }
    *out = '\0';
}
