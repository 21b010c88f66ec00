// Commands of the menu bar, the list menu and the toolbar.
#pragma once
#include <windows.h>

// WM_COMMAND of the main window.
void OnMainCommand(int command, int notification, HWND control);
// The state of a command in the main menu (check, enabled or grayed) and on
// the toolbar (pressed when checked, indeterminate when disabled). The list
// menu is not touched. The engine's reports of command states (two
// arguments, engine/report.h) arrive here with the check mark off.
void ShowCommandState(int command, int checked, int enabled);
// The viewer command shown as off in the main menu and on the toolbar: the
// viewer closed, by the command or by its own close box.
void UncheckViewerCommand();
