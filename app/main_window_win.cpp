#include "app/main_window_win.h"

#include <commctrl.h>

#include <cstring>
#include <deque>
#include <string>

#include "app/arrange_win.h"
#include "app/commands_win.h"
#include "app/drop_target_win.h"
#include "app/file_list_win.h"
#include "app/icon_menu_win.h"
#include "app/layout.h"
#include "app/layout_win.h"
#include "app/log_win.h"
#include "app/main_state_win.h"
#include "app/snapshot_file_win.h"
#include "app/splitter_win.h"
#include "app/startup_failure.h"
#include "app/status_bar_win.h"
#include "app/toolbar_win.h"
#include "app/url_box_win.h"
#include "engine/engine_window_win.h"
#include "engine/jobs.h"
#include "engine/report.h"
#include "engine/requests.h"
#include "engine/snapshot.h"
#include "resources/resource.h"
#include "settings/options.h"
#include "text/text.h"
#include "viewer/viewer_win.h"

MainWindowState MainWindow;

static const char kMainClass[] = "FerrowClass";
constexpr UINT_PTR kStatusTimer = 0;
// Posted to itself for each snapshot handed over: the host that sent it
// must not wait for the file to be read and analysed.
constexpr UINT kMsgHandedSnapshot = WM_APP + 1;
static std::deque<std::string> HandedSnapshots;

// Icons of the menu entries; -2 draws a check box.
static const IconMenuEntry kMenuIcons[] = {
    {IDM_ANALYSE, 0},
    {IDM_URL_FROM_BROWSER, 14},
    {IDM_DOWNLOAD, 11},
    {IDM_DOWNLOAD_ALL, 12},
    {IDM_STOP, 1},
    {IDM_EXIT, 4},
    {IDM_SETTINGS, 6},
    {IDM_TOOLBAR, kIconCheckBox},
    {IDM_VIEWER, kIconCheckBox},
    {IDM_OPEN_DL_FOLDER, 8},
    {IDM_VIEW_LIST, 9},
    {IDM_VIEW_DETAILS, 10},
    {IDM_HELP, 3},
    {IDM_ABOUT, 7},
};

static bool RegistrationFailed = false;

void NoteRegistrationFailed() {
    RegistrationFailed = true;
}

// The address is copied first: it may be a row of the found-file table,
// which the engine empties before it takes the address.
// Anything longer than an address is carried whole, for the engine to
// refuse rather than to fetch a cut address.
void SendAnalyseRequest(const char* address) {
    char copy[kAddressInputSize];
    CopyText(copy, sizeof copy, address);
    AnalyseBlock block = {copy, -1, 0};
    SendMessageA(MainWindow.engineWindow, MsgAnalysePage, (WPARAM)&block, 0);
}

void AnalyseAddress(const char* address) {
    char copy[kAddressInputSize];
    CopyText(copy, sizeof copy, address);
    // The box holds addresses only; the engine says why this one is not.
    if (AddressFits(copy)) SetWindowTextA(MainWindow.urlEdit, copy);
    SendAnalyseRequest(copy);
}

void RelayoutMainWindow() {
    SendMessageA(MainWindow.mainWindow, WM_SIZE, 0, 0);
}

void CentreOverParent(HWND window) {
    HWND parent = GetParent(window);
    if (!parent) return;
    RECT box, over;
    GetWindowRect(window, &box);
    GetWindowRect(parent, &over);
    const int width = box.right - box.left, height = box.bottom - box.top;
    const int x = over.left + ((over.right - over.left) - width) / 2;
    const int y = over.top + ((over.bottom - over.top) - height) / 2;
    MoveWindow(window, x, y, width, height, TRUE);
}

// A link or address dropped on the window is analysed as if it had been
// typed into the URL box.
static void OnDroppedAddress(const char* address) {
    SetForegroundWindow(MainWindow.mainWindow);
    AnalyseAddress(address);
}

static HFONT CreateLogFont() {
    return CreateFontA(14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "ＭＳ ゴシック");
}

// The first window of start-up that could not be created, and why. A
// window without its children would drop commands silently: start-up stops
// at the first one missing and says so.
struct StartupState {
    bool created; // the creation sequence ran to its end
    bool failed;
    StartupPart part;
    unsigned long error;
};
static StartupState Startup;

static bool Created(HWND window, StartupPart part) {
    if (window) return true;
    if (!Startup.failed) Startup = {false, true, part, GetLastError()};
    return false;
}

static bool CreateChildren(HWND window) {
    MainWindowState& m = MainWindow;
    if (!Created(CreateToolbar(window, m.instance), PartToolbar)) return false;
    if (!Created(CreateStatusBar(window, m.instance), PartStatusBar)) return false;
    if (!Created(m.progressBar, PartProgressBar)) return false;
    if (!Created(CreateUrlBox(window, m.instance, m.logFont), PartUrlBox)) return false;
    if (!Created(m.urlEdit, PartUrlBox)) return false;
    if (!Created(CreateFileList(window, m.instance), PartFileList)) return false;
    CheckMenuItem(m.mainMenu, IDM_VIEWER, MF_BYCOMMAND | MF_UNCHECKED);
    RegisterSplitterClasses(m.instance);
    m.listLogBar = CreateSplitter("VLineClass");
    if (!Created(m.listLogBar, PartListLogBar)) return false;
    // The layout moves it to the toolbar's right end straight away.
    m.engineWindow = CreateEngineWindow(window, m.instance, 0, 0);
    if (!Created(m.engineWindow, PartEngineWindow)) return false;
    return Created(CreateLogPane(window, m.instance, m.logFont), PartLog);
}

static LRESULT OnCreate(HWND window, CREATESTRUCTA* create) {
    MainWindowState& m = MainWindow;
    m.mainWindow = window;
    m.instance = create->hInstance;
    m.viewer = nullptr;
    m.listRatio = 0.7f;
    m.viewerRatio = 0.3f;
    InstallIconMenu(window, m.mainMenu, IDB_TOOLSTRIP, kStripImages, kMenuIcons,
                    (int)(sizeof kMenuIcons / sizeof kMenuIcons[0]));
    LoadOptions();
    m.logFont = CreateLogFont();
    InitCommonControls();
    LoadLibraryA("RICHED32.DLL");
    if (!CreateChildren(window)) return -1; // CreateWindowEx then fails
    if (RegistrationFailed) LogAppend("警告: レジストリ登録に失敗しました。");
    ReadCookieFileSetting(); // after the log exists: it tells what was read
    HMENU listMenus = LoadMenuA(m.instance, MAKEINTRESOURCEA(IDR_LISTMENU));
    m.listMenu = GetSubMenu(listMenus, 0);
    ShowCommandState(IDM_STOP, 0, 0);
    RestoreWindowLayout();
    RegisterAddressDropTarget(window, OnDroppedAddress);
    Startup.created = true;
    return 0;
}

// A window whose creation failed saves no layout (it would overwrite the
// file with a half-built window's) and posts no quit message (it would end
// the message box that tells the user).
static void OnDestroy(HWND window) {
    RevokeAddressDropTarget(window);
    if (Startup.created) SaveWindowLayout();
    RemoveUrlBoxHooks();
    KillTimer(window, kStatusTimer);
    if (MainWindow.logFont) DeleteObject(MainWindow.logFont);
    MainWindow.logFont = nullptr;
    if (Startup.created) PostQuitMessage(0);
}

void ReportStartupFailure() {
    if (!Startup.failed) Startup = {false, true, PartMainWindow, GetLastError()};
    char text[300];
    FormatStartupFailure(text, sizeof text, Startup.part, Startup.error);
    MessageBoxA(nullptr, text, "Ferrow", MB_OK | MB_ICONERROR);
}

static LRESULT OnGetMinMaxInfo(MINMAXINFO* info) {
    info->ptMinTrackSize.x = kMinTrackWidth;
    info->ptMinTrackSize.y = kMinTrackHeight;
    return 0;
}

// Brings the program's top-level window to the front, restoring it first
// when it is minimised.
static void BringToFront() {
    HWND top = FindWindowA(kMainClass, nullptr);
    if (!top) return;
    if (IsIconic(top)) ShowWindow(top, SW_RESTORE);
    SetForegroundWindow(top);
}

// The block comes from another process: it is read within its stated
// length, terminated or not; past kAddressInputSize it is cut, and the
// engine refuses it as too long.
static LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    if (data && data->dwData == kSnapshotCopyDataKind) {
        char path[MAX_PATH] = "";
        if (data->lpData && data->cbData > 0 && data->cbData <= sizeof path)
            memcpy(path, data->lpData, data->cbData);
        path[sizeof path - 1] = '\0';
        if (!IsHandedSnapshotPath(path)) return FALSE;
        HandedSnapshots.push_back(path);
        PostMessageA(MainWindow.mainWindow, kMsgHandedSnapshot, 0, 0);
        return TRUE;
    }
    char address[kAddressInputSize] = "";
    if (data && data->lpData && data->cbData > 0) {
        size_t length = data->cbData < sizeof address ? data->cbData : sizeof address - 1;
        memcpy(address, data->lpData, length);
        address[length] = '\0';
    }
    BringToFront();
    AnalyseAddress(address);
    return 0;
}

static void OnHandedSnapshot() {
    if (HandedSnapshots.empty()) return;
    std::string path = HandedSnapshots.front();
    HandedSnapshots.pop_front();
    BringToFront();
    AnalyseSnapshotFile(path.c_str());
}

static void OnNcActivate(bool active) {
    if (active) return;
    HWND box = FindWindowA("#32770", "Ferrow");
    if (box) CentreOverParent(box);
}

static LRESULT OnNotify(NMHDR* header) {
    if (header && header->idFrom == IDC_FILELIST) return OnFileListNotify(header);
    return 0;
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    IconMenuHook(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, (CREATESTRUCTA*)lParam);
    case WM_DESTROY:
        OnDestroy(window);
        break;
    case WM_SIZE:
        ArrangeChildren();
        break;
    case WM_GETMINMAXINFO:
        return OnGetMinMaxInfo((MINMAXINFO*)lParam);
    case WM_COPYDATA:
        return OnCopyData((const COPYDATASTRUCT*)lParam);
    case WM_NOTIFY:
        return OnNotify((NMHDR*)lParam);
    case WM_NCACTIVATE:
        OnNcActivate(wParam != FALSE);
        break;
    case WM_COMMAND:
        OnMainCommand(LOWORD(wParam), HIWORD(wParam), (HWND)lParam);
        break;
    case WM_DROPFILES:
        OnDropFiles((HDROP)wParam, OnDroppedAddress);
        return 0;
    case WM_TIMER:
        if (wParam == kStatusTimer) UpdateStatusText();
        break;
    case kMsgHandedSnapshot:
        OnHandedSnapshot();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    MainWindow.mainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FERROW));
    wc.hIconSm = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_FERROW), IMAGE_ICON, 16, 16, 0);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kMainClass;
    return RegisterClassExA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, kMainClass, "Ferrow", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                           nullptr, instance, nullptr);
}
