// Case-insensitive comparisons used throughout the program. Only the ASCII
// letters fold; every other byte (Shift_JIS bytes included) compares as it is.
#pragma once
#include <cstddef>

// Comparisons of 256 or more characters are refused as a programming error.
constexpr int kMaxNoCaseCompare = 255;

// 0 when the first n characters of a and b are equal ignoring case, otherwise
// non-zero (<0 or >0 like strncmp). Each side stops at its terminator, so a
// side shorter than the other compares unequal. n >= 256 traces
// "strncmpi err!" and answers non-zero.
int StrNCmpI(const char* a, const char* b, int n);

// First occurrence of word in text ignoring case, or nullptr.
const char* FindNoCase(const char* text, const char* word);

// True when text[0, length) is word ignoring case (a NUL inside text
// never matches).
bool SameNoCase(const char* text, size_t length, const char* word);

// True when text ends with tail ignoring case ("" ends every text).
bool EndsWithNoCase(const char* text, const char* tail);
