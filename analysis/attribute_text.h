// Texts inside tags: attribute values with their character references,
// srcset candidate lists and CSS url(...) values.
#pragma once
#include <cstddef>

// Decodes the character references &amp; &quot; &apos; &lt; &gt; &#NN; and
// &#xHH; of value into out. A reference to a control character (below 0x20,
// 0x7F to 0x9F) or past U+10FFFF, an unknown name and one without its ";"
// stay as written; a character beyond ASCII becomes its UTF-8 bytes. false
// when the result does not fit into outSize - 1 bytes.
bool DecodeCharacterReferences(const char* value, size_t length, char* out, size_t outSize,
                               size_t* lengthOut);

// The candidate of a srcset value with the largest width ("w") descriptor,
// or when there is none the largest density ("x"; no descriptor counts as
// 1x); the first one wins a tie. false when the list names no address.
bool LargestSrcsetCandidate(const char* value, size_t length, const char** startOut,
                            size_t* lengthOut);

// Calls take for the address of every url(...) in CSS text, in order,
// quoted or not, without its quotes and surrounding blanks.
using CssUrlTaker = void (*)(void* context, const char* start, size_t length);
void ForEachCssUrl(const char* css, size_t length, CssUrlTaker take, void* context);
