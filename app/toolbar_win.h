// The toolbar (control 103) with its tooltips.
#pragma once
#include <windows.h>

constexpr int kToolbarEntries = 13;
constexpr int kStripImages = 15;

// Creates the toolbar and its tooltip control and records the toolbar height.
HWND CreateToolbar(HWND parent, HINSTANCE instance);
