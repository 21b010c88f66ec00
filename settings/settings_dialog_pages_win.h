// Inside the settings dialog: the table that ties each tab to its page
// template and procedure, and the helpers that the pages and OK share.
#pragma once
#include <windows.h>

#include "settings/ini.h"

struct SettingsPage {
    const char* tabText;
    int templateId;
    DLGPROC procedure;
};

// Tabs in display order: save, analysis, skip, other.
const int kSettingsPageCount = 4;
extern const SettingsPage kSettingsPages[kSettingsPageCount];

// Places of the pages in kSettingsPages, as SaveOptionsFromDialog uses them.
enum SettingsPageIndex { PageSave = 0, PageAnalysis = 1, PageSkip = 2, PageOther = 3 };

// Shows the folder browser with path (260 bytes) preselected; 1 and the
// chosen folder in path when the user picked one, 0 and path unchanged else.
int ChooseFolder(HWND owner, char* path);

// Shows the file chooser for a cookies.txt with path (260 bytes) as its
// start; 1 and the chosen file in path, 0 and path unchanged on cancel.
int ChooseCookieFile(HWND owner, char* path);

// Puts the check box's state (0 or 1) under OPTION and key into the file
// being saved; returns it.
int StoreCheckBox(IniDocument* file, HWND page, int controlId, const char* key);
