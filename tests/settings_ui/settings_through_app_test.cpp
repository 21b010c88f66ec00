// The settings dialog, help and about box of a running Ferrow.exe, driven
// from outside through its main window's commands: the values the dialog
// starts with, what OK writes and changes at once, what Cancel and the close
// box leave alone, the remembered tab, the browser menu key, the viewer's
// form, the about box and help without a help viewer.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_ids.h"
#include "tests/settings_ui/help_viewer_override.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/ferrow_app.h"
#include "tests/ui/fixture_ask_win.h"

namespace {

const int kSettingsCommand = 40007;
const int kViewerCommand = 40009;
const int kHelpCommand = 40018;
const int kAboutCommand = 40019;
const int kDownloadAllCommand = 40004;

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// ---- windows of the other process

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

bool IsClass(HWND window, const char* name) {
    char text[64];
    return GetClassNameA(window, text, sizeof text) && lstrcmpiA(text, name) == 0;
}

struct OwnedSearch {
    HWND owner;
    const char* className;
    int childId;  // 0: any
    std::vector<HWND> found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM param) {
    OwnedSearch* search = (OwnedSearch*)param;
    if (IsClass(window, search->className) && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == search->owner &&
        (search->childId == 0 || GetDlgItem(window, search->childId)))
        search->found.push_back(window);
    return TRUE;
}

// Visible top-level windows of the class that the window owns.
std::vector<HWND> OwnedWindows(HWND owner, const char* className, int childId = 0) {
    OwnedSearch search = {owner, className, childId, {}};
    EnumThreadWindows(ThreadOf(owner), MatchOwned, (LPARAM)&search);
    return search.found;
}

// The modal dialog the command opens: posted, since the command returns
// only when the dialog closes.
HWND OpenDialog(const FerrowApp& app, int command, int childId) {
    PostMessageA(app.main(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> found = OwnedWindows(app.main(), "#32770", childId);
            dialog = found.empty() ? nullptr : found[0];
            return dialog != nullptr;
        },
        10000);
    return dialog;
}

bool WaitClosed(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); }, 10000);
}

struct Pages {
    HWND dialog, tabs, save, analysis, skip, other;
};

HWND FindPage(HWND dialog, int controlId) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsClass(child, "#32770") && GetDlgItem(child, controlId)) return child;
    return nullptr;
}

Pages PagesOf(HWND dialog) {
    return {dialog,
            GetDlgItem(dialog, IDC_TABS),
            FindPage(dialog, IDC_SOCKETS),
            FindPage(dialog, IDC_TIMEOUT),
            FindPage(dialog, IDC_MIN_SIZE_CHECK),
            FindPage(dialog, IDC_PROXY_FLAG)};
}

// Edit texts live in the other process: asked for with WM_GETTEXT, which
// the system carries across.
std::string Text(HWND page, int id) { return WindowText(GetDlgItem(page, id)); }
bool Checked(HWND page, int id) {
    return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

// A click on a check box or radio button as the button itself reports it.
void Click(HWND page, int id) {
    const bool before = Checked(page, id);
    SendDlgItemMessageA(page, id, BM_CLICK, 0, 0);
    WaitUntil([&] { return Checked(page, id) != before || !IsWindow(page); }, 3000);
}

void SetText(HWND page, int id, const char* text) {
    SendDlgItemMessageA(page, id, WM_SETTEXT, 0, (LPARAM)text);
}

// A mouse click on the tab, which then tells the dialog itself.
void ClickTab(const FerrowApp& app, HWND tabs, int index) {
    RemoteBuffer remote(app.process(), sizeof(RECT));
    RECT r = {};
    SendMessageA(tabs, TCM_GETITEMRECT, index, (LPARAM)remote.address());
    remote.Read(&r, sizeof r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tabs, WM_LBUTTONUP, 0, at);
}

int SelectedTab(HWND tabs) { return (int)SendMessageA(tabs, TCM_GETCURSEL, 0, 0); }

// The index of the one visible page, -1 when none or several are.
int VisiblePage(const Pages& p) {
    const HWND pages[] = {p.save, p.analysis, p.skip, p.other};
    int visible = -1;
    for (int i = 0; i < 4; i++) {
        if (!IsWindowVisible(pages[i])) continue;
        if (visible >= 0) return -1;
        visible = i;
    }
    return visible;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// ---- Ferrow.ini

// The keys of one section in file order.
KeyValues SectionOf(const std::string& text, const std::string& section) {
    KeyValues keys;
    std::istringstream in(text);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        size_t equals = line.find('=');
        if (inside && equals != std::string::npos)
            keys.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return keys;
}

std::map<std::string, std::string> AsMap(const KeyValues& keys) {
    return std::map<std::string, std::string>(keys.begin(), keys.end());
}

const char kWindowSection[] = "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n";
// The environment variable with the port of the page server of slow files.
const char kSlowPort[] = "FERROW_UI_SLOW_PORT";

// Shift_JIS, as the program reads it.
const char kGivenIni[] =
    "[OPTION]\r\n"
    "Hierarchical=0\r\nSameFileName=1\r\nSockets=7\r\n"
    "DLPath=C:\\ダウンロード\\画像\r\n"
    "InternalLinks=1\r\nHeadCheck=0\r\nThumbNail=1\r\nTimeOut=0\r\nTimeOutSec=25\r\n"
    "JPG=0\r\nHTM=1\r\nPNG=1\r\nGIF=0\r\nWAV=1\r\nLZH=0\r\nExtension=mp3 .zip\r\n"
    "MinSizeCheck=1\r\nMaxSizeCheck=0\r\nMinSize=2048\r\nMaxSize=-5\r\n"
    "ClickHTML=0\r\nViewerDialog=1\r\nExternalIcon=1\r\nIEMenu=0\r\nURLSave=0\r\n"
    "ProxyFlag=0\r\nProxy=proxy.example\r\nProxyPort=8080\r\n"
    "HostSockets=6\r\nCookieFile=none.txt\r\n"
    "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n";

std::string IniPathOf(const FerrowApp& app) { return app.folder() + "\\Ferrow.ini"; }

// ---- the page server's requests

std::vector<std::string> SlowRequests() {
    const char* path = getenv("FERROW_SETTINGS_REQUESTS");
    std::vector<std::string> paths;
    if (!path) return paths;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    const std::string key = "{\"path\": \"";
    while (std::getline(in, line)) {
        size_t at = line.find(key);
        if (at == std::string::npos) continue;
        at += key.size();
        paths.push_back(line.substr(at, line.find('"', at) - at));
    }
    return paths;
}

int CountLinesEndingWith(const FerrowApp& app, const std::string& end) {
    int count = 0;
    for (const std::string& line : app.LogLines())
        count += line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0;
    return count;
}

// ---- tests

TEST(SettingsThroughApp, StartsWithTheFileAndOkWritesEveryKeyAndOptionsAtOnce) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("", kGivenIni));
    HWND dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
    ASSERT_NE(dialog, nullptr) << "the settings dialog did not open";
    EXPECT_EQ(WindowText(dialog), "設定");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.main());
    Pages p = PagesOf(dialog);
    ASSERT_TRUE(p.save && p.analysis && p.skip && p.other);
    EXPECT_EQ(SelectedTab(p.tabs), 0);
    EXPECT_EQ(VisiblePage(p), 0);

    // What the file says.
    EXPECT_FALSE(Checked(p.save, IDC_HIERARCHICAL));
    EXPECT_TRUE(Checked(p.save, IDC_PREFER_LARGER));
    EXPECT_FALSE(Checked(p.save, IDC_NUMBERED_NAME));
    EXPECT_EQ(Text(p.save, IDC_SOCKETS), "7");
    EXPECT_EQ(Text(p.save, IDC_DLPATH), "C:\\ダウンロード\\画像");
    EXPECT_TRUE(Checked(p.analysis, IDC_INTERNAL_LINKS));
    EXPECT_FALSE(Checked(p.analysis, IDC_HEAD_CHECK));
    EXPECT_TRUE(Checked(p.analysis, IDC_THUMBNAIL));
    EXPECT_FALSE(Checked(p.analysis, IDC_TIMEOUT));
    EXPECT_EQ(Text(p.analysis, IDC_TIMEOUT_SEC), "25");
    EXPECT_FALSE(Enabled(p.analysis, IDC_TIMEOUT_SEC));
    EXPECT_FALSE(Enabled(p.analysis, IDC_TIMEOUT_UNIT));
    EXPECT_FALSE(Checked(p.analysis, IDC_JPG));
    EXPECT_TRUE(Checked(p.analysis, IDC_HTM));
    EXPECT_TRUE(Checked(p.analysis, IDC_PNG));
    EXPECT_FALSE(Checked(p.analysis, IDC_GIF));
    EXPECT_TRUE(Checked(p.analysis, IDC_WAV));
    EXPECT_FALSE(Checked(p.analysis, IDC_LZH));
    EXPECT_EQ(Text(p.analysis, IDC_EXTENSION), "mp3 .zip");
    EXPECT_TRUE(Checked(p.analysis, IDC_NO_EXT_IMAGES)); // on when the file does not name it
    EXPECT_TRUE(Checked(p.skip, IDC_MIN_SIZE_CHECK));
    EXPECT_TRUE(Enabled(p.skip, IDC_MIN_SIZE));
    EXPECT_FALSE(Checked(p.skip, IDC_MAX_SIZE_CHECK));
    EXPECT_FALSE(Enabled(p.skip, IDC_MAX_SIZE));
    EXPECT_EQ(Text(p.skip, IDC_MIN_SIZE), "2048");
    EXPECT_EQ(Text(p.skip, IDC_MAX_SIZE), "-5");
    EXPECT_FALSE(Checked(p.other, IDC_CLICK_HTML));
    EXPECT_TRUE(Checked(p.other, IDC_VIEWER_DIALOG));
    EXPECT_TRUE(Checked(p.other, IDC_EXTERNAL_ICON));
    EXPECT_FALSE(Checked(p.other, IDC_IE_MENU));
    EXPECT_FALSE(Checked(p.other, IDC_URL_SAVE));
    EXPECT_FALSE(Checked(p.other, IDC_PROXY_FLAG));
    EXPECT_FALSE(Enabled(p.other, IDC_PROXY));
    EXPECT_EQ(Text(p.other, IDC_PROXY), "proxy.example");
    EXPECT_EQ(Text(p.other, IDC_PROXY_PORT), "8080");
    EXPECT_EQ(Text(p.save, IDC_HOST_SOCKETS), "6");
    EXPECT_EQ(Text(p.other, IDC_COOKIE_FILE), "none.txt");
    // The cookie file was looked for at start, beside the program.
    EXPECT_TRUE(app.LogHas("err:クッキーファイル" + app.folder() + "\\none.txtを読み込めませんでした"))
        << app.LogText();

    // Edits on every page.
    Click(p.save, IDC_HIERARCHICAL);
    Click(p.save, IDC_NUMBERED_NAME);
    SetText(p.save, IDC_SOCKETS, "4");
    SetText(p.save, IDC_HOST_SOCKETS, "2");
    Click(p.analysis, IDC_TIMEOUT);
    EXPECT_TRUE(Enabled(p.analysis, IDC_TIMEOUT_SEC));
    SetText(p.analysis, IDC_TIMEOUT_SEC, "7");
    Click(p.analysis, IDC_JPG);
    Click(p.analysis, IDC_NO_EXT_IMAGES);
    SetText(p.analysis, IDC_EXTENSION, "zip rar");
    SetText(p.skip, IDC_MIN_SIZE, "12x");
    Click(p.other, IDC_CLICK_HTML);
    Click(p.other, IDC_PROXY_FLAG);
    EXPECT_TRUE(Enabled(p.other, IDC_PROXY));
    SetText(p.other, IDC_COOKIE_FILE, "");
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitClosed(dialog)) << "OK left the dialog open";

    const KeyValues expected = {
        {"Hierarchical", "1"}, {"SameFileName", "0"}, {"Sockets", "4"},
        {"DLPath", "C:\\ダウンロード\\画像"}, {"InternalLinks", "1"}, {"HeadCheck", "0"},
        {"ThumbNail", "1"}, {"TimeOut", "1"}, {"TimeOutSec", "7"}, {"JPG", "1"}, {"HTM", "1"},
        {"PNG", "1"}, {"GIF", "0"}, {"WAV", "1"}, {"LZH", "0"}, {"Extension", "zip rar"},
        {"MinSizeCheck", "1"}, {"MaxSizeCheck", "0"}, {"MinSize", "0"}, {"MaxSize", "0"},
        {"ClickHTML", "1"}, {"ViewerDialog", "1"}, {"ExternalIcon", "1"}, {"IEMenu", "0"},
        {"URLSave", "0"}, {"ProxyFlag", "1"}, {"Proxy", "proxy.example"}, {"ProxyPort", "8080"},
        {"HostSockets", "2"}, {"CookieFile", ""}, {"WEBP", "1"}, {"AVIF", "1"},
        {"NoExtImages", "0"}, {"BrowserExtension", "0"}};
    const std::string written = ReadWholeFile(IniPathOf(app));
    KeyValues options = SectionOf(written, "OPTION");
    EXPECT_EQ(options.size(), expected.size()) << written;
    EXPECT_EQ(AsMap(options), AsMap(expected)) << written;
    EXPECT_EQ(SectionOf(written, "WINDOW"), (KeyValues{{"viewer", "0"}, {"TollBar", "1"}}));

    // The program's own record changed too: the next opening shows it.
    dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
    ASSERT_NE(dialog, nullptr) << "the settings dialog did not open again";
    p = PagesOf(dialog);
    EXPECT_TRUE(Checked(p.save, IDC_HIERARCHICAL));
    EXPECT_TRUE(Checked(p.save, IDC_NUMBERED_NAME));
    EXPECT_FALSE(Checked(p.save, IDC_PREFER_LARGER));
    EXPECT_EQ(Text(p.save, IDC_SOCKETS), "4");
    EXPECT_EQ(Text(p.save, IDC_HOST_SOCKETS), "2");
    EXPECT_EQ(Text(p.other, IDC_COOKIE_FILE), "");
    EXPECT_TRUE(Checked(p.analysis, IDC_TIMEOUT));
    EXPECT_TRUE(Enabled(p.analysis, IDC_TIMEOUT_SEC));
    EXPECT_EQ(Text(p.analysis, IDC_TIMEOUT_SEC), "7");
    EXPECT_TRUE(Checked(p.analysis, IDC_JPG));
    EXPECT_EQ(Text(p.analysis, IDC_EXTENSION), "zip rar");
    EXPECT_EQ(Text(p.skip, IDC_MIN_SIZE), "0");
    EXPECT_EQ(Text(p.skip, IDC_MAX_SIZE), "0");
    EXPECT_TRUE(Checked(p.other, IDC_CLICK_HTML));
    EXPECT_TRUE(Checked(p.other, IDC_PROXY_FLAG));
    PressButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitClosed(dialog));
    EXPECT_EQ(app.Exit(), 0);
}

// Three files that each send a part and wait for the test to release them:
// with one socket, the next file is asked for only once the last is done.
TEST(SettingsThroughApp, SocketsSetToOneDownloadsOneFileAtATime) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(SlowAddress("drip.html"),
                          "[OPTION]\r\nHeadCheck=0\r\nSockets=3\r\nJPG=1\r\nHierarchical=0\r\n" +
                              std::string(kWindowSection)));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました")) << app.LogText();
    ASSERT_EQ(app.ListCount(), 3);

    HWND dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
    ASSERT_NE(dialog, nullptr) << "the settings dialog did not open";
    Pages p = PagesOf(dialog);
    ASSERT_EQ(Text(p.save, IDC_SOCKETS), "3");
    SetText(p.save, IDC_SOCKETS, "1");
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitClosed(dialog));
    EXPECT_EQ(AsMap(SectionOf(ReadWholeFile(IniPathOf(app)), "OPTION"))["Sockets"], "1");

    auto fileRequests = [] {
        int count = 0;
        for (const std::string& path : SlowRequests()) count += path.rfind("/part", 0) == 0;
        return count;
    };
    const std::string done = "をダウンロードしました";
    ASSERT_GE(FixtureMostOpen(kSlowPort), 0) << "the page server cannot be asked";  // counts from here
    app.Command(kDownloadAllCommand);
    for (int i = 1; i <= 3; i++) {
        ASSERT_TRUE(WaitUntil([&] { return fileRequests() >= i; }, 10000)) << app.LogText();
        // Queued downloads start in the event that queued them, so a second
        // one would follow the first at once: half a second is ample.
        EXPECT_FALSE(WaitUntil([&] { return fileRequests() > i; }, 500))
            << "downloads at the same time";
        ASSERT_TRUE(ReleaseHeld(kSlowPort, "part" + std::to_string(i)));
        ASSERT_TRUE(WaitUntil([&] { return CountLinesEndingWith(app, done) == i; }, 10000))
            << app.LogText();
    }
    EXPECT_EQ(FixtureMostOpen(kSlowPort), 1);
    EXPECT_EQ(fileRequests(), 3);
    EXPECT_TRUE(app.WaitForLog("ダウンロードが終了しました"));
}

// Cancel, then the close box; the selected tab is remembered across both
// within the run, and a new run starts on the first.
TEST(SettingsThroughApp, CancelAndCloseBoxLeaveFileAndOptionsAloneAndTabIsRemembered) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("", kGivenIni));
    const std::string before = ReadWholeFile(IniPathOf(app));
    ASSERT_FALSE(before.empty());

    const int tabOnOpening[] = {0, 2, 3};
    for (int round = 0; round < 3; round++) {
        HWND dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
        ASSERT_NE(dialog, nullptr) << "round " << round;
        Pages p = PagesOf(dialog);
        EXPECT_EQ(SelectedTab(p.tabs), tabOnOpening[round]) << "round " << round;
        EXPECT_EQ(VisiblePage(p), tabOnOpening[round]) << "round " << round;
        // The state the previous round must have left.
        EXPECT_EQ(Text(p.save, IDC_SOCKETS), "7") << "round " << round;
        EXPECT_FALSE(Checked(p.save, IDC_HIERARCHICAL)) << "round " << round;
        EXPECT_FALSE(Checked(p.other, IDC_IE_MENU)) << "round " << round;
        EXPECT_TRUE(Checked(p.other, IDC_VIEWER_DIALOG)) << "round " << round;
        EXPECT_EQ(Text(p.analysis, IDC_EXTENSION), "mp3 .zip") << "round " << round;
        if (round == 2) {
            PressButton(dialog, IDCANCEL);
            ASSERT_TRUE(WaitClosed(dialog));
            break;
        }
        SetText(p.save, IDC_SOCKETS, "1");
        Click(p.save, IDC_HIERARCHICAL);
        Click(p.other, IDC_IE_MENU);
        Click(p.other, IDC_VIEWER_DIALOG);
        SetText(p.analysis, IDC_EXTENSION, "exe");
        const int next = tabOnOpening[round + 1];
        ClickTab(app, p.tabs, next);
        EXPECT_TRUE(WaitUntil([&] { return VisiblePage(p) == next; }, 3000)) << "round " << round;
        EXPECT_EQ(SelectedTab(p.tabs), next) << "round " << round;
        if (round == 0)
            PressButton(dialog, IDCANCEL);
        else
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(WaitClosed(dialog)) << "round " << round;
        EXPECT_EQ(ReadWholeFile(IniPathOf(app)), before) << "round " << round;
    }
    EXPECT_EQ(app.Exit(), 0);
}

// ---- the browser menu key

// Shift_JIS by the build's character set.
const char kMenuKey[] = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Ferrowで解析";

struct RegistryValue {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

// Saves the key's values on creation and puts the key back as it was found
// (or deletes it, when it was not there) on destruction.
class MenuKeyKeeper {
  public:
    MenuKeyKeeper() {
        HKEY key;
        existed_ = RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!existed_) return;
        for (DWORD i = 0;; i++) {
            char name[256];
            BYTE data[2048];
            DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
                ERROR_SUCCESS)
                break;
            values_.push_back({std::string(name, nameSize), type,
                               std::vector<BYTE>(data, data + dataSize)});
        }
        RegCloseKey(key);
    }
    ~MenuKeyKeeper() {
        RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
        if (!existed_) return;
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        for (const RegistryValue& v : values_)
            RegSetValueExA(key, v.name.empty() ? nullptr : v.name.c_str(), 0, v.type,
                           v.data.data(), (DWORD)v.data.size());
        RegCloseKey(key);
    }

  private:
    bool existed_ = false;
    std::vector<RegistryValue> values_;
};

bool MenuKeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string MenuKeyText(const char* name) {
    char value[1024] = "";
    DWORD size = sizeof value - 1, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
    LONG result = RegQueryValueExA(key, name, nullptr, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : "<none>";
}

DWORD MenuKeyNumber(const char* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof value, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? value : 0xFFFFFFFF;
}

// Sets the browser-menu box and presses OK.
void SetMenuBoxAndOk(const FerrowApp& app, bool on) {
    HWND dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
    ASSERT_NE(dialog, nullptr);
    Pages p = PagesOf(dialog);
    if (Checked(p.other, IDC_IE_MENU) != on) Click(p.other, IDC_IE_MENU);
    ASSERT_EQ(Checked(p.other, IDC_IE_MENU), on);
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitClosed(dialog));
}

TEST(SettingsThroughApp, BrowserMenuKeyWrittenByOkAndRemovedByOk) {
    MenuKeyKeeper keeper;
    RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    ASSERT_FALSE(MenuKeyExists());
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    ASSERT_FALSE(MenuKeyExists()) << "written at start-up with IEMenu off";

    SetMenuBoxAndOk(app, true);
    ASSERT_TRUE(MenuKeyExists());
    EXPECT_EQ(MenuKeyText(nullptr), app.folder() + "\\ie_menu.htm");
    EXPECT_EQ(MenuKeyNumber("contexts"), 0x41u);
    EXPECT_EQ(MenuKeyNumber("Flags"), 0u);
    EXPECT_EQ(AsMap(SectionOf(ReadWholeFile(IniPathOf(app)), "OPTION"))["IEMenu"], "1");

    // OK with the box still checked puts back a key removed meanwhile.
    RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    SetMenuBoxAndOk(app, true);
    EXPECT_TRUE(MenuKeyExists());

    SetMenuBoxAndOk(app, false);
    EXPECT_FALSE(MenuKeyExists());
    EXPECT_EQ(AsMap(SectionOf(ReadWholeFile(IniPathOf(app)), "OPTION"))["IEMenu"], "0");
    // And once more with nothing to remove.
    SetMenuBoxAndOk(app, false);
    EXPECT_FALSE(MenuKeyExists());
    EXPECT_EQ(app.Exit(), 0);
}

// ---- the viewer's form

HWND DockedViewer(const FerrowApp& app) {
    HWND child = app.Child(106);
    return child && IsClass(child, "ViewerClass") && IsWindowVisible(child) ? child : nullptr;
}

HWND SeparateViewer(const FerrowApp& app) {
    std::vector<HWND> found = OwnedWindows(app.main(), "ViewerClass");
    return found.empty() ? nullptr : found[0];
}

void SetViewerBoxAndOk(const FerrowApp& app, bool separate) {
    HWND dialog = OpenDialog(app, kSettingsCommand, IDC_TABS);
    ASSERT_NE(dialog, nullptr);
    Pages p = PagesOf(dialog);
    ASSERT_NE(Checked(p.other, IDC_VIEWER_DIALOG), separate);
    Click(p.other, IDC_VIEWER_DIALOG);
    ASSERT_EQ(Checked(p.other, IDC_VIEWER_DIALOG), separate);
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitClosed(dialog));
}

TEST(SettingsThroughApp, ViewerReopensInTheOtherFormOnlyWhenShown) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    app.Command(kViewerCommand);
    ASSERT_TRUE(WaitUntil([&] { return DockedViewer(app) || SeparateViewer(app); }, 5000))
        << "the viewer command opened no viewer";
    HWND docked = DockedViewer(app);
    ASSERT_NE(docked, nullptr) << "the viewer should start docked";
    ASSERT_EQ(SeparateViewer(app), nullptr);

    // Shown: closed and opened again as a separate window.
    SetViewerBoxAndOk(app, true);
    EXPECT_TRUE(WaitUntil([&] { return SeparateViewer(app) != nullptr; }, 5000));
    EXPECT_FALSE(IsWindow(docked)) << "the docked viewer stayed";
    EXPECT_EQ(DockedViewer(app), nullptr);
    EXPECT_EQ(AsMap(SectionOf(ReadWholeFile(IniPathOf(app)), "OPTION"))["ViewerDialog"], "1");

    // And back to the pane.
    HWND separate = SeparateViewer(app);
    SetViewerBoxAndOk(app, false);
    EXPECT_TRUE(WaitUntil([&] { return DockedViewer(app) != nullptr; }, 5000));
    EXPECT_FALSE(IsWindow(separate)) << "the separate viewer stayed";

    // Hidden: nothing opens; the next showing uses the new form.
    app.Command(kViewerCommand);
    ASSERT_TRUE(WaitUntil([&] { return !DockedViewer(app) && !SeparateViewer(app); }, 5000));
    SetViewerBoxAndOk(app, true);
    EXPECT_EQ(DockedViewer(app), nullptr);
    EXPECT_EQ(SeparateViewer(app), nullptr);
    app.Command(kViewerCommand);
    EXPECT_TRUE(WaitUntil([&] { return SeparateViewer(app) != nullptr; }, 5000));
    EXPECT_EQ(DockedViewer(app), nullptr);
    EXPECT_EQ(app.Exit(), 0);
}

// ---- about and help

struct AboutSeen {
    std::string caption, name, version, link;
};

AboutSeen OpenAbout(const FerrowApp& app) {
    AboutSeen seen;
    HWND box = OpenDialog(app, kAboutCommand, IDC_ABOUT_LINK);
    EXPECT_NE(box, nullptr) << "the about box did not open";
    if (!box) return seen;
    seen = {WindowText(box), WindowText(GetDlgItem(box, IDC_ABOUT_NAME)),
            WindowText(GetDlgItem(box, IDC_ABOUT_VERSION)),
            WindowText(GetDlgItem(box, IDC_ABOUT_LINK))};
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitClosed(box)) << "the close box left the about box open";
    return seen;
}

TEST(AboutThroughApp, ShowsNameVersionAndLinkTwiceTheSame) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    AboutSeen first = OpenAbout(app);
    EXPECT_EQ(first.caption, "バージョン情報");
    EXPECT_EQ(first.name, "Ferrow");
    EXPECT_EQ(first.version, "Ver 1.20");
    EXPECT_EQ(first.link, "Ferrow ヘルプ") << "the link leads to the manual";
    AboutSeen second = OpenAbout(app);
    EXPECT_EQ(second.caption, first.caption);
    EXPECT_EQ(second.name, first.name);
    EXPECT_EQ(second.version, first.version);
    EXPECT_EQ(second.link, first.link);
    EXPECT_EQ(app.Exit(), 0);
}

bool HasModule(HANDLE process, const char* name) {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return false;
    const DWORD count = needed / sizeof modules[0];
    for (DWORD i = 0; i < count && i < 512; i++) {
        char base[MAX_PATH] = "";
        GetModuleBaseNameA(process, modules[i], base, sizeof base);
        if (lstrcmpiA(base, name) == 0) return true;
    }
    return false;
}

BOOL CALLBACK CountVisible(HWND window, LPARAM param) {
    std::pair<DWORD, int>* state = (std::pair<DWORD, int>*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == state->first && IsWindowVisible(window)) state->second++;
    return TRUE;
}

int VisibleWindowsOf(HANDLE process) {
    std::pair<DWORD, int> state(GetProcessId(process), 0);
    EnumWindows(CountVisible, (LPARAM)&state);
    return state.second;
}

// Run with the HTML Help library switched off for the emulator
// (WINEDLLOVERRIDES ending in hhctrl.ocx=), as its own test entry: the
// emulator reads the override when a process starts, from the environment
// it was given outside, so the test cannot set it up itself. The default
// entry leaves it out (see tests.cmake); run anywhere else it fails.
TEST(HelpThroughApp, WithoutFileOrViewerDoesNothingAndKeepsRunning) {
    const char* overrides = getenv("WINEDLLOVERRIDES");
    ASSERT_TRUE(overrides && strstr(overrides, "hhctrl.ocx="))
        << "needs the HTML Help library switched off (WINEDLLOVERRIDES hhctrl.ocx=)";
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    ASSERT_FALSE(FileExists(app.folder() + "\\Ferrow.chm"));
    for (int i = 0; i < 2; i++) {
        DWORD_PTR result = 0;
        ASSERT_NE(SendMessageTimeoutA(app.main(), WM_COMMAND, MAKEWPARAM(kHelpCommand, 0), 0,
                                      SMTO_ABORTIFHUNG, 10000, &result),
                  0)
            << "the help command did not return";
        EXPECT_FALSE(HasModule(app.process(), "hhctrl.ocx")) << "a help viewer was there after all";
        // No window of the program besides its main window.
        EXPECT_EQ(VisibleWindowsOf(app.process()), 1);
        EXPECT_EQ(WaitForSingleObject(app.process(), 0), (DWORD)WAIT_TIMEOUT);
        EXPECT_TRUE(IsWindowVisible(app.main()));
    }
    // Still answering: the about box opens.
    EXPECT_EQ(OpenAbout(app).name, "Ferrow");
    EXPECT_EQ(app.Exit(), 0);
}

// The help command and the about box's link of a running Ferrow.exe, seen
// through a stand-in help viewer that the program finds in the registry.
TEST(HelpViewerThroughApp, HelpAndTheAboutLinkAskForTheManualBesideTheProgram) {
    HelpViewerOverride viewer;
    ASSERT_TRUE(viewer.active()) << "the stand-in viewer could not be registered";
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    const std::string manual = app.folder() + "\\Ferrow.chm";
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutA(app.main(), WM_COMMAND, MAKEWPARAM(kHelpCommand, 0), 0,
                                  SMTO_ABORTIFHUNG, 10000, &result),
              0);
    ASSERT_TRUE(viewer.WaitForRequests(1));
    EXPECT_EQ(viewer.Requests()[0], "1\t" + manual + "\tno owner");

    HWND box = OpenDialog(app, kAboutCommand, IDC_ABOUT_LINK);
    ASSERT_NE(box, nullptr);
    // A click as the label reports it to the box.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_LINK, STN_CLICKED),
                 (LPARAM)GetDlgItem(box, IDC_ABOUT_LINK));
    ASSERT_TRUE(viewer.WaitForRequests(2));
    EXPECT_EQ(viewer.Requests()[1], "0\t" + manual + "::/index.htm\tno owner");
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitClosed(box));
    EXPECT_EQ(app.Exit(), 0);
}

}  // namespace
