#include "tests/settings_ui/ui_driver.h"

#include <commctrl.h>

#include <chrono>
#include <thread>

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {

struct DialogSearch {
    int childId;
    HWND except;
    HWND found;
};

bool IsDialogClass(HWND window) {
    char name[16];
    return GetClassNameA(window, name, sizeof name) && lstrcmpA(name, "#32770") == 0;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
    DialogSearch* search = (DialogSearch*)data;
    if (window != search->except && IsDialogClass(window) && IsWindowVisible(window) &&
        (GetDlgItem(window, search->childId) || FindPage(window, search->childId))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForDialog(DWORD threadId, int childId, int timeoutMs, HWND except) {
    DialogSearch search = {childId, except, nullptr};
    WaitFor(
        [&] {
            EnumThreadWindows(threadId, MatchDialog, (LPARAM)&search);
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND FindPage(HWND parent, int controlId) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsDialogClass(child) && GetDlgItem(child, controlId)) return child;
    return nullptr;
}

std::string TextOf(HWND window) {
    char text[1024];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ItemText(HWND page, int id) { return TextOf(GetDlgItem(page, id)); }
bool ItemEnabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }
bool ItemChecked(HWND page, int id) {
    return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ClickAt(HWND window, int x, int y) {
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }

void TypeInto(HWND page, int id, const char* text) {
    HWND edit = GetDlgItem(page, id);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    if (!*text) SendMessageA(edit, WM_CHAR, VK_BACK, 0);
    for (const char* p = text; *p; p++) SendMessageA(edit, WM_CHAR, (unsigned char)*p, 0);
}

void PasteInto(HWND page, int id, const char* text) {
    HWND edit = GetDlgItem(page, id);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, EM_REPLACESEL, TRUE, (LPARAM)text);
}

void ClickTab(HWND tabs, int index) {
    RECT r;
    SendMessageA(tabs, TCM_GETITEMRECT, index, (LPARAM)&r);
    ClickAt(tabs, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

void RunWithDriver(const std::function<void()>& modal, const std::function<void(DWORD)>& body) {
    DWORD mainThread = GetCurrentThreadId();
    std::thread driver([&] {
        body(mainThread);
        // Whatever the body left open is closed, so a failing test never hangs.
        HWND left;
        while ((left = WaitForDialog(mainThread, IDOK, 200)) != nullptr) {
            PostMessageA(left, WM_CLOSE, 0, 0);
            PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
            WaitFor([&] { return !IsWindow(left); }, 5000);
        }
    });
    modal();
    driver.join();
}
