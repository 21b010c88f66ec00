// A window hook that the start-up tests put on Ferrow.exe's main thread
// before it runs: it refuses the creation of the window named by the
// environment variable FERROW_REFUSE_WINDOW as "class" or "class:parent
// class", the way a system out of resources would. Ferrow itself knows
// nothing of it.
#include <windows.h>

#include <cstring>

namespace {

bool ClassIs(HWND window, const char* name) {
    char text[64];
    return window && GetClassNameA(window, text, sizeof text) && lstrcmpiA(text, name) == 0;
}

bool Refused(HWND window, HWND parent) {
    char wanted[128];
    DWORD n = GetEnvironmentVariableA("FERROW_REFUSE_WINDOW", wanted, sizeof wanted);
    if (n == 0 || n >= sizeof wanted) return false;
    char* colon = strchr(wanted, ':');
    if (colon) *colon = '\0';
    return ClassIs(window, wanted) && (!colon || ClassIs(parent, colon + 1));
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    RefuseWindowHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDA* create = (const CBT_CREATEWNDA*)lParam;
        if (Refused((HWND)wParam, create->lpcs->hwndParent)) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
