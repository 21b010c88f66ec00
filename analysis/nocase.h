// Case-insensitive comparisons (ASCII letters only; other bytes compare as they are).
#pragma once

// Compares at most n bytes of a and b without regard to letter case;
// <0, 0 or >0 like strncmp.
int StrNCmpI(const char* a, const char* b, int n);
// Position of the first occurrence of needle in haystack, ignoring case; nullptr if none.
const char* FindNoCase(const char* haystack, const char* needle);
