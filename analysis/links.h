// Link filtering and resolution: every reference that the page scan finds
// goes through HandleLink, which lists it and queues the work it needs.
#pragma once
#include <cstddef>

#include "analysis/nocase.h"

// Longest address the program handles, and a buffer that holds one.
constexpr int kMaxAddress = 259;
constexpr int kAddressBufferSize = kMaxAddress + 1;  // + terminator

// True when the link's extension is one of the selected file types (or an
// HTML page or directory while pages are wanted).
bool AcceptByExtension(const char* link);

// True when the address is already queued for analysis, being fetched by an
// active job, or listed in the found-file table (exact comparison).
bool IsKnownAddress(const char* address);

// True when the address was queued for analysis since the last new page.
bool IsVisited(const char* address);

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

// Takes one reference found on a page: the value of attributeName in the tag
// text, or tagText itself when attributeName is nullptr. Lists it, queues the
// page for analysis and a HEAD request as the options ask.
void HandleLink(const char* tagText, const char* attributeName, const char* baseDirectory);

// Re-reads the found-file table and VisitedPages into the look-ups that keep
// the duplicate tests fast. AnalysePage calls it before each page, so changes
// the engine made in between (a new analysis, a stop) are seen.
void PrepareLinkChecks();

// Pages one analysis follows at most: a site that makes up endless pages
// must not grow the queues without bound.
constexpr size_t kMaxFollowedPages = 2000;
