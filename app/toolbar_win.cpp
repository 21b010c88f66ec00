#include "app/toolbar_win.h"

#include <commctrl.h>

#include "app/commands_win.h"
#include "app/main_state_win.h"
#include "resources/resource.h"

struct ToolbarEntry {
    int image;   // -1 for a separator
    int command; // 0 for a separator
    BYTE style;
    const char* tip;
};

// The tips are not always the menu captions (entries 2 and 10 differ).
static const ToolbarEntry kEntries[kToolbarEntries] = {
    {0, IDM_ANALYSE, BTNS_BUTTON, "解析"},
    {14, IDM_URL_FROM_BROWSER, BTNS_BUTTON, "ブラウザからURLを取得"},
    {-1, 0, BTNS_SEP, ""},
    {11, IDM_DOWNLOAD, BTNS_BUTTON, "ダウンロード"},
    {12, IDM_DOWNLOAD_ALL, BTNS_BUTTON, "すべてダウンロード"},
    {-1, 0, BTNS_SEP, ""},
    {9, IDM_VIEW_LIST, BTNS_CHECK, "一覧"},
    {10, IDM_VIEW_DETAILS, BTNS_CHECK, "詳細"},
    {-1, 0, BTNS_SEP, ""},
    {8, IDM_OPEN_DL_FOLDER, BTNS_BUTTON, "DLフォルダを開く"},
    {13, IDM_VIEWER, BTNS_CHECK, "ビューアー"},
    {-1, 0, BTNS_SEP, ""},
    {1, IDM_STOP, BTNS_BUTTON, "中止"},
};

static void AddTips(HWND toolbar, HWND parent, HINSTANCE instance) {
    HWND tips =
        CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, instance, nullptr);
    if (!tips) return;
    for (int i = 0; i < kToolbarEntries; i++) {
        TTTOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = toolbar;
        tool.uId = (UINT_PTR)kEntries[i].command;
        SendMessageA(toolbar, TB_GETITEMRECT, i, (LPARAM)&tool.rect);
        tool.hinst = instance;
        tool.lpszText = (char*)kEntries[i].tip;
        SendMessageA(tips, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    }
    SendMessageA(toolbar, TB_SETTOOLTIPS, (WPARAM)tips, 0);
}

HWND CreateToolbar(HWND parent, HINSTANCE instance) {
    HWND toolbar =
        CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                        0, parent, (HMENU)IDC_TOOLBAR, instance, nullptr);
    if (!toolbar) return nullptr;
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBADDBITMAP strip = {instance, IDB_TOOLSTRIP};
    SendMessageA(toolbar, TB_ADDBITMAP, kStripImages, (LPARAM)&strip);
    TBBUTTON buttons[kToolbarEntries] = {};
    for (int i = 0; i < kToolbarEntries; i++) {
        buttons[i].iBitmap = kEntries[i].image < 0 ? 0 : kEntries[i].image;
        buttons[i].idCommand = kEntries[i].command;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = kEntries[i].style;
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, kToolbarEntries, (LPARAM)buttons);
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    AddTips(toolbar, parent, instance);
    MainWindow.toolbar = toolbar;
    RECT client;
    GetClientRect(toolbar, &client);
    MainWindow.toolbarHeight = client.bottom;
    return toolbar;
}

// The tooltip control is a top-level window of its own and goes with it.
void HideToolbar() {
    if (!MainWindow.toolbar) return;
    HWND tips = (HWND)SendMessageA(MainWindow.toolbar, TB_GETTOOLTIPS, 0, 0);
    DestroyWindow(MainWindow.toolbar);
    if (tips) DestroyWindow(tips);
    MainWindow.toolbar = nullptr;
    ShowCommandState(IDM_TOOLBAR, 0, 1);
}
