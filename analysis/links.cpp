#include "analysis/links.h"

#include <cstring>

#include "settings/options.h"
#include "text/text.h"

namespace {

constexpr int kMaxExtension = 8;     // characters after the "." that count
constexpr int kMaxExtensionWord = 9; // longer words of Extension are ignored

enum LinkKind { LinkDropped, LinkAbsolute, LinkRelative };

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool WantsPages() { return Options.InternalLinks == 1 || Options.HTM == 1; }

// Length of a leading "scheme:" as URLs write it (a letter, then letters,
// digits, "+", "-" or "."), 0 when the text does not start with one. A ":"
// after the first "/" belongs to the path, not to a scheme.
size_t LinkSchemeLength(const char* link) {
    if (!IsAsciiLetter(link[0])) return 0;
    size_t i = 1;
    while (IsAsciiLetter(link[i]) || IsAsciiDigit(link[i]) || link[i] == '+' || link[i] == '-' ||
           link[i] == '.')
        i++;
    return link[i] == ':' ? i + 1 : 0;
}

// Length of the host part that starts at text: up to the first "/", "?",
// "#" or the end.
size_t HostLength(const char* text) {
    return strcspn(text, "/?#");
}

// Copies link into out without surrounding spaces and without the tabs and
// line breaks that pages put inside long attribute values. Any other control
// byte would reach the request line, so such a link is refused; so is one
// that does not fit.
bool CleanLink(const char* link, char* out, size_t outSize) {
    while (*link == ' ' || *link == '\t' || *link == '\r' || *link == '\n')
        link++;
    size_t n = 0;
    for (const char* p = link; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == '\t' || c == '\r' || c == '\n') continue;
        if (c < 0x20 || c == 0x7F) return false;
        if (n + 1 >= outSize) return false;
        out[n++] = (char)c;
    }
    while (n > 0 && out[n - 1] == ' ')
        n--;
    out[n] = '\0';
    return n > 0;
}

// Joins head (headLength characters) and tail into out, refusing rather than
// cutting: a cut address is another address, often a half character.
bool Join(const char* head, size_t headLength, const char* tail, char* out, size_t outSize) {
    size_t tailLength = strlen(tail);
    size_t total = headLength + tailLength;
    if (total > (size_t)kMaxAddress || total >= outSize) return false;
    memmove(out, head, headLength);
    memcpy(out + headLength, tail, tailLength + 1);
    return true;
}

// Resolution of a cleaned link against a page (or its base directory).
// An address that would run past 259 characters drops the link: listing the
// bare directory instead would show a page that the document never named.
LinkKind Resolve(const char* link, const char* pageAddress, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    if (LinkSchemeLength(link) > 0) {
        // Only "http://host..." and "https://host..." are fetched; "mailto:",
        // "javascript:" and the rest are no paths to glue onto the directory.
        size_t scheme = (size_t)SchemeLength(link);
        if (scheme == 0 || HostLength(link + scheme) == 0) return LinkDropped;
        return Join(link, strlen(link), "", out, outSize) ? LinkAbsolute : LinkDropped;
    }
    if (link[0] == '/' && link[1] == '/') { // protocol-relative: the page's scheme, other host
        size_t pageScheme = (size_t)SchemeLength(pageAddress);
        if (pageScheme == 0 || HostLength(link + 2) == 0) return LinkDropped;
        // The scheme without its "//", which the link brings.
        return Join(pageAddress, pageScheme - 2, link, out, outSize) ? LinkAbsolute : LinkDropped;
    }

    char base[kAddressBufferSize];
    if (!BaseDirectory(pageAddress, base, sizeof base)) return LinkDropped;
    size_t baseLength = strlen(base);
    size_t scheme = (size_t)SchemeLength(base);
    size_t hostEnd = scheme + HostLength(base + scheme); // the "/" after the host

    if (link[0] == '/') {
        return Join(base, hostEnd, link, out, outSize) ? LinkRelative : LinkDropped;
    }

    // A run of "../", "./" and "/" pieces; each "../" climbs one directory.
    // A bare ".." or "." at the end is the directory itself.
    int levels = 0;
    const char* rest = link;
    for (;;) {
        if (strncmp(rest, "../", 3) == 0) {
            levels++;
            rest += 3;
        } else if (strncmp(rest, "./", 2) == 0) {
            rest += 2;
        } else if (rest[0] == '/') {
            rest += 1;
        } else if (strcmp(rest, "..") == 0) {
            levels++;
            rest += 2;
        } else if (strcmp(rest, ".") == 0) {
            rest += 1;
        } else {
            break;
        }
    }
    // Cut just after the (levels + 1)-th "/" met walking back from the end;
    // climbing above the root stays at the root.
    size_t cut = hostEnd + 1;
    int met = 0;
    for (size_t k = baseLength; k-- > hostEnd;) {
        if (base[k] == '/' && ++met == levels + 1) {
            cut = k + 1;
            break;
        }
    }
    return Join(base, cut, rest, out, outSize) ? LinkRelative : LinkDropped;
}

}  // namespace

int SchemeLength(const char* address) {
    if (StrNCmpI(address, "http://", 7) == 0) return 7;
    if (StrNCmpI(address, "https://", 8) == 0) return 8;
    return 0;
}

bool AcceptByExtension(const char* link) {
    size_t n = strlen(link);
    if (n == 0) return false;
    if (WantsPages() && link[n - 1] == '/') return true;

    const char* dot = nullptr;
    for (size_t k = n; k-- > 0 && n - k <= (size_t)kMaxExtension + 1;) {
        if (link[k] == '.') {
            dot = link + k;
            break;
        }
    }
    if (!dot) return false;
    const char* extension = dot + 1;
    size_t extensionLength = strlen(extension);

    const char* words = Options.Extension;
    const char* wordsEnd = words + strnlen(Options.Extension, sizeof Options.Extension);
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

    if (WantsPages() && (StrNCmpI(extension, "html", 5) == 0 || StrNCmpI(extension, "htm", 4) == 0))
        return true;

    static const struct {
        const char* prefix;
        const int32_t* option;
    } kTypes[] = {{"jpg", &Options.JPG}, {"jpeg", &Options.JPG}, {"gif", &Options.GIF},
                  {"png", &Options.PNG}, {"wav", &Options.WAV},  {"lzh", &Options.LZH}};
    for (const auto& type : kTypes)
        if (*type.option == 1 && StrNCmpI(extension, type.prefix, (int)strlen(type.prefix)) == 0)
            return true;
    return false;
}

bool BaseDirectory(const char* pageAddress, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    size_t scheme = (size_t)SchemeLength(pageAddress);
    if (scheme == 0) return false;
    const char* host = pageAddress + scheme;
    size_t hostLength = HostLength(host);
    if (hostLength == 0) return false;
    // The directory is that of the path: a "/" in the query or the fragment
    // (page.cgi?from=/a/b) does not make one.
    const char* path = host + hostLength;
    const char* pathEnd = path + strcspn(path, "?#");
    const char* lastSlash = nullptr;
    for (const char* p = path; p < pathEnd; p++)
        if (*p == '/') lastSlash = p;
    if (lastSlash)
        return Join(pageAddress, (size_t)(lastSlash + 1 - pageAddress), "", out, outSize);
    return Join(pageAddress, (size_t)(path - pageAddress), "/", out, outSize);
}

bool ResolveLink(const char* link, const char* pageAddress, char* out, size_t outSize) {
    char clean[kAddressBufferSize];
    if (!CleanLink(link, clean, sizeof clean)) {
        if (outSize > 0) out[0] = '\0';
        return false;
    }
    return Resolve(clean, pageAddress, out, outSize) != LinkDropped;
}

bool ResolveWrittenLink(const char* link, const char* base, char* cleanOut, size_t cleanSize,
                        char* out, size_t outSize, bool* relativeOut) {
    *relativeOut = false;
    if (outSize > 0) out[0] = '\0';
    if (!CleanLink(link, cleanOut, cleanSize)) return false;
    LinkKind kind = Resolve(cleanOut, base, out, outSize);
    *relativeOut = kind == LinkRelative;
    return kind != LinkDropped;
}
