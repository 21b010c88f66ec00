// The status bar (four parts) with the progress bar in part 1.
#pragma once
#include <windows.h>

// Creates the status bar and its progress bar and records the status height.
HWND CreateStatusBar(HWND parent, HINSTANCE instance);
// Recomputes part 0 from the file list's selection.
void UpdateStatusText();
// The progress bar's position.
void StatusProgressSetPos(int pos);
// The main window's caption.
void SetMainCaption(const char* text);
