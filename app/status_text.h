// The status bar's selection text and its size formatting.
#pragma once
#include <cstddef>

// "999バイト", "1.5KB", "0.95MB": decimal limits, binary divisors. The text
// lives in one shared buffer that the next call overwrites.
const char* SizeText(long long bytes);

// Text for the selected rows of the found-file table (rows in list order):
// empty for none, the name and size for one, the count and total for more.
void FormatStatusText(const int* rows, int count, char* out, size_t size);
