// The engine window (class LogoClass): a visible child of the main window
// whose window procedure receives the engine requests, the socket events,
// the look-up completions and the 100 ms timer, so that all engine state is
// touched one message at a time.
#pragma once
#include <winsock2.h>
#include <windows.h>

// Registers LogoClass (once) and creates the engine window as a visible
// child of parent at (x, y), 26 x 25 pixels; the strips come from
// instance's resources. nullptr on failure.
HWND CreateEngineWindow(HWND parent, HINSTANCE instance, int x, int y);
// The engine window that socket events and look-ups are addressed to
// (kept by net_win.cpp, so that the socket layer links without the window).
HWND EngineWindow();
void SetEngineWindow(HWND window);

// The engine's two animations, drawn from the two strips of the program's
// resources (loaded at the first drawing): a logo frame in the engine
// window, which also paints Engine.LogoFrame itself while EngineLogoShown(),
// and an activity indicator frame in part 2 of a status bar. Nothing when
// the window is null or the strips are missing.
void DrawEngineLogo(HWND window, int frame);
void DrawEngineIndicator(HWND statusBar, int frame);
// Releases the two strips and their memory device contexts (program end).
void ReleaseEngineFrames();
