// Open's hand-over: the copy-data message to a running Ferrow.exe, or the
// program's start with the address on its command line.
#include "launcher/hand_over.h"

#include <shellapi.h>
#include <string.h>

namespace {

const char kMainWindowClass[] = "FerrowClass";
const char kMenuKey[] = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Ferrowで解析";
const char kProgramName[] = "Ferrow.exe";

// Copies at most size - 1 bytes, never ending on half of a double-byte
// character, and terminates. Returns the length copied.
size_t CopyBounded(char* dst, size_t size, const char* src) {
    size_t n = 0;
    while (src[n] && n + 1 < size) {
        if (IsDBCSLeadByte((BYTE)src[n])) {
            if (!src[n + 1] || n + 2 >= size) break;
            dst[n] = src[n];
            n++;
        }
        dst[n] = src[n];
        n++;
    }
    dst[n] = '\0';
    return n;
}

void SendToWindow(HWND window, const char* address) {
    // The receiving program reads kAddressInputSize bytes at most; the
    // sender bounds it so nothing longer ever reaches the wire.
    char text[kHandOverMax + 1];
    size_t length = CopyBounded(text, sizeof text, address);
    COPYDATASTRUCT data = {};
    data.dwData = 0;
    data.cbData = (DWORD)(length + 1);
    data.lpData = text;
    // We run in the foreground browser; let the program raise its window.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId) AllowSetForegroundWindow(processId);
    SendMessageA(window, WM_COPYDATA, 0, (LPARAM)&data);
}

// Reads the browser menu's page path. The key is opened with create rights:
// a missing entry leaves an empty key behind, as the browser does itself.
int ReadMenuPagePath(char* pathOut, DWORD size) {
    HKEY key = nullptr;
    int ok = 0;
    DWORD type = 0;
    DWORD bytes = size - 1;  // room for a terminator the stored text may lack
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        key = nullptr;
        goto done;
    }
    if (RegQueryValueExA(key, nullptr, nullptr, &type, (BYTE*)pathOut, &bytes) != ERROR_SUCCESS) goto done;
    if (type != REG_SZ && type != REG_EXPAND_SZ) goto done;
    pathOut[bytes < size ? bytes : size - 1] = '\0';
    ok = 1;
done:
    if (key) RegCloseKey(key);
    return ok;
}

}  // namespace

int ProgramPathFromMenuPage(const char* pagePath, char* programOut, size_t size) {
    // Last backslash that is not the trail byte of a double-byte character.
    const char* lastSeparator = nullptr;
    for (const char* p = pagePath; *p; p++) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1]) {
            p++;
            continue;
        }
        if (*p == '\\') lastSeparator = p;
    }
    if (!lastSeparator) return 0;
    size_t folderLength = (size_t)(lastSeparator - pagePath) + 1;
    if (folderLength + sizeof kProgramName > size) return 0;
    memcpy(programOut, pagePath, folderLength);
    memcpy(programOut + folderLength, kProgramName, sizeof kProgramName);
    return 1;
}

HRESULT HandOverAddress(const char* address) {
    HWND window = FindWindowA(kMainWindowClass, nullptr);
    if (window) {
        SendToWindow(window, address);
        return S_OK;
    }
    char pagePath[MAX_PATH];
    char programPath[MAX_PATH];
    if (!ReadMenuPagePath(pagePath, sizeof pagePath)) return S_FALSE;
    // A value without a folder names no program to start.
    if (!ProgramPathFromMenuPage(pagePath, programPath, sizeof programPath)) return S_FALSE;
    ShellExecuteA(nullptr, "open", programPath, address[0] ? address : nullptr, nullptr, SW_SHOWNORMAL);
    return S_OK;
}
