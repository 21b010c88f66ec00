// The URL box: an editable drop-down whose list is the address history.
#pragma once
#include <windows.h>

#include "text/address.h"

// More than an address: a longer one pasted arrives whole enough to be
// refused with an error line, never cut into another address.
constexpr int kUrlTextLimit = kAddressInputSize - 1;
constexpr int kHistoryClearCount = 10;

// Creates the combo box (control 102), installs the keyboard and mouse
// hooks and records the closed box's height.
HWND CreateUrlBox(HWND parent, HINSTANCE instance, HFONT font);
// Removes the mouse hook, then the keyboard hook.
void RemoveUrlBoxHooks();
// WM_COMMAND from control 102.
void OnUrlBoxCommand(int notification);
// Puts an address at the top of the history (once).
void AddToUrlHistory(const char* address);
// Deletes the top entry ten times; the edit's text stays.
void ClearHistory();
