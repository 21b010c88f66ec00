// Reader and writer of the INI file with the observable behaviour of the
// private-profile functions: names compared without case, missing keys give
// the default, values cut to size - 1, writes in place with CR LF line ends.
#pragma once
#include <cstddef>

// Copies the value (or the default when the key is missing) into buffer, cut
// to size - 1; returns the number of bytes copied.
size_t IniReadText(const char* section, const char* key, const char* fallback, char* buffer,
                   size_t size, const char* path);
// Integer value by the leading-digits rule; fallback when missing or empty.
int IniReadInt(const char* section, const char* key, int fallback, const char* path);
// Writes the value (creating file, section or key); a null value deletes the
// key. Returns 1 on success, 0 when the file cannot be written.
int IniWriteText(const char* section, const char* key, const char* value, const char* path);
// Writes an integer as decimal text.
int WriteIniInt(const char* section, const char* key, int value, const char* path);
// C-library style decimal conversion: leading blanks, sign, digits; else 0.
int TextToInt(const char* text);
