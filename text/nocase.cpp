#include "text/nocase.h"

#include <cstring>

#include "text/text.h"

static inline unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 32) : c;
}

int StrNCmpI(const char* a, const char* b, int n) {
    // Every caller compares against a short literal or a bounded buffer; a
    // count this large means a length went wrong, so it never matches.
    if (n > kMaxNoCaseCompare) {
        Trace("strncmpi err!");
        return 1;
    }
    for (int i = 0; i < n; i++) {
        unsigned char x = Lower((unsigned char)a[i]);
        unsigned char y = Lower((unsigned char)b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

bool EndsWithNoCase(const char* text, const char* tail) {
    size_t n = strlen(text), m = strlen(tail);
    if (n < m) return false;
    for (size_t i = 0; i < m; i++)
        if (Lower((unsigned char)text[n - m + i]) != Lower((unsigned char)tail[i])) return false;
    return true;
}

const char* FindNoCase(const char* text, const char* word) {
    size_t n = strlen(word);
    if (n > (size_t)kMaxNoCaseCompare) {
        Trace("strncmpi err!");
        return nullptr;
    }
    if (n == 0) return text;
    // The comparison stops at text's terminator, so the last start tried is
    // length(text) - length(word) without measuring text first.
    unsigned char first = Lower((unsigned char)word[0]);
    for (const char* p = text; *p; p++) {
        if (Lower((unsigned char)*p) == first && StrNCmpI(p, word, (int)n) == 0) return p;
    }
    return nullptr;
}
