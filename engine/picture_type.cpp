#include "engine/picture_type.h"

#include <cstring>

#include "text/address.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

// The end of the address's path: its first "?" or "#", else its end.
const char* PathEnd(const char* address) {
    const char* end = address;
    while (*end && *end != '?' && *end != '#')
        end++;
    return end;
}

} // namespace

bool HasNoPathExtension(const char* address) {
    size_t n = strlen(address);
    const char* start = nullptr;
    size_t length = 0;
    if (n == 0 || PathExtension(address, n, &start, &length)) return false;
    const char* end = PathEnd(address);
    size_t scheme = (size_t)SchemeLength(address);
    const char* path = scheme > 0 ? strchr(address + scheme, '/') : strchr(address, '/');
    if (!path || path >= end) return false; // no path at all
    return end[-1] != '/';
}

bool AnyPictureType(const TypeFilter& filter) {
    return filter.jpg || filter.gif || filter.png || filter.webp || filter.avif;
}

PictureAnswer JudgePictureAnswer(const char* contentType, const TypeFilter& filter,
                                 char* extensionOut, size_t extensionSize) {
    CopyText(extensionOut, extensionSize, "");
    if (!contentType) return PictureNot;
    while (*contentType == ' ')
        contentType++;
    size_t n = 0;
    while (contentType[n] && contentType[n] != ';' && contentType[n] != ' ')
        n++;
    if (n < 6 || StrNCmpI(contentType, "image/", 6) != 0) return PictureNot;
    static const struct {
        const char* type;
        const char* extension;
    } kTypes[] = {{"image/jpeg", "jpg"}, {"image/pjpeg", "jpg"}, {"image/png", "png"},
                  {"image/gif", "gif"},  {"image/webp", "webp"}, {"image/avif", "avif"},
                  {"image/bmp", "bmp"},  {"image/x-ms-bmp", "bmp"}};
    for (const auto& t : kTypes) {
        if (strlen(t.type) != n || StrNCmpI(contentType, t.type, (int)n) != 0) continue;
        // The selection judges the name it will be saved under.
        char name[16];
        FormatText(name, sizeof name, "a.%s", t.extension);
        if (!AcceptByExtension(name, filter)) return PictureUnticked;
        CopyText(extensionOut, extensionSize, t.extension);
        return PictureTyped;
    }
    return PictureUnticked;
}

bool TypedAddress(const char* address, const char* extension, char* out, size_t outSize) {
    const char* end = PathEnd(address);
    size_t head = (size_t)(end - address);
    size_t extensionLength = strlen(extension);
    size_t total = strlen(address) + 1 + extensionLength;
    if (total > (size_t)kMaxAddress || total + 1 > outSize) return false;
    memcpy(out, address, head);
    out[head] = '.';
    memcpy(out + head + 1, extension, extensionLength);
    CopyText(out + head + 1 + extensionLength, outSize - head - 1 - extensionLength, end);
    return true;
}
