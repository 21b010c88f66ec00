// Help (Ferrow.chm in the HTML Help viewer, bound at run time) and the about
// box with its link to the manual's home topic.
#include "settings/dialog_place_win.h"
#include "settings/help_about_win.h"

#include <shellapi.h>

#include "resources/version.h"
#include "settings/options.h"
#include "settings/settings_ids.h"
#include "text/text.h"

namespace {

const char kProgramName[] = "Ferrow";
// The project has no web site: the link leads to the manual that ships
// with the program.
const char kManualLinkText[] = "Ferrow ヘルプ";
const char kHomeTopic[] = "index.htm";

// ---- help

typedef HWND(WINAPI* HtmlHelpFunction)(HWND, LPCSTR, UINT, DWORD_PTR);
const UINT kHelpDisplayTopic = 0x0000; // HH_DISPLAY_TOPIC
const UINT kHelpDisplayToc = 0x0001;   // HH_DISPLAY_TOC

// The help function is looked up once; after a failed look-up help requests
// do nothing for the rest of the run. The library stays loaded.
struct HelpBinding {
    bool tried;
    HtmlHelpFunction show;
};
HelpBinding helpBinding;

// The HTML Help control's registered library, with environment variables
// expanded; false when the class is not registered.
bool RegisteredHelpLibrary(char* path, DWORD size) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT,
                      "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return false;
    char value[MAX_PATH];
    DWORD type = 0, length = sizeof value - 1;
    LONG result = RegQueryValueExA(key, nullptr, nullptr, &type, (BYTE*)value, &length);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    value[length] = '\0'; // registry strings need not be terminated
    if (type == REG_SZ) {
        CopyText(path, size, value);
        return path[0] != '\0';
    }
    DWORD needed = ExpandEnvironmentStringsA(value, path, size);
    return needed > 0 && needed <= size;
}

void FormHelpPath(char* path, size_t size) {
    FormatText(path, size, "%s\\%s.chm", ProgramFolder, kProgramName);
}

void BindHtmlHelp() {
    helpBinding.tried = true;
    char path[MAX_PATH];
    HMODULE library = nullptr;
    if (RegisteredHelpLibrary(path, sizeof path)) library = LoadLibraryA(path);
    if (!library) library = LoadLibraryA("hhctrl.ocx");
    if (!library) return;
    helpBinding.show = (HtmlHelpFunction)(void*)GetProcAddress(library, "HtmlHelpA");
    if (!helpBinding.show) FreeLibrary(library);
}

// ---- about box

// Link font and cursor live while the box is open; the cursor is destroyed
// afterwards only when it is our own copy.
struct AboutState {
    HFONT linkFont;
    HCURSOR linkCursor;
    bool cursorOwned;
};
AboutState about;

// The hand cursor of the system's help program (resource 106). Its file is
// only read for resources, never run. Systems without it get the standard
// hand, and only then the arrow.
void PrepareLinkCursor() {
    char folder[249];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    about.linkCursor = nullptr;
    about.cursorOwned = false;
    if (length > 0 && length < sizeof folder) {
        char path[MAX_PATH];
        FormatText(path, sizeof path, "%s\\winhlp32.exe", folder);
        HMODULE help = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (help) {
            HCURSOR cursor = LoadCursorA(help, MAKEINTRESOURCEA(106));
            if (cursor) about.linkCursor = (HCURSOR)CopyIcon((HICON)cursor);
            about.cursorOwned = about.linkCursor != nullptr;
            FreeLibrary(help);
        }
    }
    if (!about.linkCursor) about.linkCursor = LoadCursorA(nullptr, (LPCSTR)IDC_HAND);
    if (!about.linkCursor) about.linkCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
}

void PrepareLinkFont() {
    LOGFONTA font = {};
    font.lfHeight = 15;
    font.lfWeight = FW_BOLD;
    font.lfUnderline = TRUE;
    font.lfCharSet = DEFAULT_CHARSET;
    CopyText(font.lfFaceName, sizeof font.lfFaceName, "Times New Roman");
    about.linkFont = CreateFontIndirectA(&font);
}

void ReleaseAboutResources() {
    if (about.linkFont) DeleteObject(about.linkFont);
    about.linkFont = nullptr;
    if (about.cursorOwned) DestroyCursor(about.linkCursor);
    about.linkCursor = nullptr;
    about.cursorOwned = false;
}

void OnAboutInit(HWND box) {
    CentreOverOwner(box);
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(box, GWLP_HINSTANCE);
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    if (icon) SendDlgItemMessageA(box, IDC_ABOUT_ICON, STM_SETICON, (WPARAM)icon, 0);
    SetDlgItemTextA(box, IDC_ABOUT_NAME, kProgramName);
    SetDlgItemTextA(box, IDC_ABOUT_VERSION, kAboutVersionText);
    SetDlgItemTextA(box, IDC_ABOUT_LINK, kManualLinkText);
    // The label also gets the font as its own: a static control selects its
    // font after asking for colours, which would undo the selection there.
    SendDlgItemMessageA(box, IDC_ABOUT_LINK, WM_SETFONT, (WPARAM)about.linkFont, FALSE);
}

INT_PTR OnAboutLabelColour(HWND box, HDC dc, HWND label) {
    if (label != GetDlgItem(box, IDC_ABOUT_LINK)) return FALSE;
    if (about.linkFont) SelectObject(dc, about.linkFont);
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    return (INT_PTR)GetStockObject(HOLLOW_BRUSH);
}

INT_PTR OnAboutSetCursor(HWND box, HWND under) {
    if (under != GetDlgItem(box, IDC_ABOUT_LINK) || !about.linkCursor) return FALSE;
    SetCursor(about.linkCursor);
    SetWindowLongPtrA(box, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

// The manual's home topic in the help viewer; without a viewer the shell
// opens the file itself (at the same topic, its default one).
void OnLinkClicked(HWND box) {
    if (!helpBinding.tried) BindHtmlHelp();
    char path[MAX_PATH];
    FormHelpPath(path, sizeof path);
    if (helpBinding.show) {
        char topic[MAX_PATH + 16];
        FormatText(topic, sizeof topic, "%s::/%s", path, kHomeTopic);
        helpBinding.show(nullptr, topic, kHelpDisplayTopic, 0);
    } else {
        ShellExecuteA(box, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    }
    InvalidateRect(GetDlgItem(box, IDC_ABOUT_LINK), nullptr, FALSE);
}

void OnAboutCommand(HWND box, int id, int code) {
    if (id == IDOK)
        EndDialog(box, 1);
    else if (id == IDC_ABOUT_LINK && code == STN_CLICKED)
        OnLinkClicked(box);
    // IDCANCEL (Escape) leaves the box open; the close box arrives as WM_CLOSE.
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnAboutInit(box);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnAboutLabelColour(box, (HDC)wParam, (HWND)lParam);
    case WM_SETCURSOR:
        return OnAboutSetCursor(box, (HWND)wParam);
    case WM_COMMAND:
        OnAboutCommand(box, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(box, 1);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void ShowHelp() {
    if (!helpBinding.tried) BindHtmlHelp();
    if (!helpBinding.show) return;
    char path[MAX_PATH];
    FormHelpPath(path, sizeof path);
    helpBinding.show(nullptr, path, kHelpDisplayToc, 0);
}

void ShowAbout(HWND owner) {
    PrepareLinkCursor();
    PrepareLinkFont();
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc, 0);
    ReleaseAboutResources();
}
