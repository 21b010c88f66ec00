// The toolbar (control 103) with its tooltips.
#pragma once
#include <windows.h>

constexpr int kToolbarEntries = 13;
constexpr int kStripImages = 15;

// Creates the toolbar and its tooltip control and records the toolbar height.
HWND CreateToolbar(HWND parent, HINSTANCE instance);
// Destroys the toolbar with its tooltip control, forgets it and shows the
// toolbar command unchecked. Nothing when it is hidden already.
void HideToolbar();
