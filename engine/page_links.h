// What the engine makes of an analysed page: the scan's references become
// rows of the found-file table, pages to follow and HEAD requests.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "analysis/links.h"

// Pages one analysis follows at most: a site that makes up endless pages
// must not grow the queues without bound.
constexpr size_t kMaxFollowedPages = 2000;

// Scans a fetched page (length bytes; the body ends at its first NUL) and
// takes its references; headerCharset is what the Content-Type header named
// (a PageCharset). For the top page it sets the main window's caption.
// pictures, when given, are absolute addresses a browser showed on the page
// (a snapshot's), taken as pictures after the page's own references.
void AnalysePage(const char* text, size_t length, const char* pageAddress, int headerCharset,
                 const std::vector<std::string>* pictures = nullptr);

// One reference: link as the page wrote it (cleaned), address resolved,
// relative when written relative to its page, picture when found where only
// a picture can stand (an address without extension is then listed as a
// picture of unknown type). Applies the extension filter, the duplicate
// test, the table row, following and the HEAD request.
void TakeReference(const char* link, const char* address, bool relative, bool picture = false);

// The file types the settings select, for the extension filter.
TypeFilter OptionTypeFilter();

// True when the address is already queued for analysis, being fetched by an
// active job, or listed in the found-file table (exact comparison).
bool IsKnownAddress(const char* address);

// True when the address was queued for analysis since the last new page.
bool IsVisited(const char* address);

// Re-reads the found-file table and VisitedPages into the look-ups that keep
// the duplicate tests fast. AnalysePage calls it before each page, so changes
// made in between (a new analysis, a stop) are seen.
void PrepareLinkChecks();
