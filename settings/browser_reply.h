// The reply of a browser's "WWW_GetWindowInfo" request: quoted fields
// separated by commas, the page address first, then the window title.
#pragma once
#include <cstddef>

// Splits the first three quoted fields of reply into the outputs given
// (any of them may be null). Each output is cut to its size - 1 bytes and
// terminated; an output whose field is missing or unterminated is left
// untouched, and so are the ones after it. Fields are not unescaped: a
// quote inside a field ends it.
void SplitQuotedReply(const char* reply, char* addressOut, size_t addressSize, char* titleOut, size_t titleSize,
                      char* thirdOut, size_t thirdSize);
