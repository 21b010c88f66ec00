// Where the main window gets its engine window (class LogoClass).
#pragma once
#include <windows.h>

// Registers LogoClass and creates the engine window as a visible child.
HWND CreateEngineWindowOf(HWND parent, HINSTANCE instance);
