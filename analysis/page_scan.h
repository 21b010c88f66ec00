// The HTML scan of a page fetched for analysis.
#pragma once
#include <cstddef>

// Scans a NUL-terminated page body, hands every reference to HandleLink and,
// for the top page, sets the main window's caption from the page title.
void AnalysePage(const char* text, const char* pageAddress);

// Value of the attribute name in a collected tag text, trimmed, at most
// capacity - 1 characters; false (out empty) when there is none.
bool GetAttributeValue(const char* tagText, const char* name, char* out, size_t capacity);
// The same value in place: where it starts in tagText and how long it is.
bool FindAttributeValue(const char* tagText, const char* name, const char** startOut,
                        size_t* lengthOut);

// Scans a script body starting at the ">" of its tag for window.open calls;
// answers how many characters the page scan skips (up to just after the
// closing "</script>"), or -1 when the script has no end.
ptrdiff_t ScanScript(const char* text, const char* baseDirectory);

// Takes one quoted argument (index 0 or 1) of the call at the start of text,
// when text begins with prefix (nullptr: any call), as a link.
void TakeQuotedArgument(const char* text, const char* prefix, int index, const char* baseDirectory);

// 2 (Shift_JIS) or 3 (EUC-JP), by which one the text's byte pairs fit best.
int GuessJapaneseEncoding(const char* text);

// Converts EUC-JP text to Shift_JIS in place (the result is never longer).
void EucToShiftJis(char* text);
