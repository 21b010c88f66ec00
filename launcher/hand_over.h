// How Open hands a page address to Ferrow.exe.
#pragma once
#include <windows.h>

#include "text/address.h"

// Longest text handed over, in bytes before the terminator: more than an
// address, so that a longer one arrives long enough to be refused there.
const size_t kHandOverMax = kAddressInputSize - 1;

// Sends the address (ANSI text) to the running program by WM_COPYDATA, or
// starts the program found through the browser menu's registry value with
// the address as its command line. S_OK when sent or started (whether the
// start worked is not known), S_FALSE when no program could be found.
HRESULT HandOverAddress(const char* address);

// The program's path from the browser menu's page path: the text up to its
// last backslash followed by "Ferrow.exe". 0 when the page path names no
// folder or the result does not fit.
int ProgramPathFromMenuPage(const char* pagePath, char* programOut, size_t size);
