#include "app/status_bar_win.h"

#include <commctrl.h>

#include "app/main_state_win.h"
#include "app/status_text.h"
#include "engine/file_table.h"
#include "engine/report.h"
#include "resources/resource.h"

HWND CreateStatusBar(HWND parent, HINSTANCE instance) {
    HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_BOTTOM, 0, 0, 0, 0,
                               parent, (HMENU)IDC_STATUSBAR, instance, nullptr);
    if (!bar) return nullptr;
    int edges[4] = {100, 200, 300, 400};
    SendMessageA(bar, SB_SETPARTS, 4, (LPARAM)edges);
    MainWindow.statusBar = bar;
    MainWindow.progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0,
                                             100, 20, bar, (HMENU)IDC_PROGRESS, instance, nullptr);
    SendMessageA(MainWindow.progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(MainWindow.progressBar, PBM_SETSTEP, 1, 0);
    RECT client;
    GetClientRect(bar, &client);
    MainWindow.statusHeight = client.bottom;
    return bar;
}

void UpdateStatusText() {
    HWND list = MainWindow.fileList;
    if (!list || !MainWindow.statusBar) return;
    static int rows[kFileTableRows];
    int count = 0;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0 && count < kFileTableRows;
         i = ListView_GetNextItem(list, i, LVNI_SELECTED))
        rows[count++] = i;
    char text[512];
    FormatStatusText(rows, count, text, sizeof text);
    SendMessageA(MainWindow.statusBar, SB_SETTEXTA, 0, (LPARAM)text);
}

void ProgressSetRange(int total) {
    if (MainWindow.progressBar) SendMessageA(MainWindow.progressBar, PBM_SETRANGE32, 0, total);
}

void ProgressSetPos(int pos) {
    if (MainWindow.progressBar) SendMessageA(MainWindow.progressBar, PBM_SETPOS, pos, 0);
}

void SetCaption(const char* text) {
    if (MainWindow.mainWindow) SetWindowTextA(MainWindow.mainWindow, text);
}
