// JSON strings: where one ends, its escapes decoded, and text written as
// one. The readers above (pictures in JSON-LD, the browser extension's
// message) walk the structure themselves.
#pragma once
#include <cstddef>
#include <string>

// The end of the string that opens at quote: its closing quote, or end when
// it is not closed.
const char* JsonStringEnd(const char* quote, const char* end);

// Decodes a string's content [p, stop) into out (outSize bytes, terminator
// included); its length into *lengthOut. False when it does not fit, holds a
// raw control character, \u0000 or half of a surrogate pair, or, unless
// controls, an escaped control character (no address carries one).
bool DecodeJsonString(const char* p, const char* stop, char* out, size_t outSize, size_t* lengthOut,
                      bool controls);

// Appends text[0, length) as a JSON string, quotes included: quote,
// backslash and control characters escaped, other bytes as they are.
void AppendJsonString(std::string* out, const char* text, size_t length);
