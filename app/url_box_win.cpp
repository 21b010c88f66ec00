#include "app/url_box_win.h"

#include <cstring>

#include <commctrl.h>

#include "app/main_state_win.h"
#include "app/main_window_win.h"
#include "resources/resource.h"

constexpr int kHistoryEntrySize = kAddressBufferSize;

static bool IsNavigationKey(WPARAM key) {
    return key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT;
}

// Enter analyses what the URL edit holds; the keys that would walk the
// history are swallowed; in the file list every key release acts as a click.
static LRESULT CALLBACK KeyboardHook(int code, WPARAM key, LPARAM flags) {
    if (code == HC_ACTION) {
        HWND focus = GetFocus();
        const bool released = (flags & 0x80000000) != 0;
        if (focus && focus == MainWindow.urlEdit) {
            if (key == VK_RETURN && released) {
                char address[kUrlTextLimit + 1];
                GetWindowTextA(MainWindow.urlEdit, address, sizeof address);
                if (address[0]) SendAnalyseRequest(address);
            } else if (IsNavigationKey(key)) {
                return 1;
            }
        } else if (focus && focus == MainWindow.fileList && released) {
            NMHDR header = {};
            header.hwndFrom = MainWindow.fileList;
            header.idFrom = IDC_FILELIST;
            header.code = NM_CLICK;
            SendMessageA(MainWindow.mainWindow, WM_NOTIFY, IDC_FILELIST, (LPARAM)&header);
        }
    }
    return CallNextHookEx(MainWindow.keyboardHook, code, key, flags);
}

// The wheel goes to the window with the focus; over the URL edit it would
// walk the history.
static LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM info) {
    if (code == HC_ACTION && message == WM_MOUSEWHEEL) {
        const MOUSEHOOKSTRUCT* mouse = (const MOUSEHOOKSTRUCT*)info;
        if (mouse && mouse->hwnd == MainWindow.urlEdit) return 1;
    }
    return CallNextHookEx(MainWindow.mouseHook, code, message, info);
}

HWND CreateUrlBox(HWND parent, HINSTANCE instance, HFONT font) {
    HWND box =
        CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                        0, 0, 0, 250, parent, (HMENU)IDC_URLBOX, instance, nullptr);
    if (!box) return nullptr;
    MainWindow.urlBox = box;
    SendMessageA(box, CB_LIMITTEXT, kUrlTextLimit, 0);
    MainWindow.urlEdit = GetWindow(box, GW_CHILD);
    MainWindow.keyboardHook = SetWindowsHookExA(
        WH_KEYBOARD, KeyboardHook, nullptr, GetWindowThreadProcessId(MainWindow.urlEdit, nullptr));
    MainWindow.mouseHook =
        SetWindowsHookExA(WH_MOUSE, MouseHook, nullptr, GetWindowThreadProcessId(parent, nullptr));
    SendMessageA(box, WM_SETFONT, (WPARAM)font, 0);
    RECT r;
    GetWindowRect(box, &r);
    MainWindow.urlBoxHeight = r.bottom - r.top;
    return box;
}

void RemoveUrlBoxHooks() {
    if (MainWindow.mouseHook) UnhookWindowsHookEx(MainWindow.mouseHook);
    if (MainWindow.keyboardHook) UnhookWindowsHookEx(MainWindow.keyboardHook);
    MainWindow.mouseHook = nullptr;
    MainWindow.keyboardHook = nullptr;
}

// Moves an entry to the top and selects it (which also fills the edit).
static void MoveToTop(int index, const char* text) {
    SendMessageA(MainWindow.urlBox, CB_DELETESTRING, index, 0);
    SendMessageA(MainWindow.urlBox, CB_INSERTSTRING, 0, (LPARAM)text);
    SendMessageA(MainWindow.urlBox, CB_SETCURSEL, 0, 0);
}

void AddToUrlHistory(const char* address) {
    HWND box = MainWindow.urlBox;
    if (!box || !address) return;
    const int count = (int)SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        // Entries too long for the buffer are skipped rather than read.
        LRESULT length = SendMessageA(box, CB_GETLBTEXTLEN, i, 0);
        if (length < 0 || length >= kHistoryEntrySize) continue;
        char entry[kHistoryEntrySize];
        SendMessageA(box, CB_GETLBTEXT, i, (LPARAM)entry);
        if (strcmp(entry, address) == 0) {
            MoveToTop(i, address);
            return;
        }
    }
    SendMessageA(box, CB_INSERTSTRING, 0, (LPARAM)address);
}

static void OnHistoryChosen() {
    HWND box = MainWindow.urlBox;
    LRESULT index = SendMessageA(box, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    LRESULT length = SendMessageA(box, CB_GETLBTEXTLEN, index, 0);
    if (length < 0 || length >= kHistoryEntrySize) return;
    char text[kHistoryEntrySize];
    SendMessageA(box, CB_GETLBTEXT, index, (LPARAM)text);
    MoveToTop((int)index, text);
    SendAnalyseRequest(text);
}

void OnUrlBoxCommand(int notification) {
    if (notification == CBN_SELENDOK) OnHistoryChosen();
}

void ClearHistory() {
    for (int i = 0; i < kHistoryClearCount; i++)
        SendMessageA(MainWindow.urlBox, CB_DELETESTRING, 0, 0);
}
