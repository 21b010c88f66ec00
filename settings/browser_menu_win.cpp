// The browser's context-menu entry of Ferrow and the registration of
// Ferrow.dll at start-up.
#include <windows.h>

#include <cstring>

#include "settings/browser_win.h"
#include "settings/options.h"
#include "text/text.h"

namespace {

const char kMenuKey[] = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Ferrowで解析";
// Page context menu (0x01) plus 0x40, as the browser expects for this entry.
const DWORD kMenuContexts = 0x41;
// 0: the browser runs the page as a hidden script, not as a dialog.
const DWORD kMenuFlags = 0;

}  // namespace

// The browser cannot start a program whose folder holds double-byte text.
int BrowserCannotStartFrom(const char* folder) {
    for (const unsigned char* p = (const unsigned char*)folder; *p; p++) {
        if (IsLeadByte(*p)) return 1;
    }
    return 0;
}

int RegisterBrowserMenu() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        MessageBoxA(nullptr, "レジストリから情報を取得できません", "設定値取得エラー", MB_OK);
        return 0;
    }
    char page[MAX_PATH + 16];
    FormatText(page, sizeof page, "%s\\ie_menu.htm", ProgramFolder);
    RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE*)page, (DWORD)(strlen(page) + 1));
    RegSetValueExA(key, "contexts", 0, REG_DWORD, (const BYTE*)&kMenuContexts, sizeof kMenuContexts);
    RegSetValueExA(key, "Flags", 0, REG_DWORD, (const BYTE*)&kMenuFlags, sizeof kMenuFlags);
    RegCloseKey(key);
    return 1;
}

int UnregisterBrowserMenu() {
    RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    return 1;
}

// Runs before the log exists: the caller shows the failure's warning line
// once the log has its banner.
int RegisterAutomationLibrary(const char* libraryPath) {
    typedef HRESULT(WINAPI * RegisterFunction)();
    int ok = 0;
    HMODULE library = LoadLibraryA(libraryPath);
    if (library) {
        RegisterFunction registerServer = (RegisterFunction)(void*)GetProcAddress(library, "DllRegisterServer");
        if (registerServer) ok = registerServer() == S_OK;
        FreeLibrary(library);
    }
    return ok;
}
