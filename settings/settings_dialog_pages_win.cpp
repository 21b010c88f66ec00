// The four pages of the settings dialog: initialisation from Options and the
// rules that keep their controls consistent while the user edits them.
#include "settings/settings_dialog_pages_win.h"

#include <commctrl.h>

#include "settings/options.h"
#include "settings/settings_ids.h"
#include "settings/settings_rules.h"
#include "text/text.h"

namespace {

// Room for the longest text a page field takes: 259 characters and the terminator.
const int kFieldSize = 260;

void SetCheck(HWND page, int id, int on) {
    CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void EnableControls(HWND page, const int* ids, int count, bool enable) {
    for (int i = 0; i < count; i++) EnableWindow(GetDlgItem(page, ids[i]), enable ? TRUE : FALSE);
}

// Enables the controls that belong to a check box by its state.
void FollowCheckBox(HWND page, int checkId, const int* ids, int count) {
    EnableControls(page, ids, count, IsChecked(page, checkId));
}

void SetNumber(HWND page, int id, int value) {
    char text[16];
    FormatText(text, sizeof text, "%d", value);
    SetDlgItemTextA(page, id, text);
}

// A notification result for a dialog procedure's WM_NOTIFY.
INT_PTR NotifyResult(HWND page, LRESULT result) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

// ---- page 113, save

// The up-down control has no buddy; only the sign of its notifications
// matters. Its position sits mid-range so that neither arrow is ever at a
// limit, where a control may stop reporting presses.
const int kSpinRest = 50;

void OnSavePageInit(HWND page) {
    SetCheck(page, IDC_PREFER_LARGER, Options.SameFileName != 0);
    SetCheck(page, IDC_NUMBERED_NAME, Options.SameFileName == 0);
    SetNumber(page, IDC_SOCKETS, Options.Sockets);
    SetNumber(page, IDC_HOST_SOCKETS, Options.HostSockets);
    SetDlgItemTextA(page, IDC_DLPATH, Options.DLPath);
    SetCheck(page, IDC_HIERARCHICAL, Options.Hierarchical);
    SendDlgItemMessageA(page, IDC_SOCKETS_SPIN, UDM_SETPOS32, 0, kSpinRest);
    SendDlgItemMessageA(page, IDC_HOST_SOCKETS_SPIN, UDM_SETPOS32, 0, kSpinRest);
}

// The two count fields, each with its up-down control; both take 1 to 10.
struct CountField {
    int editId;
    int spinId;
};
const CountField kCountFields[] = {{IDC_SOCKETS, IDC_SOCKETS_SPIN},
                                   {IDC_HOST_SOCKETS, IDC_HOST_SOCKETS_SPIN}};

// Keeps a count field between 1 and 10 after each change of its text; the
// replacement sends one more change, which then holds. The replacement is
// left selected: the next key the user types replaces it instead of landing
// before or after it ("1" and "3" would make "13").
void OnCountChanged(HWND page, int editId) {
    HWND edit = GetDlgItem(page, editId);
    char text[kFieldSize];
    GetWindowTextA(edit, text, sizeof text);
    char fixed[8];
    if (!ClampSocketsText(text, fixed, sizeof fixed)) return;
    SetWindowTextA(edit, fixed);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

void OnBrowse(HWND page) {
    char path[kFieldSize];
    GetDlgItemTextA(page, IDC_DLPATH, path, sizeof path);
    ChooseFolder(GetParent(page), path);
    SetDlgItemTextA(page, IDC_DLPATH, path);
}

void OnSavePageCommand(HWND page, int id, int code) {
    if ((id == IDC_SOCKETS || id == IDC_HOST_SOCKETS) && code == EN_CHANGE)
        OnCountChanged(page, id);
    else if (id == IDC_BROWSE && code == BN_CLICKED) OnBrowse(page);
}

INT_PTR OnSavePageNotify(HWND page, const NMHDR* header) {
    if (header->code != UDN_DELTAPOS) return FALSE;
    for (const CountField& field : kCountFields) {
        if (header->idFrom != (UINT_PTR)field.spinId) continue;
        const NMUPDOWN* spin = (const NMUPDOWN*)header;
        char text[kFieldSize];
        GetDlgItemTextA(page, field.editId, text, sizeof text);
        SetNumber(page, field.editId, SocketsAfterSpin(text, spin->iDelta));
        return NotifyResult(page, TRUE); // the position stays at rest
    }
    return FALSE;
}

INT_PTR CALLBACK SavePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnSavePageInit(page);
        return FALSE;  // the frame keeps the focus
    case WM_COMMAND:
        OnSavePageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnSavePageNotify(page, (const NMHDR*)lParam);
    }
    return FALSE;
}

// ---- page 114, analysis

const int kTimeOutControls[] = {IDC_TIMEOUT_SEC, IDC_TIMEOUT_UNIT};

void OnAnalysisPageInit(HWND page) {
    SetCheck(page, IDC_INTERNAL_LINKS, Options.InternalLinks);
    SetCheck(page, IDC_HEAD_CHECK, Options.HeadCheck);
    SetCheck(page, IDC_THUMBNAIL, Options.ThumbNail);
    SetCheck(page, IDC_TIMEOUT, Options.TimeOut);
    SetNumber(page, IDC_TIMEOUT_SEC, Options.TimeOutSec);
    if (Options.TimeOut == 0) EnableControls(page, kTimeOutControls, 2, false);
    SetCheck(page, IDC_NO_EXT_IMAGES, Options.NoExtImages);
    SetCheck(page, IDC_JPG, Options.JPG);
    SetCheck(page, IDC_HTM, Options.HTM);
    SetCheck(page, IDC_PNG, Options.PNG);
    SetCheck(page, IDC_GIF, Options.GIF);
    SetCheck(page, IDC_WAV, Options.WAV);
    SetCheck(page, IDC_LZH, Options.LZH);
    SetCheck(page, IDC_WEBP, Options.WEBP);
    SetCheck(page, IDC_AVIF, Options.AVIF);
    SetDlgItemTextA(page, IDC_EXTENSION, Options.Extension);
}

void OnAnalysisPageCommand(HWND page, int id, int code) {
    if (id == IDC_TIMEOUT && code == BN_CLICKED) FollowCheckBox(page, IDC_TIMEOUT, kTimeOutControls, 2);
}

INT_PTR CALLBACK AnalysisPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnAnalysisPageInit(page);
        return FALSE;
    case WM_COMMAND:
        OnAnalysisPageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// ---- page 115, skip

const int kMinSizeControls[] = {IDC_MIN_SIZE, IDC_MIN_SIZE_UNIT};
const int kMaxSizeControls[] = {IDC_MAX_SIZE, IDC_MAX_SIZE_UNIT};

void OnSkipPageInit(HWND page) {
    SetNumber(page, IDC_MIN_SIZE, Options.MinSize);
    SetNumber(page, IDC_MAX_SIZE, Options.MaxSize);
    if (Options.MinSizeCheck == 1) SetCheck(page, IDC_MIN_SIZE_CHECK, 1);
    else EnableControls(page, kMinSizeControls, 2, false);
    if (Options.MaxSizeCheck == 1) SetCheck(page, IDC_MAX_SIZE_CHECK, 1);
    else EnableControls(page, kMaxSizeControls, 2, false);
}

void OnSkipPageCommand(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_MIN_SIZE_CHECK) FollowCheckBox(page, IDC_MIN_SIZE_CHECK, kMinSizeControls, 2);
    else if (id == IDC_MAX_SIZE_CHECK) FollowCheckBox(page, IDC_MAX_SIZE_CHECK, kMaxSizeControls, 2);
}

INT_PTR CALLBACK SkipPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnSkipPageInit(page);
        return FALSE;
    case WM_COMMAND:
        OnSkipPageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// ---- page 116, other

const int kProxyControls[] = {IDC_PROXY, IDC_PROXY_PORT, IDC_PROXY_LABEL, IDC_PROXY_PORT_LABEL};

void OnOtherPageInit(HWND page) {
    SetCheck(page, IDC_CLICK_HTML, Options.ClickHTML);
    SetCheck(page, IDC_VIEWER_DIALOG, Options.ViewerDialog);
    SetCheck(page, IDC_EXTERNAL_ICON, Options.ExternalIcon);
    SetCheck(page, IDC_IE_MENU, Options.IEMenu);
    SetCheck(page, IDC_BROWSER_EXTENSION, Options.BrowserExtension);
    SetCheck(page, IDC_URL_SAVE, Options.URLSave);
    SetCheck(page, IDC_PROXY_FLAG, Options.ProxyFlag);
    SetDlgItemTextA(page, IDC_PROXY, Options.Proxy);
    SetNumber(page, IDC_PROXY_PORT, Options.ProxyPort);
    FollowCheckBox(page, IDC_PROXY_FLAG, kProxyControls, 4);
    SetDlgItemTextA(page, IDC_COOKIE_FILE, Options.CookieFile);
}

void OnCookieBrowse(HWND page) {
    char path[kFieldSize];
    GetDlgItemTextA(page, IDC_COOKIE_FILE, path, sizeof path);
    if (ChooseCookieFile(GetParent(page), path)) SetDlgItemTextA(page, IDC_COOKIE_FILE, path);
}

void OnOtherPageCommand(HWND page, int id, int code) {
    if (id == IDC_PROXY_FLAG && code == BN_CLICKED) FollowCheckBox(page, IDC_PROXY_FLAG, kProxyControls, 4);
    else if (id == IDC_COOKIE_BROWSE && code == BN_CLICKED)
        OnCookieBrowse(page);
}

INT_PTR CALLBACK OtherPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnOtherPageInit(page);
        return FALSE;
    case WM_COMMAND:
        OnOtherPageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

const SettingsPage kSettingsPages[kSettingsPageCount] = {
    {"保存", IDD_PAGE_SAVE, SavePageProc},
    {"解析", IDD_PAGE_ANALYSIS, AnalysisPageProc},
    {"スキップ", IDD_PAGE_SKIP, SkipPageProc},
    {"その他", IDD_PAGE_OTHER, OtherPageProc},
};
