// Names and addresses between the web's UTF-8 and the program's Shift_JIS.
#pragma once
#include <cstddef>

// Copies text with every byte of 0x80 or more written as "%XX", as browsers
// send the non-ASCII bytes of an address. false when it does not fit into
// outSize - 1 bytes (out is then empty).
bool PercentEncodeHighBytes(const char* text, size_t length, char* out, size_t outSize);

// The form in which a file or folder name taken from an address is shown and
// saved. A name that is UTF-8 text beyond ASCII, raw or percent-encoded,
// becomes Shift_JIS when Shift_JIS holds every character of it
// ("%E5%86%99%E7%9C%9F.jpg" gives the Shift_JIS of 写真.jpg), and otherwise
// stays percent-encoded. Escapes of ASCII characters are decoded ("c%20d.jpg"
// gives "c d.jpg") except those of characters a Windows name refuses
// ("%3F", "%2F", control characters), which stay as written. Any other name
// (Shift_JIS, ASCII) is copied unchanged. Cut to outSize - 1 bytes on a
// whole character.
void ReadableName(const char* name, size_t length, char* out, size_t outSize);

// The name an address gives its file: the last segment of its path, without
// the query and the fragment ("http://h/a/b.jpg?w=1" gives "b.jpg", still
// escaped). Empty when the path ends in "/"; the host for a bare
// "http://host".
void AddressNameSpan(const char* address, const char** startOut, size_t* lengthOut);
