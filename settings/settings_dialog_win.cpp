// The settings dialog: a frame with a tab control over four pages. OK writes
// every option to Ferrow.ini and into Options at the same moment; Cancel
// and the close box leave both alone.
#include "settings/dialog_place_win.h"
#include "settings/settings_dialog_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>

#include "engine/report.h"
#include "engine/requests.h"
#include "resources/resource.h"
#include "settings/browser_win.h"
#include "settings/ini.h"
#include "settings/options.h"
#include "settings/settings_dialog_pages_win.h"
#include "settings/settings_ids.h"
#include "settings/settings_rules.h"
#include "text/text.h"

namespace {

const int kFieldSize = 260;  // 259 characters and the terminator
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
    IniSetText(file, kOptionSection, key, text);
}

// An edit read as an unsigned number (0 when it is none), stored as such.
int StoreNumber(IniDocument* file, HWND page, int id, const char* key) {
    char text[kFieldSize];
    GetDlgItemTextA(page, id, text, sizeof text);
    int value = ParseUnsignedField(text);
    IniSetInt(file, kOptionSection, key, value);
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
    HWND docked = GetDlgItem(mainWindow, IDC_VIEWER);
    if (docked && GetClassNameA(docked, name, sizeof name) && lstrcmpiA(name, kViewerClass) == 0)
        return true;
    HWND floating = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindViewerOfThread, (LPARAM)&floating);
    return floating != nullptr;
}

void SendViewerCommand(HWND mainWindow) {
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_VIEWER, 0), 0);
}

// How a field of a page goes into the file and into Options.
enum FieldForm {
    CheckBox,      // 0 or 1
    TypedText,     // the text as typed; a number's field takes its decimal conversion
    UnsignedField, // the number the text reads as, 0 when it is none
};

struct BoundField {
    SettingsPageIndex page;
    int controlId;
    size_t field;  // offsetof in OptionsRecord, which names the key
    FieldForm form;
};

// Every field that OK stores, in the order it stores them; the viewer's form
// follows last (SaveViewerForm).
#define FIELD_OF(name) offsetof(OptionsRecord, name)
const BoundField kBoundFields[] = {
    {PageSave, IDC_HIERARCHICAL, FIELD_OF(Hierarchical), CheckBox},
    {PageSave, IDC_PREFER_LARGER, FIELD_OF(SameFileName), CheckBox},
    {PageSave, IDC_SOCKETS, FIELD_OF(Sockets), TypedText},
    {PageSave, IDC_HOST_SOCKETS, FIELD_OF(HostSockets), TypedText},
    {PageSave, IDC_DLPATH, FIELD_OF(DLPath), TypedText},
    {PageAnalysis, IDC_INTERNAL_LINKS, FIELD_OF(InternalLinks), CheckBox},
    {PageAnalysis, IDC_HEAD_CHECK, FIELD_OF(HeadCheck), CheckBox},
    {PageAnalysis, IDC_THUMBNAIL, FIELD_OF(ThumbNail), CheckBox},
    {PageAnalysis, IDC_TIMEOUT, FIELD_OF(TimeOut), CheckBox},
    {PageAnalysis, IDC_TIMEOUT_SEC, FIELD_OF(TimeOutSec), TypedText},
    {PageAnalysis, IDC_NO_EXT_IMAGES, FIELD_OF(NoExtImages), CheckBox},
    {PageAnalysis, IDC_JPG, FIELD_OF(JPG), CheckBox},
    {PageAnalysis, IDC_HTM, FIELD_OF(HTM), CheckBox},
    {PageAnalysis, IDC_PNG, FIELD_OF(PNG), CheckBox},
    {PageAnalysis, IDC_GIF, FIELD_OF(GIF), CheckBox},
    {PageAnalysis, IDC_WAV, FIELD_OF(WAV), CheckBox},
    {PageAnalysis, IDC_LZH, FIELD_OF(LZH), CheckBox},
    {PageAnalysis, IDC_WEBP, FIELD_OF(WEBP), CheckBox},
    {PageAnalysis, IDC_AVIF, FIELD_OF(AVIF), CheckBox},
    {PageAnalysis, IDC_EXTENSION, FIELD_OF(Extension), TypedText},
    {PageSkip, IDC_MIN_SIZE_CHECK, FIELD_OF(MinSizeCheck), CheckBox},
    {PageSkip, IDC_MAX_SIZE_CHECK, FIELD_OF(MaxSizeCheck), CheckBox},
    {PageSkip, IDC_MIN_SIZE, FIELD_OF(MinSize), UnsignedField},
    {PageSkip, IDC_MAX_SIZE, FIELD_OF(MaxSize), UnsignedField},
    {PageOther, IDC_CLICK_HTML, FIELD_OF(ClickHTML), CheckBox},
    {PageOther, IDC_EXTERNAL_ICON, FIELD_OF(ExternalIcon), CheckBox},
    {PageOther, IDC_IE_MENU, FIELD_OF(IEMenu), CheckBox},
    {PageOther, IDC_BROWSER_EXTENSION, FIELD_OF(BrowserExtension), CheckBox},
    {PageOther, IDC_PROXY_FLAG, FIELD_OF(ProxyFlag), CheckBox},
    {PageOther, IDC_URL_SAVE, FIELD_OF(URLSave), CheckBox},
    {PageOther, IDC_PROXY, FIELD_OF(Proxy), TypedText},
    {PageOther, IDC_PROXY_PORT, FIELD_OF(ProxyPort), UnsignedField},
    {PageOther, IDC_COOKIE_FILE, FIELD_OF(CookieFile), TypedText},
};
#undef FIELD_OF

void SaveField(IniDocument* file, const BoundField& bound) {
    const OptionKey* key = OptionOfField(bound.field);
    if (!key) return;
    HWND page = dialogState.pages[bound.page];
    char text[kFieldSize];
    switch (bound.form) {
    case CheckBox:
        *OptionNumber(&Options, *key) = StoreCheckBox(file, page, bound.controlId, key->key);
        break;
    case TypedText:
        StoreText(file, page, bound.controlId, key->key, text);
        if (key->kind == TextKey) CopyText(OptionText(&Options, *key), key->size, text);
        else *OptionNumber(&Options, *key) = TextToInt(text);
        break;
    case UnsignedField:
        *OptionNumber(&Options, *key) = StoreNumber(file, page, bound.controlId, key->key);
        break;
    }
}

void SaveFields(IniDocument* file) {
    char cookieFile[sizeof Options.CookieFile];
    CopyText(cookieFile, sizeof cookieFile, Options.CookieFile);
    for (const BoundField& bound : kBoundFields) SaveField(file, bound);
    // On every OK, changed or not: the entry may have been removed behind
    // the program's back, and this is how the user puts it back.
    if (Options.IEMenu == 1) RegisterBrowserMenuAndWarn();
    else UnregisterBrowserMenu();
    // Likewise for the extension's host, which the folder's move would lose.
    if (Options.BrowserExtension == 1) RegisterExtensionHostAndWarn();
    else UnregisterExtensionHost();
    // A changed file is read at once; the cookies of the run stay.
    bool changed = strcmp(cookieFile, Options.CookieFile) != 0;
    if (changed) ReadCookieFileSetting();
}

// The viewer's form is read when it is created, so an open viewer is closed
// with the old value and opened again with the new one.
void SaveViewerForm(IniDocument* file, HWND page, HWND mainWindow) {
    const OptionKey* key = OptionOfField(offsetof(OptionsRecord, ViewerDialog));
    if (!key) return;
    int viewerDialog = StoreCheckBox(file, page, IDC_VIEWER_DIALOG, key->key);
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
    SaveFields(&file);
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
    IniSetInt(file, kOptionSection, key, value);
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

void RegisterBrowserMenuAndWarn() {
    if (BrowserCannotStartFrom(ProgramFolder))
        LogAppend("警告: フォルダに日本語が使われているとIEから起動が出来ません。");
    RegisterBrowserMenu();
}

void RegisterExtensionHostAndWarn() {
    if (!RegisterExtensionHost())
        LogAppend("err:ブラウザ拡張との連携を登録できませんでした");
}
