// The viewer window: docked pane (control id 106) or separate window.
#pragma once
#include <windows.h>

#include "viewer/viewer_geometry.h"

// What the viewer tells the main window, installed once by the program: the
// user's close box was used (the viewer command shows the viewer closed),
// and the viewer window is being destroyed. Null entries are not called.
struct ViewerHost {
    void (*closeBoxUsed)();
    void (*windowGone)(HWND viewer);
};
void InstallViewerHost(const ViewerHost& host);

// Registers the class "ViewerClass" (once; later calls do nothing).
bool RegisterViewerClass(HINSTANCE instance);
// Creates the viewer (docked when Options.ViewerDialog is 0) with its
// decoding worker; null on failure.
HWND CreateViewerWindow(HWND mainWindow);
// Gives a fetched file (malloc'ed) to the viewer, which frees it; freed here
// when there is no viewer to take it.
void HandFileToViewer(char* data, size_t size);
// The viewer window while it exists, else null.
HWND ViewerWindow();
