#include "app/address_text.h"

#include <cstring>

#include "text/nocase.h"
#include "text/text.h"

bool IsHtmlAddress(const char* address) {
    if (!address) return false;
    return EndsWithNoCase(address, ".htm") || EndsWithNoCase(address, ".html") ||
           EndsWithNoCase(address, "/");
}

bool AddressFromBrowserReply(const char* reply, char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    if (!reply || !reply[0]) return false;
    const char* start = reply + 1;
    const char* end = strchr(start, '"');
    if (!end) return false;
    size_t len = (size_t)(end - start);
    if (size == 0) return false;
    if (len > size - 1) len = size - 1;
    char piece[1024];
    if (len >= sizeof piece) len = sizeof piece - 1;
    memcpy(piece, start, len);
    piece[len] = '\0';
    CopyText(out, size, piece);
    return true;
}
