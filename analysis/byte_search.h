// The page scan's hot loops: finding the next byte of interest and copying a
// tag with its blanks collapsed. A vector routine (SSE2) and its portable
// twin give identical answers; the vector one is chosen once, when the
// processor has SSE2.
#pragma once
#include <cstddef>

// First position in [p, end) holding a, or end.
const char* FindByte(const char* p, const char* end, char a);
// First position in [p, end) holding a or b, or end.
const char* FindEitherByte(const char* p, const char* end, char a, char b);
// First position in [p, end) whose byte with 0x20 set is a or b, or end:
// with a and b in lower case, a case-free search for letters (other bytes
// can match too, "\r" for "-"; callers check what they find).
const char* FindFoldedByte(const char* p, const char* end, char a, char b);

// Appends [p, end) to out, which holds *n bytes, as tag texts are collected:
// each ' ', '\t' and '\n' becomes ' ', and is dropped right after a ' '
// (runs of blanks collapse). Writes at most limit bytes in all; true when
// that cut the copy, i.e. a byte that would have been written was left.
bool CollapseBlanks(const char* p, const char* end, char* out, size_t limit, size_t* n);

// The portable twins, and whether the vector routines are in use; the tests
// compare the two on the same inputs.
const char* FindBytePortable(const char* p, const char* end, char a);
const char* FindEitherBytePortable(const char* p, const char* end, char a, char b);
const char* FindFoldedBytePortable(const char* p, const char* end, char a, char b);
bool CollapseBlanksPortable(const char* p, const char* end, char* out, size_t limit, size_t* n);
bool VectorSearchInUse();
