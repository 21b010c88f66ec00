// The four-page settings dialog (command 40007).
#pragma once
#include <windows.h>

#include "settings/ini.h"

// Shows the dialog modally, owned by the main window; on OK writes every
// option to Ferrow.ini and into Options.
void ShowSettingsDialog(HWND owner);
// Tells the user, in a message box owned by owner, that a save of the
// settings file did not happen and why; nothing when it was saved.
void ReportSettingsSave(HWND owner, IniSaveResult result);
// Writes the browser's context-menu entry (Options.IEMenu on), first
// logging a warning when the browser cannot start Ferrow from its folder.
void RegisterBrowserMenuAndWarn();
// Registers the browser extension's host (Options.BrowserExtension on),
// logging when that failed.
void RegisterExtensionHostAndWarn();
