// The viewer window: docked pane (control id 106) or separate window.
#pragma once
#include <windows.h>

// Creates the viewer (docked when Options.ViewerDialog is 0) with its
// decoding worker; null on failure.
HWND CreateViewerWindow(HWND mainWindow);
