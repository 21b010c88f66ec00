// Registration of the browser extension's native messaging host.
#include <windows.h>

#include <string>

#include "settings/browser_win.h"
#include "settings/host_manifest.h"
#include "settings/options.h"
#include "settings/whole_file.h"
#include "text/text.h"

// ANSI text (the program's code page) as UTF-16, and UTF-16 as UTF-8; false
// when it does not convert. Paths reach the browsers through UTF-8 JSON and
// the wide registry calls, so a folder with Japanese in its name works.
static bool AnsiToWide(const char* text, wchar_t* out, int size) {
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, size) > 0;
}

static bool WideToUtf8(const wchar_t* text, char* out, int size) {
    return WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, nullptr, nullptr) > 0;
}

int RegisterExtensionHost() {
    char host[MAX_PATH], manifest[MAX_PATH];
    FormatText(host, sizeof host, "%s\\FerrowHost.exe", ProgramFolder);
    FormatText(manifest, sizeof manifest, "%s\\FerrowHost.json", ProgramFolder);
    wchar_t wideHost[MAX_PATH], wideManifest[MAX_PATH];
    char utf8Host[3 * MAX_PATH];
    if (!AnsiToWide(host, wideHost, MAX_PATH) || !AnsiToWide(manifest, wideManifest, MAX_PATH) ||
        !WideToUtf8(wideHost, utf8Host, sizeof utf8Host))
        return 0;
    std::string json = HostManifestJson(utf8Host);
    if (!ReplaceWholeFile(manifest, json.data(), json.size())) return 0;
    int ok = 1;
    const DWORD bytes = (DWORD)((wcslen(wideManifest) + 1) * sizeof(wchar_t));
    for (const char* keyName : kHostManifestKeys) {
        wchar_t wideKey[128];
        HKEY key = nullptr;
        if (!AnsiToWide(keyName, wideKey, 128) ||
            RegCreateKeyExW(HKEY_CURRENT_USER, wideKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            ok = 0;
            continue;
        }
        if (RegSetValueExW(key, nullptr, 0, REG_SZ, (const BYTE*)wideManifest, bytes) !=
            ERROR_SUCCESS)
            ok = 0;
        RegCloseKey(key);
    }
    return ok;
}

int UnregisterExtensionHost() {
    for (const char* keyName : kHostManifestKeys)
        RegDeleteKeyA(HKEY_CURRENT_USER, keyName);
    char manifest[MAX_PATH];
    FormatText(manifest, sizeof manifest, "%s\\FerrowHost.json", ProgramFolder);
    DeleteFileA(manifest);
    return 1;
}
