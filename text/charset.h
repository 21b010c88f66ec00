// UTF-8 text and its Shift_JIS (code page 932) form, in which the program
// keeps every text it shows or saves.
#pragma once
#include <cstddef>
#include <cstdint>

// One UTF-8 character at text (length bytes available): its byte count and
// code point; 0 when the bytes there are no whole, shortest-form character.
size_t DecodeUtf8(const char* text, size_t length, uint32_t* codePointOut);

// The UTF-8 bytes of a code point (at most U+10FFFF) into out, which has room
// for four; their count.
size_t EncodeUtf8(uint32_t codePoint, char* out);

// True when the length bytes are all valid UTF-8 and at least one of them is
// not ASCII (plain ASCII says nothing about the character set).
bool IsUtf8Text(const char* text, size_t length);

// Converts UTF-8 into Shift_JIS: a character Shift_JIS lacks, and a byte
// that starts no valid character, becomes "?". At most outSize - 1 bytes are
// written, never half a character; the count of "?" put in is answered.
int Utf8ToShiftJis(const char* text, size_t length, char* out, size_t outSize);

// Platform partner (charset_posix.cpp, charset_win.cpp): the Shift_JIS bytes
// of each of count code points, all of them 0x80 or more, into out (two bytes
// per code point: 0 and the byte for a single-byte character, 0 and 0 when
// code page 932 has no such character).
void ShiftJisOfCodePoints(const uint32_t* codePoints, size_t count, unsigned char* out);
