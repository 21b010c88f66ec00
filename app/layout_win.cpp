// Restores the window layout from section WINDOW at the end of the main
// window's creation and saves it when the main window is destroyed.
#include "app/layout_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/commands_win.h"
#include "app/file_list_win.h"
#include "app/layout_rules.h"
#include "app/main_state_win.h"
#include "app/main_window_win.h"
#include "app/toolbar_win.h"
#include "resources/resource.h"
#include "settings/options.h"
#include "settings/settings_dialog_win.h"
#include "viewer/viewer_geometry.h"

static void RestoreColumns(const LayoutRecord& layout) {
    for (int i = 0; i < 4; i++)
        ListView_SetColumnWidth(MainWindow.fileList, i, LOWORD(layout.columnWidths[i]));
}

static void RestoreView(const LayoutRecord& layout) {
    const int command = layout.listStyle == 1 ? IDM_VIEW_LIST : IDM_VIEW_DETAILS;
    SetListView(command);  // radio checks of both menus and the toolbar's buttons
    ShowCommandState(command, 1, 1);
}

static void RestorePlacement(const LayoutRecord& layout) {
    if (!layout.slots[SlotX][0]) return;
    WindowBox box = ClampRestoredBox(layout.slots[SlotX], layout.slots[SlotY],
                                     layout.slots[SlotWidth], layout.slots[SlotHeight],
                                     GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    MoveWindow(MainWindow.mainWindow, box.left, box.top, box.width, box.height, TRUE);
}

static void RestoreHistory(const LayoutRecord& layout) {
    for (int i = 0; i < kHistorySlots; i++) {
        const char* entry = layout.slots[SlotUrl0 + i];
        if (entry[0]) SendMessageA(MainWindow.urlBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)entry);
    }
}

void RestoreWindowLayout() {
    static LayoutRecord layout;  // 4 KB of slots: kept off the stack
    ReadLayoutRecord(IniPath, &layout);
    RestoreColumns(layout);
    RestoreView(layout);
    if (layout.toolbarShown == 0) HideToolbar();
    SetViewerRect(layout.viewer);
    if (layout.viewerShown == 1)
        SendMessageA(MainWindow.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_VIEWER, 0), 0);
    RestorePlacement(layout);
    RestoreHistory(layout);
    MainWindow.listRatio = RestoreFraction(layout.slots[SlotFramePosition], MainWindow.listRatio);
    MainWindow.viewerRatio =
        RestoreFraction(layout.slots[SlotViewerFramePosition], MainWindow.viewerRatio);
    // The fractions arrive after the last move: lay the children out with them.
    RelayoutMainWindow();
}

// The first ten entries of the URL box's list, whatever their length.
static std::vector<std::string> ReadHistory() {
    std::vector<std::string> entries;
    const LRESULT count = SendMessageA(MainWindow.urlBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && i < kHistorySlots; i++) {
        const LRESULT length = SendMessageA(MainWindow.urlBox, CB_GETLBTEXTLEN, i, 0);
        if (length == CB_ERR) break;
        std::string text((size_t)length + 1, '\0');
        SendMessageA(MainWindow.urlBox, CB_GETLBTEXT, i, (LPARAM)&text[0]);
        text.resize(strlen(text.c_str()));
        entries.push_back(text);
    }
    return entries;
}

static WindowBox RestoredRectangle() {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(MainWindow.mainWindow, &placement);
    const RECT& r = placement.rcNormalPosition;
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void SaveWindowLayout() {
    static LayoutRecord layout;
    std::vector<std::string> history = ReadHistory();
    std::vector<const char*> texts;
    for (const std::string& entry : history) texts.push_back(entry.c_str());
    FillSaveSlots(&layout, RestoredRectangle(), MainWindow.listRatio, MainWindow.viewerRatio,
                  texts.data(), (int)texts.size(), Options.URLSave);
    const LONG_PTR style = GetWindowLongPtrA(MainWindow.fileList, GWL_STYLE);
    layout.listStyle = (style & LVS_TYPEMASK) == LVS_LIST ? 1 : 0;
    for (int i = 0; i < 4; i++)
        layout.columnWidths[i] = ListView_GetColumnWidth(MainWindow.fileList, i);
    layout.toolbarShown = MainWindow.toolbar ? 1 : 0;
    const UINT viewerItem = GetMenuState(MainWindow.mainMenu, IDM_VIEWER, MF_BYCOMMAND);
    layout.viewerShown = viewerItem != (UINT)-1 && (viewerItem & MF_CHECKED) ? 1 : 0;
    layout.viewer = GetViewerRect();
    // The main window is going: the box has no owner.
    ReportSettingsSave(nullptr, WriteLayoutRecord(IniPath, layout));
}
