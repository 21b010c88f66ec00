#include "analysis/nocase.h"

#include <cstring>

static inline unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 32) : c;
}

int StrNCmpI(const char* a, const char* b, int n) {
    for (int i = 0; i < n; i++) {
        unsigned char x = Lower((unsigned char)a[i]);
        unsigned char y = Lower((unsigned char)b[i]);
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
    return 0;
}

const char* FindNoCase(const char* haystack, const char* needle) {
    size_t n = strlen(needle);
    if (n == 0) return haystack;
    unsigned char first = Lower((unsigned char)needle[0]);
    for (const char* p = haystack; *p; p++) {
        if (Lower((unsigned char)*p) == first && StrNCmpI(p, needle, (int)n) == 0) return p;
    }
    return nullptr;
}
