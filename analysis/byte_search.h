// The page scan's hot loops: finding the next byte of interest. A vector
// routine (SSE2) and its portable twin give identical answers; the vector
// one is chosen once, when the processor has SSE2.
#pragma once
#include <cstddef>

// First position in [p, end) holding a, or end.
const char* FindByte(const char* p, const char* end, char a);
// First position in [p, end) holding a or b, or end.
const char* FindEitherByte(const char* p, const char* end, char a, char b);

// The portable twins, and whether the vector routines are in use; the tests
// compare the two on the same inputs.
const char* FindBytePortable(const char* p, const char* end, char a);
const char* FindEitherBytePortable(const char* p, const char* end, char a, char b);
bool VectorSearchInUse();
