// Field rules of the settings dialog that need no window: what the dialog
// puts back into a field after the user changed it, and how numbers are read.
#pragma once
#include <cstddef>

#include "settings/options.h"

// The simultaneous-downloads field (and the per-host one) after a change of
// its text: returns 1 and writes the replacement (kMinSockets or kMaxSockets
// as text) into fixedOut when the text converts to a number outside that
// range (anything that is not a number converts to 0);
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
