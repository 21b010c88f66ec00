// The main window (class FerrowClass): registration, creation and the
// requests other parts make of it.
#pragma once
#include <windows.h>

// Registers FerrowClass with icon 101; false on failure.
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window titled "Ferrow" at (0, 0), 640 x 480; its
// creation builds every child. Null on failure.
HWND CreateMainWindow(HINSTANCE instance);
// Tells the user, in a message box, which window of start-up could not be
// created and why (the main window itself when no child failed).
void ReportStartupFailure();
// Shown after the log's banner when the launcher library could not be
// registered (the log does not exist yet when that is known).
void NoteRegistrationFailed();
// Sends the analyse request for address to the engine window.
void SendAnalyseRequest(const char* address);
// Puts address into the URL edit and sends the analyse request for it.
void AnalyseAddress(const char* address);
// Lays the children out again for the current client size.
void RelayoutMainWindow();
// Centres a window over its parent (its owner for a popup).
void CentreOverParent(HWND window);
