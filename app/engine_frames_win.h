// Drawing of the engine's two animations: the logo in the engine window and
// the activity indicator in the status bar's part 2.
#pragma once
#include <windows.h>

// WM_PAINT of the engine window: the current logo frame, while the toolbar exists.
void PaintEngineWindow(HWND window, HDC dc);
// Releases the two strips and their memory device contexts (program end).
void ReleaseEngineFrames();
