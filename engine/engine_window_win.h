// The engine window (class LogoClass): a visible child of the main window
// whose window procedure receives the engine requests, the socket events,
// the look-up completions and the 100 ms timer, so that all engine state is
// touched one message at a time.
#pragma once
#include <winsock2.h>
#include <windows.h>

// Registers LogoClass (once) and creates the engine window as a visible
// child of parent at (x, y), 26 x 25 pixels. nullptr on failure.
HWND CreateEngineWindow(HWND parent, HINSTANCE instance, int x, int y);
// The engine window that socket events and look-ups are addressed to
// (kept by net_win.cpp, so that the socket layer links without the window).
HWND EngineWindow();
void SetEngineWindow(HWND window);

// Paints the engine window (the logo frame Engine.LogoFrame). Defined by the
// program that creates the window.
void PaintEngineWindow(HWND window, HDC dc);
