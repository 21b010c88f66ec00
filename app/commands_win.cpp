#include "app/commands_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/address_text.h"
#include "app/arrange_win.h"
#include "app/file_list_win.h"
#include "app/list_sort.h"
#include "app/log_win.h"
#include "app/main_state_win.h"
#include "app/main_window_win.h"
#include "app/splitter_win.h"
#include "app/status_bar_win.h"
#include "app/toolbar_win.h"
#include "app/url_box_win.h"
#include "engine/file_table.h"
#include "engine/jobs.h"
#include "engine/report.h"
#include "resources/resource.h"
#include "settings/browser_win.h"
#include "settings/help_about_win.h"
#include "settings/options.h"
#include "settings/settings_dialog_win.h"
#include "viewer/viewer_win.h"

void SetCommandState(int command, int checked, int enabled) {
    if (MainWindow.mainMenu) {
        CheckMenuItem(MainWindow.mainMenu, command,
                      MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
        EnableMenuItem(MainWindow.mainMenu, command,
                       MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    if (MainWindow.toolbar) {
        int state =
            (checked ? TBSTATE_CHECKED : 0) | (enabled ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE);
        SendMessageA(MainWindow.toolbar, TB_SETSTATE, command, MAKELPARAM(state, 0));
    }
}

void SetCommandState(int command, int enabled) {
    SetCommandState(command, 0, enabled);
}

static void OnAnalyse() {
    char address[kUrlTextLimit + 1];
    GetWindowTextA(MainWindow.urlEdit, address, sizeof address);
    if (address[0]) SendAnalyseRequest(address);
}

static void OnUrlFromBrowser() {
    static const char* const kServices[] = {"IEXPLORE", "NETSCAPE", "OPERA"};
    char reply[kUrlTextLimit + 1];
    for (const char* service : kServices) {
        if (!GetBrowserUrlByDde(service, reply, sizeof reply)) continue;
        char address[kUrlTextLimit + 1];
        if (AddressFromBrowserReply(reply, address, sizeof address)) AnalyseAddress(address);
        return;
    }
}

static void SendDownload(int row) {
    SendMessageA(MainWindow.engineWindow, MsgDownload, (WPARAM)ListText(row, ColAddress), row);
}

static void OnDownload() {
    HWND list = MainWindow.fileList;
    int sent = 0;
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
        SendDownload(row);
        sent++;
    }
    if (sent >= 2) Engine.DownloadBatchRunning = 1;
}

static void OnDownloadAll() {
    const int count = ListCount();
    for (int row = 0; row < count; row++)
        SendDownload(row);
    if (count >= 2) Engine.DownloadBatchRunning = 1;
}

static void OnStop() {
    SendMessageA(MainWindow.engineWindow, MsgStopAll, 0, 0);
    LogAppend("中止しました");
}

static void OnToggleToolbar() {
    if (MainWindow.toolbar) {
        HideToolbar();
    } else {
        CreateToolbar(MainWindow.mainWindow, MainWindow.instance);
        CheckMenuItem(MainWindow.mainMenu, IDM_TOOLBAR, MF_BYCOMMAND | MF_CHECKED);
        SetCommandState(IDM_STOP, 0, 0);
        SendMessageA(MainWindow.toolbar, TB_SETSTATE, CurrentViewCommand(),
                     MAKELPARAM(TBSTATE_ENABLED | TBSTATE_CHECKED, 0));
    }
    ArrangeChildren();
    // The engine window may have been uncovered: show its current frame.
    if (MainWindow.engineWindow) InvalidateRect(MainWindow.engineWindow, nullptr, FALSE);
}

void UncheckViewerCommand() {
    if (MainWindow.toolbar)
        SendMessageA(MainWindow.toolbar, TB_SETSTATE, IDM_VIEWER, MAKELPARAM(TBSTATE_ENABLED, 0));
    if (MainWindow.mainMenu)
        CheckMenuItem(MainWindow.mainMenu, IDM_VIEWER, MF_BYCOMMAND | MF_UNCHECKED);
}

static void OnToggleViewer() {
    if (MainWindow.viewer) {
        UncheckViewerCommand();
        DestroyWindow(MainWindow.viewer);
        if (MainWindow.logViewerBar) DestroyWindow(MainWindow.logViewerBar);
        MainWindow.viewer = nullptr;
        MainWindow.logViewerBar = nullptr;
    } else {
        MainWindow.viewer = CreateViewerWindow(MainWindow.mainWindow);
        if (MainWindow.viewer) {
            if (Options.ViewerDialog == 0) MainWindow.logViewerBar = CreateSplitter("HLineClass");
            if (MainWindow.toolbar)
                SendMessageA(MainWindow.toolbar, TB_SETSTATE, IDM_VIEWER,
                             MAKELPARAM(TBSTATE_ENABLED | TBSTATE_CHECKED, 0));
            CheckMenuItem(MainWindow.mainMenu, IDM_VIEWER, MF_BYCOMMAND | MF_CHECKED);
        }
    }
    ArrangeChildren();
}

static void OnOpenDownloadFolder() {
    HINSTANCE result = ShellExecuteA(MainWindow.mainWindow, "open", Options.DLPath, nullptr,
                                     nullptr, SW_SHOWNORMAL);
    if ((INT_PTR)result <= 32)
        MessageBoxA(MainWindow.mainWindow, "DLフォルダが開けません", "Ferrow", MB_ICONERROR);
}

static void OnSortCommand(int column) {
    if (column >= 0 && column < 4) MainWindow.sortDirections[column] = 1;
    ListSort(column);
}

static void OnSelectAll() {
    HWND list = MainWindow.fileList;
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    UpdateStatusText();
}

static void OnAnalyseSelectedHtml() {
    HWND list = MainWindow.fileList;
    if (ListView_GetSelectedCount(list) != 1) return;
    int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    const char* address = ListText(row, ColAddress);
    if (IsHtmlAddress(address))
        AnalyseAddress(address);
    else
        LogAppend("ファイルがhtmlではありません");
}

void OnMainCommand(int command, int notification, HWND control) {
    switch (command) {
    case IDM_ANALYSE:
        OnAnalyse();
        break;
    case IDM_URL_FROM_BROWSER:
        OnUrlFromBrowser();
        break;
    case IDM_DOWNLOAD:
        OnDownload();
        break;
    case IDM_DOWNLOAD_ALL:
        OnDownloadAll();
        break;
    case IDM_STOP:
        OnStop();
        break;
    // Destroying (not just sending WM_DESTROY) also ends the engine window,
    // whose jobs then delete their partial files.
    case IDM_EXIT:
        DestroyWindow(MainWindow.mainWindow);
        break;
    case IDM_SETTINGS:
        ShowSettingsDialog(MainWindow.mainWindow);
        break;
    case IDM_TOOLBAR:
        OnToggleToolbar();
        break;
    case IDM_VIEWER:
        OnToggleViewer();
        break;
    case IDM_OPEN_DL_FOLDER:
        OnOpenDownloadFolder();
        break;
    case IDM_VIEW_LIST:
    case IDM_VIEW_DETAILS:
        SetListView(command);
        break;
    case IDM_SORT_NAME:
        OnSortCommand(ColName);
        break;
    case IDM_SORT_TYPE:
        OnSortCommand(kSortByType);
        break;
    case IDM_SORT_SIZE:
        OnSortCommand(ColSize);
        break;
    case IDM_SORT_DATE:
        OnSortCommand(ColDate);
        break;
    case IDM_CLEAR_LOG:
        LogClear();
        break;
    case IDM_HELP:
        ShowHelp();
        break;
    case IDM_ABOUT:
        ShowAbout(MainWindow.mainWindow);
        break;
    case IDM_SELECT_ALL:
        OnSelectAll();
        break;
    case IDM_ANALYSE_HTML:
        OnAnalyseSelectedHtml();
        break;
    case IDM_CLEAR_HISTORY:
        ClearHistory();
        break;
    case IDC_URLBOX:
        OnUrlBoxCommand(notification);
        break;
    }
}
