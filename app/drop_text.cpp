#include "app/drop_text.h"

#include <cstring>

#include "text/nocase.h"

namespace {

bool StartsWithNoCase(const char* text, size_t length, const char* word) {
    const size_t n = strlen(word);
    return length >= n && StrNCmpI(text, word, (int)n) == 0;
}

bool StartsAddress(const char* text, size_t length) {
    return StartsWithNoCase(text, length, "http://") || StartsWithNoCase(text, length, "https://");
}

// Characters that may stand right before an address in running text.
bool OpensAddress(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'' || c == '<';
}

bool EndsAddress(char c) {
    const unsigned char u = (unsigned char)c;
    return u <= ' ' || u == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>';
}

// Copies the address at text up to its end, cut to the buffer.
void TakeAddress(const char* text, size_t length, char* address, size_t size) {
    size_t n = 0;
    while (n < length && !EndsAddress(text[n]))
        n++;
    if (n > size - 1) n = size - 1;
    memcpy(address, text, n);
    address[n] = '\0';
}

// The line at text without its line end, and where the next one starts.
size_t LineLength(const char* text, size_t length, size_t* next) {
    size_t n = 0;
    while (n < length && text[n] != '\r' && text[n] != '\n' && text[n] != '\0')
        n++;
    size_t after = n;
    while (after < length && (text[after] == '\r' || text[after] == '\n'))
        after++;
    *next = after;
    return n;
}

void TrimBlanks(const char** text, size_t* length) {
    while (*length > 0 && (**text == ' ' || **text == '\t')) {
        ++*text;
        --*length;
    }
    while (*length > 0 && ((*text)[*length - 1] == ' ' || (*text)[*length - 1] == '\t'))
        --*length;
}

} // namespace

bool AddressFromDroppedText(const char* text, size_t length, char* address, size_t size) {
    if (!text || !address || size == 0) return false;
    address[0] = '\0';
    const void* end = memchr(text, '\0', length);
    if (end) length = (size_t)((const char*)end - text);
    for (size_t i = 0; i < length; i++) {
        if (i > 0 && !OpensAddress(text[i - 1])) continue;
        if (!StartsAddress(text + i, length - i)) continue;
        TakeAddress(text + i, length - i, address, size);
        return true;
    }
    return false;
}

bool AddressFromShortcut(const char* content, size_t length, char* address, size_t size) {
    if (!content || !address || size == 0) return false;
    address[0] = '\0';
    bool inSection = false;
    size_t next = 0;
    for (size_t at = 0; at < length; at = next) {
        const char* line = content + at;
        size_t n = LineLength(line, length - at, &next);
        next += at;
        if (n == 0 && next == at) break; // a zero byte ends the text
        TrimBlanks(&line, &n);
        if (n > 0 && line[0] == '[') {
            inSection = StartsWithNoCase(line, n, "[InternetShortcut]") && n == 18;
            continue;
        }
        const char* equals = inSection ? (const char*)memchr(line, '=', n) : nullptr;
        if (!equals) continue;
        const char* key = line;
        size_t keyLength = (size_t)(equals - line);
        TrimBlanks(&key, &keyLength);
        if (keyLength != 3 || StrNCmpI(key, "URL", 3) != 0) continue;
        n = (size_t)(line + n - (equals + 1));
        line = equals + 1;
        TrimBlanks(&line, &n);
        if (!StartsAddress(line, n)) return false;
        TakeAddress(line, n, address, size);
        return true;
    }
    return false;
}
