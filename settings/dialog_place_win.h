// Placement shared by the settings dialog and the about box.
#pragma once
#include <windows.h>

// Centres the window over its owner, keeping its size.
void CentreOverOwner(HWND window);
