#include "analysis/links.h"

#include <cstring>

#include "analysis/byte_search.h"
#include "text/text.h"

namespace {

constexpr int kMaxExtensionWord = 9; // longer words of Extension are ignored

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of a leading "scheme:" as URLs write it (a letter, then letters,
// digits, "+", "-" or "."), 0 when the text does not start with one. A ":"
// after the first "/" belongs to the path, not to a scheme.
size_t LinkSchemeLength(const char* link, size_t length) {
    if (length == 0 || !IsAsciiLetter(link[0])) return 0;
    size_t i = 1;
    while (i < length && (IsAsciiLetter(link[i]) || IsAsciiDigit(link[i]) || link[i] == '+' ||
                          link[i] == '-' || link[i] == '.'))
        i++;
    return i < length && link[i] == ':' ? i + 1 : 0;
}

// Length of the host part of the length bytes at text: up to the first "/",
// "?", "#" or the end.
size_t HostLength(const char* text, size_t length) {
    size_t n = 0;
    while (n < length && text[n] != '/' && text[n] != '?' && text[n] != '#')
        n++;
    return n;
}

// SchemeLength of a text of known length, which need not end in a NUL.
size_t SchemeLengthOf(const char* text, size_t length) {
    if (length >= 7 && StrNCmpI(text, "http://", 7) == 0) return 7;
    if (length >= 8 && StrNCmpI(text, "https://", 8) == 0) return 8;
    return 0;
}

// True when cleaning would leave the link as it is: nothing to strip, no
// byte to refuse. Most links on a page are such.
bool IsCleanAlready(const char* link, size_t length) {
    return length > 0 && !(ClassifyLinkBytes(link, link + length) & LinkBytesUnclean);
}

// Copies link (length bytes, or up to a NUL) into out without surrounding
// spaces and without the tabs and line breaks that pages put inside long
// attribute values. Any other control byte would reach the request line, so
// such a link is refused; so is one that does not fit.
bool CleanLink(const char* link, size_t length, char* out, size_t outSize, size_t* cleanLength) {
    const char* end = link + length;
    while (link < end && (*link == ' ' || *link == '\t' || *link == '\r' || *link == '\n'))
        link++;
    size_t n = 0;
    for (const char* p = link; p < end && *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == '\t' || c == '\r' || c == '\n') continue;
        if (c < 0x20 || c == 0x7F) return false;
        if (n + 1 >= outSize) return false;
        out[n++] = (char)c;
    }
    while (n > 0 && out[n - 1] == ' ')
        n--;
    out[n] = '\0';
    *cleanLength = n;
    return n > 0;
}

// Joins head and tail into out, refusing rather than cutting: a cut address
// is another address, often a half character. Answers the length, 0 when
// refused.
size_t Join(const char* head, size_t headLength, const char* tail, size_t tailLength, char* out,
            size_t outSize) {
    size_t total = headLength + tailLength;
    if (total > (size_t)kMaxAddress || total >= outSize) return 0;
    memmove(out, head, headLength);
    memcpy(out + headLength, tail, tailLength);
    out[total] = '\0';
    return total;
}

// Resolution of a cleaned link (length bytes) against a split base. An
// address that would run past 259 characters drops the link: listing the
// bare directory instead would show a page that the document never named.
LinkKind Resolve(const char* link, size_t length, const LinkBase& base, char* out, size_t outSize,
                 size_t* outLength) {
    if (outSize > 0) out[0] = '\0';
    *outLength = 0;
    size_t n = 0;
    LinkKind kind = LinkRelative;
    if (LinkSchemeLength(link, length) > 0) {
        // Only "http://host..." and "https://host..." are fetched; "mailto:",
        // "javascript:" and the rest are no paths to glue onto the directory.
        size_t scheme = SchemeLengthOf(link, length);
        if (scheme == 0 || HostLength(link + scheme, length - scheme) == 0) return LinkDropped;
        n = Join(link, length, "", 0, out, outSize);
        kind = LinkAbsolute;
    } else if (length >= 2 && link[0] == '/' && link[1] == '/') {
        // Protocol-relative: the page's scheme, other host.
        if (base.schemeLength == 0 || HostLength(link + 2, length - 2) == 0) return LinkDropped;
        // The scheme without its "//", which the link brings.
        n = Join(base.scheme, base.schemeLength - 2, link, length, out, outSize);
        kind = LinkAbsolute;
    } else if (base.length == 0) {
        return LinkDropped;
    } else if (link[0] == '/') {
        n = Join(base.text, base.hostEnd, link, length, out, outSize);
    } else {
        // A run of "../", "./" and "/" pieces; each "../" climbs one
        // directory. A bare ".." or "." at the end is the directory itself.
        int levels = 0;
        const char* rest = link;
        const char* end = link + length;
        for (;;) {
            size_t left = (size_t)(end - rest);
            if (left >= 3 && rest[0] == '.' && rest[1] == '.' && rest[2] == '/') {
                levels++;
                rest += 3;
            } else if (left >= 2 && rest[0] == '.' && rest[1] == '/') {
                rest += 2;
            } else if (left >= 1 && rest[0] == '/') {
                rest += 1;
            } else if (left == 2 && rest[0] == '.' && rest[1] == '.') {
                levels++;
                rest += 2;
            } else if (left == 1 && rest[0] == '.') {
                rest += 1;
            } else {
                break;
            }
        }
        // Cut just after the (levels + 1)-th "/" met walking back from the
        // end; climbing above the root stays at the root. The base ends in
        // "/", so a link that climbs nothing goes after the whole base.
        size_t cut = base.hostEnd + 1;
        int met = 0;
        for (size_t k = base.length; k-- > base.hostEnd;) {
            if (base.text[k] == '/' && ++met == levels + 1) {
                cut = k + 1;
                break;
            }
        }
        n = Join(base.text, cut, rest, (size_t)(end - rest), out, outSize);
    }
    if (n == 0) return LinkDropped;
    *outLength = n;
    return kind;
}

} // namespace

int SchemeLength(const char* address) {
    if (StrNCmpI(address, "http://", 7) == 0) return 7;
    if (StrNCmpI(address, "https://", 8) == 0) return 8;
    return 0;
}

bool PathExtension(const char* link, size_t length, const char** startOut, size_t* lengthOut) {
    const char* end = link;
    const char* stop = link + length;
    while (end < stop && *end && *end != '?' && *end != '#')
        end++;
    // The host of an absolute or protocol-relative link is no path segment:
    // "http://example.com" has no extension.
    const char* path = link;
    size_t scheme = LinkSchemeLength(link, (size_t)(end - link));
    if (scheme > 0 && (size_t)(end - link) >= scheme + 2 && link[scheme] == '/' &&
        link[scheme + 1] == '/')
        path = link + scheme + 2 + HostLength(link + scheme + 2, (size_t)(end - link) - scheme - 2);
    else if (end - link >= 2 && link[0] == '/' && link[1] == '/')
        path = link + 2 + HostLength(link + 2, (size_t)(end - link) - 2);
    const char* dot = nullptr;
    for (const char* p = end; p-- > path;) {
        if (*p == '/') break;
        if (*p == '.') {
            dot = p;
            break;
        }
    }
    if (!dot || (size_t)(end - dot - 1) > (size_t)kMaxExtension) return false;
    *startOut = dot + 1;
    *lengthOut = (size_t)(end - dot - 1);
    return true;
}

bool AcceptByExtension(const char* link, const TypeFilter& filter) {
    size_t n = strlen(link);
    if (n == 0) return false;
    if (filter.pages && link[n - 1] == '/') return true;

    const char* extension = nullptr;
    size_t extensionLength = 0;
    if (!PathExtension(link, n, &extension, &extensionLength)) return false;

    const char* words = filter.extension ? filter.extension : "";
    const char* wordsEnd = words + (filter.extension ? strnlen(words, filter.extensionSize) : 0);
    for (const char* p = words; p < wordsEnd;) {
        while (p < wordsEnd && *p == ' ')
            p++;
        while (p < wordsEnd && *p == '.')
            p++;
        const char* word = p;
        while (p < wordsEnd && *p != ' ')
            p++;
        size_t wordLength = (size_t)(p - word);
        if (wordLength == 0 || wordLength > (size_t)kMaxExtensionWord) continue;
        if (wordLength == extensionLength && StrNCmpI(word, extension, (int)wordLength) == 0)
            return true;
    }

    // A prefix test on the extension alone: its length ends the comparison.
    auto begins = [&](const char* prefix, size_t prefixLength) {
        return extensionLength >= prefixLength &&
               StrNCmpI(extension, prefix, (int)prefixLength) == 0;
    };
    auto is = [&](const char* word, size_t wordLength) {
        return extensionLength == wordLength && StrNCmpI(extension, word, (int)wordLength) == 0;
    };
    if (filter.pages && (is("html", 4) || is("htm", 3))) return true;

    const struct {
        const char* prefix;
        size_t length;
        bool on;
    } kTypes[] = {{"jpg", 3, filter.jpg},   {"jpeg", 4, filter.jpg}, {"gif", 3, filter.gif},
                  {"png", 3, filter.png},   {"wav", 3, filter.wav},  {"lzh", 3, filter.lzh},
                  {"webp", 4, filter.webp}, {"avif", 4, filter.avif}};
    for (const auto& type : kTypes)
        if (type.on && begins(type.prefix, type.length)) return true;
    return false;
}

bool BaseDirectory(const char* pageAddress, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    size_t scheme = (size_t)SchemeLength(pageAddress);
    if (scheme == 0) return false;
    const char* host = pageAddress + scheme;
    size_t hostLength = strcspn(host, "/?#");
    if (hostLength == 0) return false;
    // The directory is that of the path: a "/" in the query or the fragment
    // (page.cgi?from=/a/b) does not make one.
    const char* path = host + hostLength;
    const char* pathEnd = path + strcspn(path, "?#");
    const char* lastSlash = nullptr;
    for (const char* p = path; p < pathEnd; p++)
        if (*p == '/') lastSlash = p;
    if (lastSlash)
        return Join(pageAddress, (size_t)(lastSlash + 1 - pageAddress), "", 0, out, outSize) > 0;
    return Join(pageAddress, (size_t)(path - pageAddress), "/", 1, out, outSize) > 0;
}

void SplitLinkBase(const char* pageAddress, LinkBase* out) {
    out->schemeLength = (size_t)SchemeLength(pageAddress);
    memcpy(out->scheme, pageAddress, out->schemeLength);
    out->scheme[out->schemeLength] = '\0';
    out->length = 0;
    out->hostEnd = 0;
    if (!BaseDirectory(pageAddress, out->text, sizeof out->text)) return;
    out->length = strlen(out->text);
    out->hostEnd = out->schemeLength +
                   HostLength(out->text + out->schemeLength, out->length - out->schemeLength);
}

LinkKind ResolveOnBase(const char* link, size_t length, const LinkBase& base, ResolvedLink* out) {
    out->relative = false;
    out->address[0] = '\0';
    out->addressLength = 0;
    if (IsCleanAlready(link, length)) {
        out->clean = link;
        out->cleanLength = length;
    } else {
        out->clean = out->cleaned;
        if (!CleanLink(link, length, out->cleaned, sizeof out->cleaned, &out->cleanLength))
            return LinkDropped;
    }
    LinkKind kind = Resolve(out->clean, out->cleanLength, base, out->address, sizeof out->address,
                            &out->addressLength);
    out->relative = kind == LinkRelative;
    return kind;
}

bool ResolveLink(const char* link, const char* pageAddress, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    char clean[kAddressBufferSize];
    size_t cleanLength = 0;
    if (!CleanLink(link, strlen(link), clean, sizeof clean, &cleanLength)) return false;
    LinkBase base;
    SplitLinkBase(pageAddress, &base);
    size_t length = 0;
    return Resolve(clean, cleanLength, base, out, outSize, &length) != LinkDropped;
}

bool ResolveWrittenLink(const char* link, const char* base, char* cleanOut, size_t cleanSize,
                        char* out, size_t outSize, bool* relativeOut) {
    *relativeOut = false;
    if (outSize > 0) out[0] = '\0';
    size_t cleanLength = 0;
    if (!CleanLink(link, strlen(link), cleanOut, cleanSize, &cleanLength)) return false;
    LinkBase split;
    SplitLinkBase(base, &split);
    size_t length = 0;
    LinkKind kind = Resolve(cleanOut, cleanLength, split, out, outSize, &length);
    *relativeOut = kind == LinkRelative;
    return kind != LinkDropped;
}
