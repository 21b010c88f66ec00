// Link filtering and resolution: the extension filter and the rules that
// turn a link written on a page into a full address.
#pragma once
#include <cstddef>

#include "text/address.h"
#include "text/nocase.h"

// True when the link's extension is one of the selected file types (or an
// HTML page or directory while pages are wanted).
bool AcceptByExtension(const char* link);

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

// Length of the address's "http://" or "https://" (any case), else 0.
int SchemeLength(const char* address);
