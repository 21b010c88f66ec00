// Opens the settings dialog on one tab, or the about box, and keeps it open
// until the given stop file appears, so that a screenshot can be taken.
// Usage: settings_pose (0|1|2|3|about) readyFile stopFile
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "settings/help_about_win.h"
#include "settings/options.h"
#include "settings/settings_dialog_win.h"
#include "settings/settings_ids.h"
#include "tests/settings_ui/ui_driver.h"

int RegisterBrowserMenu() { return 1; }
int UnregisterBrowserMenu() { return 1; }
int BrowserCannotStartFrom(const char*) { return 0; }
int RegisterExtensionHost() { return 1; }
int UnregisterExtensionHost() { return 1; }

static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    std::string what = argv[1], ready = argv[2], stop = argv[3];
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    FormProgramPaths(exe);
    LoadOptions();
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                 nullptr, nullptr, nullptr);
    bool about = what == "about";
    int tab = about ? 0 : what[0] - '0';
    bool posed = false;
    RunWithDriver([&] { about ? ShowAbout(owner) : ShowSettingsDialog(owner); },
                  [&](DWORD thread) {
                      HWND dialog = WaitForDialog(thread, about ? IDC_ABOUT_LINK : IDC_TABS);
                      if (!dialog) return;
                      if (!about) ClickTab(GetDlgItem(dialog, IDC_TABS), tab);
                      HANDLE f = CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             0, nullptr);
                      CloseHandle(f);
                      posed = WaitFor([&] { return Exists(stop); }, 60000);
                      PostMessageA(dialog, WM_CLOSE, 0, 0);
                      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                  });
    return posed ? 0 : 1;
}
