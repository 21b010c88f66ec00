// The two splitter bars: VLineClass between list and log (moves up and
// down), HLineClass between log and docked viewer (moves left and right).
#pragma once
#include <windows.h>

bool RegisterSplitterClasses(HINSTANCE instance);
// Creates a bar of the class as a visible child of the main window.
HWND CreateSplitter(const char* className);
