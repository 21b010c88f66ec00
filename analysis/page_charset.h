// Character sets of pages: what a label names, what the bytes suggest, and
// the conversion of EUC-JP titles into the program's Shift_JIS.
#pragma once
#include <cstddef>

enum PageCharset {
    CharsetUnknown = 0,
    CharsetShiftJis = 2,
    CharsetEucJp = 3,
    CharsetUtf8 = 4,
};

// The character set a charset label names (a Content-Type header value or a
// meta charset value); CharsetUnknown for any other. A label naming both
// EUC-JP and Shift_JIS counts as Shift_JIS.
int CharsetOfLabel(const char* label);

// CharsetUtf8 when the page starts with the UTF-8 byte-order mark.
int CharsetOfByteOrderMark(const char* bytes, size_t length);

// 2 (Shift_JIS) or 3 (EUC-JP), by which one the text's byte pairs fit best.
int GuessJapaneseEncoding(const char* text);

// Converts EUC-JP text to Shift_JIS in place (the result is never longer).
void EucToShiftJis(char* text);
