// Small rules about page addresses used by the commands and the file list.
#pragma once
#include <cstddef>

// True when the address ends with ".htm" or ".html" (any case) or with "/".
bool IsHtmlAddress(const char* address);
// The address inside a browser's window-information answer: the text after
// the first character up to the next double quote. False when there is no
// closing quote.
bool AddressFromBrowserReply(const char* reply, char* out, size_t size);
