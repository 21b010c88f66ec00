// Field rules of the settings dialog that need no window: what the dialog
// puts back into a field after the user changed it, and how numbers are read.
#pragma once
#include <cstddef>

// Fewest and most simultaneous downloads the dialog lets the user choose; the
// connections to one host (HostSockets) take the same range.
const int kMinSockets = 1;
const int kMaxSockets = 10;

// The simultaneous-downloads field after a change of its text: returns 1 and
// writes the replacement ("1" or "10") into fixedOut when the text converts
// to a number outside 1 to 10 (anything that is not a number converts to 0);
// returns 0 and leaves fixedOut alone when the text may stay.
int ClampSocketsText(const char* text, char* fixedOut, size_t size);

// The number the up-down arrows put into the simultaneous-downloads field: a
// delta of exactly +1 (the down arrow) lowers it, any other delta raises it.
// The result is clamped afterwards by ClampSocketsText.
int SocketsAfterSpin(const char* text, int delta);

// A size or port field read as an unsigned decimal number: blanks around the
// digits are allowed, anything else gives 0. Values above the largest 32-bit
// signed number give that number.
int ParseUnsignedField(const char* text);
