#include "app/file_list_win.h"

#include <commctrl.h>

#include "app/address_text.h"
#include "app/list_sort.h"
#include "app/log_batch.h"
#include "app/main_state_win.h"
#include "app/main_window_win.h"
#include "app/status_bar_win.h"
#include "engine/file_table.h"
#include "engine/jobs.h"
#include "resources/resource.h"
#include "settings/options.h"

constexpr UINT_PTR kStatusTimer = 0;
constexpr UINT kStatusTimerPeriod = 200;

// Image index = type icon number of the found-file table.
static const int kTypeIcons[] = {IDI_HTML, IDI_EXTERNAL_HTML, IDI_JPEG, IDI_GIF,
                                 IDI_PNG,  IDI_WAV,           IDI_OTHER};

struct ColumnSpec {
    const char* text;
    int format;
    int width;
};

static const ColumnSpec kColumns[] = {
    {"ファイル名", LVCFMT_LEFT, 100},
    {"サイズ", LVCFMT_RIGHT, 50},
    {"更新日", LVCFMT_LEFT, 150},
    {"URL", LVCFMT_LEFT, 300},
};

HWND CreateFileList(HWND parent, HINSTANCE instance) {
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_OWNERDATA |
                                    LVS_SHOWSELALWAYS | LVS_REPORT,
                                0, 0, 0, 0, parent, (HMENU)IDC_FILELIST, instance, nullptr);
    if (!list) return nullptr;
    MainWindow.fileList = list;
    // The mask keeps the icons' transparent corners transparent.
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 6, 0);
    for (int id : kTypeIcons) {
        HICON icon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0);
        ImageList_AddIcon(images, icon);
        DestroyIcon(icon);
    }
    ListView_SetImageList(list, images, LVSIL_SMALL);
    for (int i = 0; i < 4; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = kColumns[i].width;
        column.pszText = (char*)kColumns[i].text;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
    }
    ListReset();
    return list;
}

// The control is handed the table's own texts, never copies.
static LRESULT OnGetDisplayInfo(NMLVDISPINFOA* info) {
    LVITEMA& item = info->item;
    const int row = item.iItem;
    const bool inTable = row >= 0 && row < ListCount();
    if (item.mask & LVIF_TEXT) item.pszText = (char*)ListText(row, item.iSubItem);
    if (item.mask & LVIF_IMAGE) item.iImage = inTable ? FileTable.rows[row].icon : IconOther;
    if (item.mask & LVIF_PARAM) item.lParam = inTable ? FileTable.rows[row].position : row;
    return 0;
}

static LRESULT OnColumnClick(NMLISTVIEW* view) {
    const int column = view->iSubItem;
    if (column < 0 || column > 3) return 0;
    int& direction = MainWindow.sortDirections[column];
    direction = direction == 1 ? 2 : 1;
    ListSort(column);
    return 0;
}

static LRESULT OnClick() {
    UpdateStatusText();
    HWND list = MainWindow.fileList;
    if (MainWindow.viewer && ListView_GetSelectedCount(list) == 1) {
        int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        SendMessageA(MainWindow.engineWindow, MsgFetch, (WPARAM)ListText(row, ColAddress), row);
    }
    return 0;
}

static LRESULT OnDoubleClick() {
    int row = ListView_GetNextItem(MainWindow.fileList, -1, LVNI_SELECTED);
    if (row < 0) return 0;
    const char* address = ListText(row, ColAddress);
    if (Options.ClickHTML == 1 && IsHtmlAddress(address))
        AnalyseAddress(address);
    else
        SendMessageA(MainWindow.engineWindow, MsgDownload, (WPARAM)address, -1);
    return 0;
}

static LRESULT OnRightClick() {
    POINT p;
    GetCursorPos(&p);
    TrackPopupMenu(MainWindow.listMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, p.x, p.y, 0,
                   MainWindow.mainWindow, nullptr);
    return 0;
}

LRESULT OnFileListNotify(NMHDR* header) {
    switch (header->code) {
    case LVN_GETDISPINFOA:
        return OnGetDisplayInfo((NMLVDISPINFOA*)header);
    case LVN_COLUMNCLICK:
        return OnColumnClick((NMLISTVIEW*)header);
    case NM_CLICK:
        return OnClick();
    case NM_DBLCLK:
        return OnDoubleClick();
    case NM_RCLICK:
        return OnRightClick();
    case NM_SETFOCUS:
        SetTimer(MainWindow.mainWindow, kStatusTimer, kStatusTimerPeriod, nullptr);
        return 0;
    case NM_KILLFOCUS:
        KillTimer(MainWindow.mainWindow, kStatusTimer);
        return 0;
    }
    return 0;
}

void ListSort(int column) {
    int direction = column >= 0 && column < 4 ? MainWindow.sortDirections[column] : 1;
    SortFileTable(column, direction);
    HWND list = MainWindow.fileList;
    if (!list) return;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    if (ListCount() > 0) ListView_RedrawItems(list, 0, ListCount() - 1);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, FALSE);
}

int CurrentViewCommand() {
    LONG_PTR style = GetWindowLongPtrA(MainWindow.fileList, GWL_STYLE);
    return (style & LVS_TYPEMASK) == LVS_LIST ? IDM_VIEW_LIST : IDM_VIEW_DETAILS;
}

void SetListView(int command) {
    HWND list = MainWindow.fileList;
    LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE) & ~(LONG_PTR)LVS_TYPEMASK;
    style |= command == IDM_VIEW_LIST ? LVS_LIST : LVS_REPORT;
    SetWindowLongPtrA(list, GWL_STYLE, style);
    CheckMenuRadioItem(MainWindow.mainMenu, IDM_VIEW_LIST, IDM_VIEW_DETAILS, command, MF_BYCOMMAND);
    CheckMenuRadioItem(MainWindow.listMenu, IDM_VIEW_LIST, IDM_VIEW_DETAILS, command, MF_BYCOMMAND);
    if (MainWindow.toolbar) {
        int other = command == IDM_VIEW_LIST ? IDM_VIEW_DETAILS : IDM_VIEW_LIST;
        SendMessageA(MainWindow.toolbar, TB_SETSTATE, command,
                     MAKELPARAM(TBSTATE_ENABLED | TBSTATE_CHECKED, 0));
        SendMessageA(MainWindow.toolbar, TB_SETSTATE, other, MAKELPARAM(TBSTATE_ENABLED, 0));
    }
}

// Requests of the found-file table.
void ListViewDeleteAll() {
    if (MainWindow.fileList) ListView_DeleteAllItems(MainWindow.fileList);
}

// The list view moves the selection and focus of the rows after it up too.
void ListViewDeleteRow(int row) {
    if (MainWindow.fileList) ListView_DeleteItem(MainWindow.fileList, row);
}

void ListViewRedrawRow(int row) {
    if (MainWindow.fileList) ListView_RedrawItems(MainWindow.fileList, row, row);
}

void ListViewPublishCount(int count) {
    if (MainWindow.fileList) ListView_SetItemCountEx(MainWindow.fileList, count, LVSICF_NOSCROLL);
}

// Turning drawing back on updates the scroll bar and repaints the list,
// which under Wine costs tens of milliseconds: pages analysed in quick
// succession (a crawl) show their rows together, at most once per period.
// The table and the item count are current all the while; only the drawing
// waits.
static const UINT_PTR kRedrawTimer = 0x4C56;
static bool RedrawTimerSet = false;
static ShowPace RedrawPace = {};

static void RedrawNow(HWND list) {
    if (RedrawTimerSet) KillTimer(list, kRedrawTimer);
    RedrawTimerSet = false;
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, FALSE);
    ShowPaceDone(&RedrawPace, GetTickCount());
}

void ListShowNow() {
    if (RedrawTimerSet && MainWindow.fileList) RedrawNow(MainWindow.fileList);
}

static void CALLBACK OnRedrawTimer(HWND list, UINT, UINT_PTR, DWORD) {
    RedrawTimerSet = false;
    RedrawNow(list);
}

void ListViewSetRedraw(int on) {
    HWND list = MainWindow.fileList;
    if (!list) return;
    if (!on) {
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        return;
    }
    uint32_t delay = ShowPaceDelay(&RedrawPace, GetTickCount(), kLogBatchPeriod);
    if (delay == 0) {
        RedrawNow(list);
    } else if (!RedrawTimerSet) {
        RedrawTimerSet = SetTimer(list, kRedrawTimer, delay, OnRedrawTimer) != 0;
        if (!RedrawTimerSet) RedrawNow(list);
    }
}
