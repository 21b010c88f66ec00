// Bounded text helpers used everywhere instead of strcpy/sprintf/strcat.
#pragma once
#include <cstddef>

// Copies at most size - 1 bytes of src into dst and terminates it.
// A cut never leaves half of a Shift_JIS double-byte character at the end.
void CopyText(char* dst, size_t size, const char* src);
// Copies text[0, length) and a terminator whole: false, with dst emptied,
// when it does not fit or holds a NUL of its own (never cut).
bool CopyPiece(char* dst, size_t size, const char* text, size_t length);

// Formats into buffer from its start (like snprintf, always terminated).
void FormatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Formats at most size - 1 characters and appends as much as still fits
// to the text already in buffer, keeping it terminated.
void AppendFormat(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The value of a hexadecimal digit, or -1 when c is none.
int HexDigitValue(char c);

// True for the first byte of a Shift_JIS double-byte character.
bool IsLeadByte(unsigned char c);
// True where s starts a whole double-byte character: a lead byte followed by
// a byte that can follow it. A lead byte before anything else stands alone.
bool IsDoubleByteAt(const char* s);

// Diagnostic trace: at most 254 characters and "\n" to the debugger output.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Platform partner of Trace: passes one finished line to the debugger output.
void DebugOutput(const char* line);
