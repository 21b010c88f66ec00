// The viewer window: docked pane (control id 106) or separate window.
#pragma once
#include <windows.h>

#include "viewer/viewer_geometry.h"

// Registers the class "ViewerClass" (once; later calls do nothing).
bool RegisterViewerClass(HINSTANCE instance);
// Creates the viewer (docked when Options.ViewerDialog is 0) with its
// decoding worker; null on failure.
HWND CreateViewerWindow(HWND mainWindow);
// The viewer window while it exists, else null.
HWND ViewerWindow();
