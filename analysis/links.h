// Link filtering and resolution: the extension filter and the rules that
// turn a link written on a page into a full address.
#pragma once
#include <cstddef>

#include "text/address.h"
#include "text/nocase.h"

// The file types a user selected, as the extension filter reads them.
struct TypeFilter {
    bool pages; // HTML pages and directories (InternalLinks or HTM)
    bool jpg, gif, png, wav, lzh, webp, avif;
    const char* extension; // Extension: more extensions, separated by spaces
    size_t extensionSize;  // bytes of room at extension (it may lack a terminator)
};

constexpr int kMaxExtension = 8; // characters after the "." that count

// The extension of a link's path: the text after the last "." of its last
// path segment, before any "?" or "#", at most 8 characters; false when it
// has none (or a longer one).
bool PathExtension(const char* link, size_t length, const char** startOut, size_t* lengthOut);

// True when the link's extension is one of the selected file types (or an
// HTML page or directory while pages are wanted).
bool AcceptByExtension(const char* link, const TypeFilter& filter);

// The directory that a page's relative links start from: the address up to
// and including the last "/" of its path, or the address and "/" when it has
// no path. Returns false (out empty) for anything but an "http://" or
// "https://" address.
bool BaseDirectory(const char* pageAddress, char* out, size_t outSize);

// Resolves link against the page address's base directory into a full
// "http://" or "https://" address (<= 259 chars); a protocol-relative link
// takes the page's scheme. Returns false when the link is dropped (other
// scheme, too long, empty).
bool ResolveLink(const char* link, const char* pageAddress, char* out, size_t outSize);

// Resolution of a link as a page writes it: cleanOut receives the link
// without surrounding spaces and inner tabs and line breaks (the text the
// extension filter judges), out the full address as ResolveLink gives it, and
// *relativeOut whether the link was relative to its page (an internal link).
// base is a page address or base directory. false when the link is dropped.
bool ResolveWrittenLink(const char* link, const char* base, char* cleanOut, size_t cleanSize,
                        char* out, size_t outSize, bool* relativeOut);

// What resolution made of a link.
enum LinkKind { LinkDropped, LinkAbsolute, LinkRelative };

// A page's base directory split once, for the many links of one page.
struct LinkBase {
    char scheme[9]; // the page address's "http://" or "https://" as written, "" for none
    size_t schemeLength;
    char text[kAddressBufferSize]; // the base directory, "" when there is none
    size_t length;                 // of text; 0 when relative links have nothing to start from
    size_t hostEnd;                // position of the "/" after the host in text
};

// Splits what a page address (or a base directory) gives its links.
void SplitLinkBase(const char* pageAddress, LinkBase* out);

// A link as resolution leaves it: clean points at the link without
// surrounding spaces and inner tabs and line breaks (the link itself when
// there were none, else cleaned), address is the full address.
struct ResolvedLink {
    const char* clean;
    size_t cleanLength;
    char cleaned[kAddressBufferSize];
    char address[kAddressBufferSize];
    size_t addressLength;
    bool relative; // written relative to the page: an internal link
};

// ResolveWrittenLink for a link of length bytes (no terminator needed; it
// ends at a NUL within them) against a split base, with the same answers.
LinkKind ResolveOnBase(const char* link, size_t length, const LinkBase& base, ResolvedLink* out);

// Length of the address's "http://" or "https://" (any case), else 0.
int SchemeLength(const char* address);
