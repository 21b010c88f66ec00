// The settings dialog: a frame with a tab control over four pages. OK writes
// every option to Ferrow.ini and into Options at the same moment; Cancel
// and the close box leave both alone.
#include "settings/dialog_place_win.h"
#include "settings/settings_dialog_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "engine/cookie_file.h"
#include "settings/browser_win.h"
#include "settings/ini.h"
#include "settings/options.h"
#include "settings/settings_dialog_pages_win.h"
#include "settings/settings_ids.h"
#include "settings/settings_rules.h"
#include "text/text.h"

namespace {

const char kSection[] = "OPTION";
const int kFieldSize = 260;  // 259 characters and the terminator
const int kViewerCommand = 40009;
const int kDockedViewerId = 106;
const char kViewerClass[] = "ViewerClass";

// The selected tab survives closing for the rest of the run; the page
// handles belong to the open dialog.
struct SettingsDialogState {
    int selectedTab;
    HWND pages[kSettingsPageCount];
};
SettingsDialogState dialogState;

// ---- storing the fields

// An edit's text, stored as typed; the caller converts it for its field.
void StoreText(IniDocument* file, HWND page, int id, const char* key, char* text) {
    GetDlgItemTextA(page, id, text, kFieldSize);
    IniSetText(file, kSection, key, text);
}

// An edit read as an unsigned number (0 when it is none), stored as such.
int StoreNumber(IniDocument* file, HWND page, int id, const char* key) {
    char text[kFieldSize];
    GetDlgItemTextA(page, id, text, sizeof text);
    int value = ParseUnsignedField(text);
    IniSetInt(file, kSection, key, value);
    return value;
}

BOOL CALLBACK FindViewerOfThread(HWND window, LPARAM found) {
    char name[32];
    if (GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, kViewerClass) == 0) {
        *(HWND*)found = window;
        return FALSE;
    }
    return TRUE;
}

// The viewer is open while its window exists: docked as the main window's
// child 106, or as a separate window of the same thread.
bool IsViewerOpen(HWND mainWindow) {
    char name[32];
    HWND docked = GetDlgItem(mainWindow, kDockedViewerId);
    if (docked && GetClassNameA(docked, name, sizeof name) && lstrcmpiA(name, kViewerClass) == 0)
        return true;
    HWND floating = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindViewerOfThread, (LPARAM)&floating);
    return floating != nullptr;
}

void SendViewerCommand(HWND mainWindow) {
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kViewerCommand, 0), 0);
}

void SaveSavePage(IniDocument* file, HWND page) {
    char text[kFieldSize];
    Options.Hierarchical = StoreCheckBox(file, page, IDC_HIERARCHICAL, "Hierarchical");
    Options.SameFileName = StoreCheckBox(file, page, IDC_PREFER_LARGER, "SameFileName");
    StoreText(file, page, IDC_SOCKETS, "Sockets", text);
    Options.Sockets = TextToInt(text);
    StoreText(file, page, IDC_HOST_SOCKETS, "HostSockets", text);
    Options.HostSockets = TextToInt(text);
    StoreText(file, page, IDC_DLPATH, "DLPath", text);
    CopyText(Options.DLPath, sizeof Options.DLPath, text);
}

void SaveAnalysisPage(IniDocument* file, HWND page) {
    char text[kFieldSize];
    Options.InternalLinks = StoreCheckBox(file, page, IDC_INTERNAL_LINKS, "InternalLinks");
    Options.HeadCheck = StoreCheckBox(file, page, IDC_HEAD_CHECK, "HeadCheck");
    Options.ThumbNail = StoreCheckBox(file, page, IDC_THUMBNAIL, "ThumbNail");
    Options.TimeOut = StoreCheckBox(file, page, IDC_TIMEOUT, "TimeOut");
    StoreText(file, page, IDC_TIMEOUT_SEC, "TimeOutSec", text);
    Options.TimeOutSec = TextToInt(text);
    Options.JPG = StoreCheckBox(file, page, IDC_JPG, "JPG");
    Options.HTM = StoreCheckBox(file, page, IDC_HTM, "HTM");
    Options.PNG = StoreCheckBox(file, page, IDC_PNG, "PNG");
    Options.GIF = StoreCheckBox(file, page, IDC_GIF, "GIF");
    Options.WAV = StoreCheckBox(file, page, IDC_WAV, "WAV");
    Options.LZH = StoreCheckBox(file, page, IDC_LZH, "LZH");
    Options.WEBP = StoreCheckBox(file, page, IDC_WEBP, "WEBP");
    Options.AVIF = StoreCheckBox(file, page, IDC_AVIF, "AVIF");
    StoreText(file, page, IDC_EXTENSION, "Extension", text);
    CopyText(Options.Extension, sizeof Options.Extension, text);
}

void SaveSkipPage(IniDocument* file, HWND page) {
    Options.MinSizeCheck = StoreCheckBox(file, page, IDC_MIN_SIZE_CHECK, "MinSizeCheck");
    Options.MaxSizeCheck = StoreCheckBox(file, page, IDC_MAX_SIZE_CHECK, "MaxSizeCheck");
    Options.MinSize = StoreNumber(file, page, IDC_MIN_SIZE, "MinSize");
    Options.MaxSize = StoreNumber(file, page, IDC_MAX_SIZE, "MaxSize");
}

void SaveOtherPage(IniDocument* file, HWND page) {
    char text[kFieldSize];
    Options.ClickHTML = StoreCheckBox(file, page, IDC_CLICK_HTML, "ClickHTML");
    Options.ExternalIcon = StoreCheckBox(file, page, IDC_EXTERNAL_ICON, "ExternalIcon");
    Options.IEMenu = StoreCheckBox(file, page, IDC_IE_MENU, "IEMenu");
    // On every OK, changed or not: the entry may have been removed behind
    // the program's back, and this is how the user puts it back.
    if (Options.IEMenu == 1) RegisterBrowserMenu();
    else UnregisterBrowserMenu();
    Options.ProxyFlag = StoreCheckBox(file, page, IDC_PROXY_FLAG, "ProxyFlag");
    Options.URLSave = StoreCheckBox(file, page, IDC_URL_SAVE, "URLSave");
    StoreText(file, page, IDC_PROXY, "Proxy", text);
    CopyText(Options.Proxy, sizeof Options.Proxy, text);
    Options.ProxyPort = StoreNumber(file, page, IDC_PROXY_PORT, "ProxyPort");
    // A changed file is read at once; the cookies of the run stay.
    StoreText(file, page, IDC_COOKIE_FILE, "CookieFile", text);
    bool changed = strcmp(text, Options.CookieFile) != 0;
    CopyText(Options.CookieFile, sizeof Options.CookieFile, text);
    if (changed) LoadCookieFile();
}

// The viewer's form is read when it is created, so an open viewer is closed
// with the old value and opened again with the new one.
void SaveViewerForm(IniDocument* file, HWND page, HWND mainWindow) {
    int viewerDialog = StoreCheckBox(file, page, IDC_VIEWER_DIALOG, "ViewerDialog");
    if (viewerDialog != Options.ViewerDialog && mainWindow && IsViewerOpen(mainWindow)) {
        SendViewerCommand(mainWindow);
        Options.ViewerDialog = viewerDialog;
        SendViewerCommand(mainWindow);
    } else {
        Options.ViewerDialog = viewerDialog;
    }
}

// The options change at once whatever becomes of the file. The file is read
// as it is now, every key is set in memory, and it is written back once: a
// file that cannot be read or replaced is left as it was, and the user is
// told that the settings were not saved.
void SaveOptionsFromDialog(HWND dialog) {
    IniDocument file;
    const IniLoadResult loaded = IniLoad(IniPath, &file);
    SaveSavePage(&file, dialogState.pages[PageSave]);
    SaveAnalysisPage(&file, dialogState.pages[PageAnalysis]);
    SaveSkipPage(&file, dialogState.pages[PageSkip]);
    SaveOtherPage(&file, dialogState.pages[PageOther]);
    SaveViewerForm(&file, dialogState.pages[PageOther], GetWindow(dialog, GW_OWNER));
    IniSaveResult saved = IniSaveReadError;
    if (loaded != IniReadError) saved = IniStore(file, IniPath) ? IniSaved : IniSaveWriteError;
    ReportSettingsSave(dialog, saved);
}

// ---- the frame

void ShowPage(int index) {
    for (int i = 0; i < kSettingsPageCount; i++)
        ShowWindow(dialogState.pages[i], i == index ? SW_SHOW : SW_HIDE);
}

void OnFrameInit(HWND dialog) {
    CentreOverOwner(dialog);
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    for (int i = 0; i < kSettingsPageCount; i++) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = (char*)kSettingsPages[i].tabText;
        SendMessageA(tabs, TCM_INSERTITEMA, i, (LPARAM)&item);
    }
    for (int i = 0; i < kSettingsPageCount; i++) {
        HWND page = CreateDialogParamA(instance, MAKEINTRESOURCEA(kSettingsPages[i].templateId),
                                       dialog, kSettingsPages[i].procedure, 0);
        // Above the tab control, which must not paint over the pages.
        SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        dialogState.pages[i] = page;
    }
    if (dialogState.selectedTab < 0 || dialogState.selectedTab >= kSettingsPageCount)
        dialogState.selectedTab = 0;
    SendMessageA(tabs, TCM_SETCURSEL, dialogState.selectedTab, 0);
    ShowPage(dialogState.selectedTab);
}

INT_PTR OnFrameNotify(HWND dialog, const NMHDR* header) {
    if (header->idFrom != IDC_TABS || header->code != TCN_SELCHANGE) return FALSE;
    int index = (int)SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0);
    if (index < 0 || index >= kSettingsPageCount) return FALSE;
    dialogState.selectedTab = index;
    ShowPage(index);
    return TRUE;
}

void OnFrameCommand(HWND dialog, int id) {
    if (id == IDOK) {
        SaveOptionsFromDialog(dialog);
        EndDialog(dialog, 1);
    } else if (id == IDCANCEL) {  // also the close box
        EndDialog(dialog, 1);
    }
}

void OnFrameDestroy() {
    for (HWND& page : dialogState.pages) page = nullptr;
}

INT_PTR CALLBACK SettingsFrameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnFrameInit(dialog);
        return TRUE;
    case WM_NOTIFY:
        return OnFrameNotify(dialog, (const NMHDR*)lParam);
    case WM_COMMAND:
        OnFrameCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        OnFrameDestroy();
        return FALSE;
    }
    return FALSE;
}

// ---- folder browser

int CALLBACK OnFolderBrowserEvent(HWND browser, UINT message, LPARAM, LPARAM path) {
    if (message == BFFM_INITIALIZED) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, path);
    return 0;
}

}  // namespace

int StoreCheckBox(IniDocument* file, HWND page, int controlId, const char* key) {
    int value = IsDlgButtonChecked(page, controlId) == BST_CHECKED ? 1 : 0;
    IniSetInt(file, kSection, key, value);
    return value;
}

void ReportSettingsSave(HWND owner, IniSaveResult result) {
    if (result == IniSaved) return;
    char text[400];
    FormatText(text, sizeof text,
               result == IniSaveReadError
                   ? "設定ファイルを読み込めないため、設定を保存できませんでした\n%s"
                   : "設定ファイルに書き込めないため、設定を保存できませんでした\n%s",
               IniPath);
    MessageBoxA(owner, text, "Ferrow", MB_OK | MB_ICONERROR);
}

int ChooseFolder(HWND owner, char* path) {
    // The shell's folder browser needs COM on this thread; a thread that
    // already has it keeps its own apartment.
    HRESULT com = CoInitialize(nullptr);
    char display[MAX_PATH];
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = display;
    info.lpszTitle = "フォルダの選択";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = OnFolderBrowserEvent;
    info.lParam = (LPARAM)path;
    int chosen = 0;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (list) {
        char folder[MAX_PATH];
        // Only a folder with a file-system path replaces the buffer.
        if (SHGetPathFromIDListA(list, folder)) {
            CopyText(path, kFieldSize, folder);
            chosen = 1;
        }
        CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return chosen;
}

int ChooseCookieFile(HWND owner, char* path) {
    char file[MAX_PATH];
    CopyText(file, sizeof file, path);
    OPENFILENAMEA info = {};
    info.lStructSize = sizeof info;
    info.hwndOwner = owner;
    info.lpstrFilter = "クッキーファイル (*.txt)\0*.txt\0すべてのファイル (*.*)\0*.*\0";
    info.lpstrFile = file;
    info.nMaxFile = sizeof file;
    info.lpstrTitle = "クッキーファイルの選択";
    info.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&info)) return 0;
    CopyText(path, kFieldSize, file);
    return 1;
}

void ShowSettingsDialog(HWND owner) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                    SettingsFrameProc, 0);
}
