// The four-page settings dialog (command 40007).
#pragma once
#include <windows.h>

// Shows the dialog modally, owned by the main window; on OK writes every
// option to Ferrow.ini and into Options.
void ShowSettingsDialog(HWND owner);
