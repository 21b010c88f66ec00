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

bool SameNoCase(const char* text, size_t length, const char* word) {
    if (strlen(word) != length) return false;
    for (size_t i = 0; i < length; i++)
        if (Lower((unsigned char)text[i]) != Lower((unsigned char)word[i])) return false;
    return true;
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
    // length(text) - length(word) without measuring text first. Only starts
    // whose first letter matches (in either case) are compared further.
    unsigned char first = Lower((unsigned char)word[0]);
    unsigned char firstUpper = (first >= 'a' && first <= 'z') ? (unsigned char)(first - 32) : first;
    for (const char* p = text; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c != first && c != firstUpper) continue;
        size_t i = 1;
        // word holds no NUL before n: text's terminator ends the match.
        while (i < n && Lower((unsigned char)p[i]) == Lower((unsigned char)word[i]))
            i++;
        if (i == n) return p;
    }
    return nullptr;
}
