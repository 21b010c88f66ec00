// The settings dialog on a test owner window, driven from a second thread:
// initial values, field rules, enabling rules, what OK writes, what Cancel
// and the close box leave alone, the remembered tab and the viewer's form.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/ini.h"
#include "settings/options.h"
#include "settings/settings_dialog_win.h"
#include "settings/settings_ids.h"
#include "tests/settings_ui/ui_driver.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"
#include "text/text.h"

// The browser-menu registration is someone else's; OK must call it. OK calls
// it after it has read the settings file and before it writes it back, so
// a test can change the file at that moment.
static int registerCalls, unregisterCalls;
static std::function<void()> betweenReadAndWrite;
int RegisterBrowserMenu() {
    registerCalls++;
    if (betweenReadAndWrite) betweenReadAndWrite();
    return 1;
}
int UnregisterBrowserMenu() {
    unregisterCalls++;
    if (betweenReadAndWrite) betweenReadAndWrite();
    return 1;
}
int BrowserCannotStartFrom(const char*) { return 0; }
static int extensionRegisterCalls, extensionUnregisterCalls;
int RegisterExtensionHost() { return ++extensionRegisterCalls, 1; }
int UnregisterExtensionHost() { return ++extensionUnregisterCalls, 1; }

namespace {

// A stand-in for the main window: command 40009 toggles a viewer window of
// class ViewerClass, docked (child 106) or separate by Options.ViewerDialog,
// and each toggle is recorded with the form it saw.
std::vector<std::string> viewerLog;
HWND viewer;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == 40009) {
        if (viewer) {
            DestroyWindow(viewer);
            viewer = nullptr;
            viewerLog.push_back("close");
        } else if (Options.ViewerDialog) {
            viewer = CreateWindowExA(0, "ViewerClass", "viewer", WS_POPUPWINDOW | WS_VISIBLE, 0,
                                     0, 100, 100, window, nullptr, nullptr, nullptr);
            viewerLog.push_back("open separate");
        } else {
            viewer = CreateWindowExA(0, "ViewerClass", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50,
                                     window, (HMENU)106, nullptr, nullptr);
            viewerLog.push_back("open docked");
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeOwner() {
    static bool registered;
    if (!registered) {
        WNDCLASSA c = {};
        c.lpfnWndProc = OwnerProc;
        c.lpszClassName = "SettingsTestOwner";
        c.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        RegisterClassA(&c);
        c.lpfnWndProc = DefWindowProcA;
        c.lpszClassName = "ViewerClass";
        RegisterClassA(&c);
        registered = true;
    }
    return CreateWindowExA(0, "SettingsTestOwner", "Ferrow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                           80, 700, 520, nullptr, nullptr, nullptr, nullptr);
}

// Shift_JIS, as the program's texts are at run time.
const char kJapaneseFolder[] = "C:\\ダウンロード\\画像";

const char kGivenIni[] =
    "[OPTION]\r\n"
    "Hierarchical=0\r\nSameFileName=1\r\nSockets=7\r\n"
    "DLPath=C:\\ダウンロード\\画像\r\n"
    "InternalLinks=1\r\nHeadCheck=0\r\nThumbNail=1\r\nTimeOut=0\r\nTimeOutSec=25\r\n"
    "JPG=0\r\nHTM=1\r\nPNG=1\r\nGIF=0\r\nWAV=1\r\nLZH=0\r\nExtension=mp3 .zip\r\n"
    "MinSizeCheck=1\r\nMaxSizeCheck=0\r\nMinSize=2048\r\nMaxSize=-5\r\n"
    "ClickHTML=0\r\nViewerDialog=1\r\nExternalIcon=1\r\nIEMenu=0\r\nURLSave=0\r\n"
    "ProxyFlag=0\r\nProxy=proxy.example\r\nProxyPort=8080\r\n"
    "HostSockets=6\r\nCookieFile=C:\\クッキー\\cookies.txt\r\n";

// Field by field: bytes after a text's terminator do not count.
void ExpectSameOptions(const OptionsRecord& a, const OptionsRecord& b) {
#define SAME_NUMBER(f) EXPECT_EQ(a.f, b.f) << #f
#define SAME_TEXT(f) EXPECT_STREQ(a.f, b.f) << #f
    SAME_NUMBER(MinSizeCheck); SAME_NUMBER(MinSize); SAME_NUMBER(MaxSizeCheck);
    SAME_NUMBER(MaxSize); SAME_NUMBER(Hierarchical); SAME_NUMBER(SameFileName);
    SAME_NUMBER(Sockets); SAME_TEXT(DLPath); SAME_NUMBER(JPG); SAME_NUMBER(HTM);
    SAME_NUMBER(GIF); SAME_NUMBER(PNG); SAME_NUMBER(WAV); SAME_NUMBER(LZH);
    SAME_TEXT(Extension); SAME_NUMBER(HeadCheck); SAME_NUMBER(ClickHTML);
    SAME_NUMBER(ThumbNail); SAME_NUMBER(TimeOut); SAME_NUMBER(TimeOutSec);
    SAME_NUMBER(InternalLinks); SAME_NUMBER(ViewerDialog); SAME_NUMBER(ExternalIcon);
    SAME_NUMBER(IEMenu); SAME_NUMBER(URLSave); SAME_NUMBER(ProxyFlag); SAME_TEXT(Proxy);
    SAME_NUMBER(ProxyPort); SAME_NUMBER(HostSockets); SAME_TEXT(CookieFile);
    SAME_NUMBER(WEBP); SAME_NUMBER(AVIF); SAME_NUMBER(NoExtImages);
#undef SAME_NUMBER
#undef SAME_TEXT
}

struct Pages {
    HWND dialog, tabs, save, analysis, skip, other;
};

Pages FindPages(HWND dialog) {
    return {dialog,
            GetDlgItem(dialog, IDC_TABS),
            FindPage(dialog, IDC_SOCKETS),
            FindPage(dialog, IDC_TIMEOUT),
            FindPage(dialog, IDC_MIN_SIZE_CHECK),
            FindPage(dialog, IDC_PROXY_FLAG)};
}

class SettingsDialogUi : public ::testing::Test {
protected:
    TempFolder dir;
    HWND owner = nullptr;

    void SetUp() override {
        FormProgramPaths(dir.File("Ferrow.exe").c_str());
        owner = MakeOwner();
        viewerLog.clear();
        viewer = nullptr;
        registerCalls = unregisterCalls = 0;
        extensionRegisterCalls = extensionUnregisterCalls = 0;
        betweenReadAndWrite = nullptr;
    }
    void TearDown() override {
        betweenReadAndWrite = nullptr;
        SetFileAttributesA(IniPath, FILE_ATTRIBUTE_NORMAL);
        DestroyWindow(owner);
    }

    void LoadIni(const char* text) {
        WriteWholeFile(IniPath, text);
        LoadOptions();
    }

    // Opens the dialog and runs body on the driver with its pages found.
    void Drive(const std::function<void(const Pages&)>& body) {
        RunWithDriver([&] { ShowSettingsDialog(owner); },
                      [&](DWORD thread) {
                          HWND dialog = WaitForDialog(thread, IDC_TABS);
                          ASSERT_NE(dialog, nullptr) << "the settings dialog did not open";
                          Pages pages = FindPages(dialog);
                          ASSERT_TRUE(pages.save && pages.analysis && pages.skip && pages.other);
                          body(pages);
                      });
    }

    static void Press(HWND dialog, int id) {
        PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stayed open";
    }

    // OK when the file cannot be saved: a message box over the dialog says
    // so and why; its text is returned once it is closed with its button.
    std::string PressOkExpectingBox(HWND dialog) {
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        const int kMessageBoxText = 0xFFFF;
        HWND box = WaitForDialog(GetWindowThreadProcessId(dialog, nullptr), kMessageBoxText, 10000,
                                 dialog);
        EXPECT_NE(box, nullptr) << "no message box";
        if (!box) return "";
        EXPECT_EQ(TextOf(box), "Ferrow");
        std::string text = ItemText(box, kMessageBoxText);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stayed open";
        return text;
    }

    std::string KeyText(const char* key) {
        char value[400];
        IniReadText("OPTION", key, "<missing>", value, sizeof value, IniPath);
        return value;
    }
};

int SelectedTab(const Pages& p) { return (int)SendMessageA(p.tabs, TCM_GETCURSEL, 0, 0); }

HWND PageOfTab(const Pages& p, int index) {
    HWND pages[] = {p.save, p.analysis, p.skip, p.other};
    return pages[index];
}

// Exactly the page of the selected tab is visible.
void ExpectShownPage(const Pages& p, int index) {
    EXPECT_EQ(SelectedTab(p), index);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(IsWindowVisible(PageOfTab(p, i)) != FALSE, i == index) << "page " << i;
}

void SelectTab(const Pages& p, int index) {
    ClickTab(p.tabs, index);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(PageOfTab(p, index)) != FALSE; }));
}

// Declared first: the first opening of a run shows the first tab.
TEST_F(SettingsDialogUi, OpensOnTheSaveTabWithItsFourTabs) {
    LoadIni("");
    Drive([&](const Pages& p) {
        EXPECT_EQ(TextOf(p.dialog), "設定");
        const char* names[] = {"保存", "解析", "スキップ", "その他"};
        ASSERT_EQ(SendMessageA(p.tabs, TCM_GETITEMCOUNT, 0, 0), 4);
        for (int i = 0; i < 4; i++) {
            char text[32] = "";
            TCITEMA item = {};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(p.tabs, TCM_GETITEMA, i, (LPARAM)&item);
            EXPECT_STREQ(text, names[i]);
        }
        ExpectShownPage(p, 0);
        EXPECT_EQ(ItemText(p.dialog, IDCANCEL), "ｷｬﾝｾﾙ");
        // Centred over the owner.
        RECT o, d;
        GetWindowRect(owner, &o);
        GetWindowRect(p.dialog, &d);
        EXPECT_EQ(d.left, o.left + (o.right - o.left - (d.right - d.left)) / 2);
        EXPECT_EQ(d.top, o.top + (o.bottom - o.top - (d.bottom - d.top)) / 2);
        Press(p.dialog, IDCANCEL);
    });
}

TEST_F(SettingsDialogUi, ShowsTheValuesOfTheGivenFile) {
    LoadIni(kGivenIni);
    Drive([&](const Pages& p) {
        EXPECT_FALSE(ItemChecked(p.save, IDC_HIERARCHICAL));
        EXPECT_TRUE(ItemChecked(p.save, IDC_PREFER_LARGER));
        EXPECT_FALSE(ItemChecked(p.save, IDC_NUMBERED_NAME));
        EXPECT_EQ(ItemText(p.save, IDC_SOCKETS), "7");
        EXPECT_EQ(ItemText(p.save, IDC_HOST_SOCKETS), "6");
        EXPECT_EQ(ItemText(p.save, IDC_DLPATH), kJapaneseFolder);

        EXPECT_TRUE(ItemChecked(p.analysis, IDC_INTERNAL_LINKS));
        EXPECT_FALSE(ItemChecked(p.analysis, IDC_HEAD_CHECK));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_THUMBNAIL));
        EXPECT_FALSE(ItemChecked(p.analysis, IDC_TIMEOUT));
        EXPECT_EQ(ItemText(p.analysis, IDC_TIMEOUT_SEC), "25");
        EXPECT_FALSE(ItemEnabled(p.analysis, IDC_TIMEOUT_SEC));
        EXPECT_FALSE(ItemEnabled(p.analysis, IDC_TIMEOUT_UNIT));
        EXPECT_FALSE(ItemChecked(p.analysis, IDC_JPG));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_HTM));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_PNG));
        EXPECT_FALSE(ItemChecked(p.analysis, IDC_GIF));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_WAV));
        EXPECT_FALSE(ItemChecked(p.analysis, IDC_LZH));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_WEBP)); // on when the file names neither
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_AVIF));
        EXPECT_TRUE(ItemChecked(p.analysis, IDC_NO_EXT_IMAGES));
        EXPECT_EQ(ItemText(p.analysis, IDC_EXTENSION), "mp3 .zip");

        EXPECT_TRUE(ItemChecked(p.skip, IDC_MIN_SIZE_CHECK));
        EXPECT_EQ(ItemText(p.skip, IDC_MIN_SIZE), "2048");
        EXPECT_TRUE(ItemEnabled(p.skip, IDC_MIN_SIZE));
        EXPECT_TRUE(ItemEnabled(p.skip, IDC_MIN_SIZE_UNIT));
        EXPECT_FALSE(ItemChecked(p.skip, IDC_MAX_SIZE_CHECK));
        EXPECT_EQ(ItemText(p.skip, IDC_MAX_SIZE), "-5");
        EXPECT_FALSE(ItemEnabled(p.skip, IDC_MAX_SIZE));
        EXPECT_FALSE(ItemEnabled(p.skip, IDC_MAX_SIZE_UNIT));

        EXPECT_FALSE(ItemChecked(p.other, IDC_CLICK_HTML));
        EXPECT_TRUE(ItemChecked(p.other, IDC_VIEWER_DIALOG));
        EXPECT_TRUE(ItemChecked(p.other, IDC_EXTERNAL_ICON));
        EXPECT_FALSE(ItemChecked(p.other, IDC_IE_MENU));
        EXPECT_FALSE(ItemChecked(p.other, IDC_URL_SAVE));
        EXPECT_FALSE(ItemChecked(p.other, IDC_PROXY_FLAG));
        EXPECT_EQ(ItemText(p.other, IDC_PROXY), "proxy.example");
        EXPECT_EQ(ItemText(p.other, IDC_PROXY_PORT), "8080");
        EXPECT_EQ(ItemText(p.other, IDC_COOKIE_FILE), "C:\\クッキー\\cookies.txt");
        for (int id : {IDC_PROXY, IDC_PROXY_PORT, IDC_PROXY_LABEL, IDC_PROXY_PORT_LABEL})
            EXPECT_FALSE(ItemEnabled(p.other, id)) << id;
        Press(p.dialog, IDCANCEL);
    });
}

const int kSocketsIds[] = {IDC_SOCKETS, IDC_SOCKETS_SPIN};
const int kHostSocketsIds[] = {IDC_HOST_SOCKETS, IDC_HOST_SOCKETS_SPIN};

// Simultaneous downloads and connections to one host follow the same rules.
TEST_F(SettingsDialogUi, CountFieldsStayBetweenOneAndTen) {
    LoadIni("");
    for (const int* ids : {kSocketsIds, kHostSocketsIds}) {
        Drive([&](const Pages& p) {
            SelectTab(p, 0);
            const int field = ids[0];
            struct {
                const char* text;
                const char* shown;
            } pasted[] = {{"0", "1"}, {"-3", "1"}, {"abc", "1"}, {"", "1"},
                          {"25", "10"}, {"4", "4"}, {"10", "10"}};
            for (auto& c : pasted) {
                PasteInto(p.save, field, c.text);
                EXPECT_EQ(ItemText(p.save, field), c.shown) << field << " pasted \"" << c.text << "\"";
            }
            // Key by key: a replaced value is selected, so the next key replaces it.
            struct {
                const char* keys;
                const char* shown;
            } typed[] = {{"0", "1"}, {"abc", "1"}, {"", "1"}, {"25", "10"}, {"-3", "3"},
                         {"08", "8"}, {"7", "7"}};
            for (auto& c : typed) {
                TypeInto(p.save, field, c.keys);
                EXPECT_EQ(ItemText(p.save, field), c.shown) << field << " typed \"" << c.keys << "\"";
            }
            // The arrows: up raises, down lowers, and both stop at the limits.
            HWND spin = GetDlgItem(p.save, ids[1]);
            RECT r;
            GetClientRect(spin, &r);
            int x = r.right / 2, up = r.bottom / 4, down = r.bottom * 3 / 4;
            struct {
                const char* start;
                int y;
                const char* shown;
            } arrows[] = {{"10", up, "10"}, {"9", up, "10"}, {"1", down, "1"},
                          {"2", down, "1"}, {"5", up, "6"},  {"5", down, "4"}};
            for (auto& a : arrows) {
                PasteInto(p.save, field, a.start);
                ClickAt(spin, x, a.y);
                EXPECT_EQ(ItemText(p.save, field), a.shown)
                    << a.start << (a.y == up ? " up" : " down");
            }
            Press(p.dialog, IDCANCEL);
        });
    }
}

TEST_F(SettingsDialogUi, CheckBoxesEnableTheirFields) {
    LoadIni("[OPTION]\r\nTimeOut=1\r\nMinSizeCheck=0\r\nMaxSizeCheck=1\r\nProxyFlag=1\r\n");
    Drive([&](const Pages& p) {
        SelectTab(p, 1);
        EXPECT_TRUE(ItemEnabled(p.analysis, IDC_TIMEOUT_SEC));
        Click(p.analysis, IDC_TIMEOUT);
        EXPECT_FALSE(ItemEnabled(p.analysis, IDC_TIMEOUT_SEC));
        EXPECT_FALSE(ItemEnabled(p.analysis, IDC_TIMEOUT_UNIT));
        Click(p.analysis, IDC_TIMEOUT);
        EXPECT_TRUE(ItemEnabled(p.analysis, IDC_TIMEOUT_SEC));
        EXPECT_TRUE(ItemEnabled(p.analysis, IDC_TIMEOUT_UNIT));

        SelectTab(p, 2);
        EXPECT_FALSE(ItemEnabled(p.skip, IDC_MIN_SIZE));
        EXPECT_TRUE(ItemEnabled(p.skip, IDC_MAX_SIZE));
        Click(p.skip, IDC_MIN_SIZE_CHECK);
        Click(p.skip, IDC_MAX_SIZE_CHECK);
        EXPECT_TRUE(ItemEnabled(p.skip, IDC_MIN_SIZE));
        EXPECT_TRUE(ItemEnabled(p.skip, IDC_MIN_SIZE_UNIT));
        EXPECT_FALSE(ItemEnabled(p.skip, IDC_MAX_SIZE));
        EXPECT_FALSE(ItemEnabled(p.skip, IDC_MAX_SIZE_UNIT));

        SelectTab(p, 3);
        int proxyControls[] = {IDC_PROXY, IDC_PROXY_PORT, IDC_PROXY_LABEL, IDC_PROXY_PORT_LABEL};
        for (int id : proxyControls) EXPECT_TRUE(ItemEnabled(p.other, id)) << id;
        Click(p.other, IDC_PROXY_FLAG);
        for (int id : proxyControls) EXPECT_FALSE(ItemEnabled(p.other, id)) << id;
        Press(p.dialog, IDCANCEL);
    });
}

TEST_F(SettingsDialogUi, OkWritesEveryKeyAndChangesOptionsAtOnce) {
    LoadIni(kGivenIni);
    std::string longExtension(270, 'e');
    Drive([&](const Pages& p) {
        SelectTab(p, 0);
        Click(p.save, IDC_HIERARCHICAL);
        Click(p.save, IDC_NUMBERED_NAME);
        TypeInto(p.save, IDC_SOCKETS, "5x");
        TypeInto(p.save, IDC_HOST_SOCKETS, "3");
        TypeInto(p.save, IDC_DLPATH, "D:\\新しい フォルダ\\dl ");
        SelectTab(p, 1);
        Click(p.analysis, IDC_INTERNAL_LINKS);
        Click(p.analysis, IDC_HEAD_CHECK);
        Click(p.analysis, IDC_TIMEOUT);
        TypeInto(p.analysis, IDC_TIMEOUT_SEC, "15sec");
        Click(p.analysis, IDC_JPG);
        Click(p.analysis, IDC_LZH);
        Click(p.analysis, IDC_WAV);
        Click(p.analysis, IDC_AVIF);
        Click(p.analysis, IDC_NO_EXT_IMAGES);
        TypeInto(p.analysis, IDC_EXTENSION, longExtension.c_str());
        SelectTab(p, 2);
        Click(p.skip, IDC_MIN_SIZE_CHECK);
        Click(p.skip, IDC_MAX_SIZE_CHECK);
        TypeInto(p.skip, IDC_MIN_SIZE, "abc");
        TypeInto(p.skip, IDC_MAX_SIZE, " 2000000 ");
        SelectTab(p, 3);
        Click(p.other, IDC_CLICK_HTML);
        Click(p.other, IDC_EXTERNAL_ICON);
        Click(p.other, IDC_IE_MENU);
        Click(p.other, IDC_URL_SAVE);
        Click(p.other, IDC_PROXY_FLAG);
        TypeInto(p.other, IDC_PROXY, "proxy.local");
        TypeInto(p.other, IDC_PROXY_PORT, "-1");
        TypeInto(p.other, IDC_COOKIE_FILE, "my cookies.txt");
        Press(p.dialog, IDOK);
    });
    std::string file = ReadWholeFile(IniPath);
    struct {
        const char* key;
        std::string value;
    } expected[] = {
        {"Hierarchical", "1"}, {"SameFileName", "0"}, {"Sockets", "5x"},
        {"DLPath", "D:\\新しい フォルダ\\dl "}, {"InternalLinks", "0"}, {"HeadCheck", "1"},
        {"ThumbNail", "1"}, {"TimeOut", "1"}, {"TimeOutSec", "15sec"}, {"JPG", "1"},
        {"HTM", "1"}, {"PNG", "1"}, {"GIF", "0"}, {"WAV", "0"}, {"LZH", "1"}, {"WEBP", "1"}, {"AVIF", "0"},
        {"Extension", std::string(259, 'e')}, {"MinSizeCheck", "0"}, {"MaxSizeCheck", "1"},
        {"MinSize", "0"}, {"MaxSize", "2000000"}, {"ClickHTML", "1"}, {"ExternalIcon", "0"},
        {"IEMenu", "1"}, {"ProxyFlag", "1"}, {"URLSave", "1"}, {"Proxy", "proxy.local"},
        {"ProxyPort", "0"}, {"ViewerDialog", "1"}, {"HostSockets", "3"},
        {"CookieFile", "my cookies.txt"}, {"NoExtImages", "0"},
    };
    for (auto& e : expected) {
        std::string line = std::string("\r\n") + e.key + "=" + e.value + "\r\n";
        EXPECT_NE(file.find(line), std::string::npos) << e.key << " in\n" << file;
    }
    EXPECT_EQ(Options.Hierarchical, 1);
    EXPECT_EQ(Options.SameFileName, 0);
    EXPECT_EQ(Options.Sockets, 5);
    EXPECT_STREQ(Options.DLPath, "D:\\新しい フォルダ\\dl ");
    EXPECT_EQ(Options.InternalLinks, 0);
    EXPECT_EQ(Options.HeadCheck, 1);
    EXPECT_EQ(Options.TimeOut, 1);
    EXPECT_EQ(Options.TimeOutSec, 15);
    EXPECT_EQ(Options.JPG, 1);
    EXPECT_EQ(Options.WAV, 0);
    EXPECT_EQ(Options.LZH, 1);
    EXPECT_EQ(Options.WEBP, 1);
    EXPECT_EQ(Options.AVIF, 0);
    EXPECT_EQ(Options.NoExtImages, 0);
    EXPECT_EQ(std::string(Options.Extension), std::string(255, 'e'));
    EXPECT_EQ(Options.MinSizeCheck, 0);
    EXPECT_EQ(Options.MaxSizeCheck, 1);
    EXPECT_EQ(Options.MinSize, 0);
    EXPECT_EQ(Options.MaxSize, 2000000);
    EXPECT_EQ(Options.ClickHTML, 1);
    EXPECT_EQ(Options.ExternalIcon, 0);
    EXPECT_EQ(Options.IEMenu, 1);
    EXPECT_EQ(Options.ProxyFlag, 1);
    EXPECT_EQ(Options.URLSave, 1);
    EXPECT_STREQ(Options.Proxy, "proxy.local");
    EXPECT_EQ(Options.ProxyPort, 0);
    EXPECT_EQ(Options.ViewerDialog, 1);
    EXPECT_EQ(Options.HostSockets, 3);
    EXPECT_STREQ(Options.CookieFile, "my cookies.txt");
    EXPECT_EQ(registerCalls, 1);
    EXPECT_EQ(unregisterCalls, 0);

    // What OK wrote reads back into the same options on the next start,
    // except the blank at the end of the folder, which the file does not keep.
    OptionsRecord written = Options;
    CopyText(written.DLPath, sizeof written.DLPath, "D:\\新しい フォルダ\\dl");
    memset(&Options, 0, sizeof Options);
    LoadOptions();
    ExpectSameOptions(written, Options);
}

TEST_F(SettingsDialogUi, OkRegistersOrRemovesTheBrowserEntryEveryTime) {
    LoadIni("[OPTION]\r\nIEMenu=1\r\n");
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_EQ(registerCalls, 1) << "registered again although nothing changed";
    Drive([&](const Pages& p) {
        SelectTab(p, 3);
        Click(p.other, IDC_IE_MENU);
        Press(p.dialog, IDOK);
    });
    EXPECT_EQ(unregisterCalls, 1);
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_EQ(unregisterCalls, 2) << "removed again although already removed";
    EXPECT_EQ(registerCalls, 1);
    EXPECT_EQ(KeyText("IEMenu"), "0");
}

TEST_F(SettingsDialogUi, OkRegistersOrRemovesTheExtensionHostEveryTime) {
    LoadIni("[OPTION]\r\nBrowserExtension=1\r\n");
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_EQ(extensionRegisterCalls, 1);
    Drive([&](const Pages& p) {
        SelectTab(p, 3);
        Click(p.other, IDC_BROWSER_EXTENSION);
        Press(p.dialog, IDOK);
    });
    EXPECT_EQ(extensionUnregisterCalls, 1);
    EXPECT_EQ(extensionRegisterCalls, 1);
    EXPECT_EQ(KeyText("BrowserExtension"), "0");
}

// A changed cookie file is read at once, from the program's folder when the
// name is relative; OK without a change reads nothing.
TEST_F(SettingsDialogUi, OkReadsTheCookieFileWhenItChanged) {
    WriteWholeFile(dir.File("cookies.txt"), "a.example\tFALSE\t/\tFALSE\t0\tsid\tabc\n"
                                            "a.example\tFALSE\t/\tFALSE\t1\told\tx\n");
    LoadIni("[OPTION]\r\n");
    ClearReports();
    Drive([&](const Pages& p) {
        SelectTab(p, 3);
        EXPECT_EQ(ItemText(p.other, IDC_COOKIE_FILE), "");
        TypeInto(p.other, IDC_COOKIE_FILE, "cookies.txt");
        Press(p.dialog, IDOK);
    });
    std::string path = dir.File("cookies.txt");
    EXPECT_EQ(Reports.log, std::vector<std::string>{"クッキーファイル" + path +
                                                    "から1個のクッキーを読み込みました"});
    EXPECT_EQ(KeyText("CookieFile"), "cookies.txt");
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_EQ(Reports.log.size(), 1u) << "read again although unchanged";
    Drive([&](const Pages& p) {
        TypeInto(p.other, IDC_COOKIE_FILE, "missing.txt");
        Press(p.dialog, IDOK);
    });
    ASSERT_EQ(Reports.log.size(), 2u);
    EXPECT_EQ(Reports.log[1], "err:クッキーファイル" + dir.File("missing.txt") +
                                  "を読み込めませんでした");
    EXPECT_STREQ(Options.CookieFile, "missing.txt");
}

TEST_F(SettingsDialogUi, CancelAndCloseBoxLeaveFileAndOptionsAlone) {
    LoadIni(kGivenIni);
    std::string before = ReadWholeFile(IniPath);
    OptionsRecord kept = Options;
    auto editEverything = [&](const Pages& p) {
        TypeInto(p.save, IDC_SOCKETS, "9");
        TypeInto(p.save, IDC_DLPATH, "E:\\other");
        Click(p.analysis, IDC_JPG);
        Click(p.skip, IDC_MAX_SIZE_CHECK);
        Click(p.other, IDC_VIEWER_DIALOG);
        Click(p.other, IDC_IE_MENU);
    };
    Drive([&](const Pages& p) {
        editEverything(p);
        Press(p.dialog, IDCANCEL);
    });
    Drive([&](const Pages& p) {
        editEverything(p);
        PostMessageA(p.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(p.dialog); }));
    });
    EXPECT_EQ(ReadWholeFile(IniPath), before);
    ExpectSameOptions(kept, Options);
    EXPECT_EQ(registerCalls + unregisterCalls, 0);
}

TEST_F(SettingsDialogUi, RemembersTheTabAcrossOpenings) {
    LoadIni("");
    Drive([&](const Pages& p) {
        SelectTab(p, 2);
        ExpectShownPage(p, 2);
        Press(p.dialog, IDCANCEL);
    });
    Drive([&](const Pages& p) {
        ExpectShownPage(p, 2);
        SelectTab(p, 3);
        Press(p.dialog, IDOK);
    });
    Drive([&](const Pages& p) {
        ExpectShownPage(p, 3);
        SelectTab(p, 0);
        Press(p.dialog, IDCANCEL);
    });
}

TEST_F(SettingsDialogUi, BrowseKeepsTheFieldOnCancelAndTakesThePickedFolder) {
    std::string folder = dir.path.string();
    LoadIni(("[OPTION]\r\nDLPath=" + folder + "\r\n").c_str());
    DWORD mainThread = GetCurrentThreadId();
    Drive([&](const Pages& p) {
        SelectTab(p, 0);
        // The browser runs inside the page's click handling, so it is posted.
        auto browse = [&] {
            PostMessageA(p.save, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                         (LPARAM)GetDlgItem(p.save, IDC_BROWSE));
            return WaitForDialog(mainThread, IDOK, 10000, p.dialog);
        };
        TypeInto(p.save, IDC_DLPATH, "typed but not a folder");
        HWND chooser = browse();
        ASSERT_NE(chooser, nullptr) << "no folder browser";
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(chooser); }));
        EXPECT_TRUE(WaitFor([&] { return ItemText(p.save, IDC_DLPATH) == "typed but not a folder"; }));

        TypeInto(p.save, IDC_DLPATH, folder.c_str());
        chooser = browse();
        ASSERT_NE(chooser, nullptr);
        // OK puts the browser's folder into the field. Which folder that is
        // depends on the shell's preselection, which Wine does not follow.
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(chooser); }));
        std::string picked;
        EXPECT_TRUE(WaitFor([&] {
            picked = ItemText(p.save, IDC_DLPATH);
            DWORD attributes = GetFileAttributesA(picked.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        })) << picked;
        Press(p.dialog, IDCANCEL);
    });
}

// Toggles the viewer through the stand-in main window, as the menu would.
void ToggleViewer(HWND owner) { SendMessageA(owner, WM_COMMAND, 40009, 0); }

TEST_F(SettingsDialogUi, ViewerReopensInTheOtherFormOnlyWhenShown) {
    LoadIni("[OPTION]\r\nViewerDialog=0\r\n");
    ToggleViewer(owner);
    ASSERT_NE(GetDlgItem(owner, 106), nullptr);
    viewerLog.clear();
    Drive([&](const Pages& p) {
        SelectTab(p, 3);
        Click(p.other, IDC_VIEWER_DIALOG);
        Press(p.dialog, IDOK);
    });
    EXPECT_EQ(viewerLog, (std::vector<std::string>{"close", "open separate"}));
    EXPECT_EQ(GetDlgItem(owner, 106), nullptr);
    EXPECT_TRUE(viewer && IsWindowVisible(viewer));
    EXPECT_EQ(Options.ViewerDialog, 1);

    // Unchanged form: the shown viewer stays as it is.
    viewerLog.clear();
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_TRUE(viewerLog.empty());

    // Hidden viewer: only the option changes.
    ToggleViewer(owner);
    viewerLog.clear();
    Drive([&](const Pages& p) {
        Click(p.other, IDC_VIEWER_DIALOG);
        Press(p.dialog, IDOK);
    });
    EXPECT_TRUE(viewerLog.empty());
    EXPECT_EQ(viewer, nullptr);
    EXPECT_EQ(Options.ViewerDialog, 0);
    EXPECT_EQ(KeyText("ViewerDialog"), "0");
}

// ---- the file is written whole, never half

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every key as OK writes it back unchanged, between lines that Ferrow does
// not know.
const char kFileWithStrangers[] =
    "; kept by hand\r\n"
    "[Plugins]\r\nsusie=C:\\プラグイン\r\n\r\n"
    "[OPTION]\r\n"
    "Hierarchical=0\r\nSameFileName=1\r\nSockets=7\r\n"
    "DLPath=C:\\ダウンロード\\画像\r\n"
    "InternalLinks=1\r\nHeadCheck=0\r\nThumbNail=1\r\nTimeOut=0\r\nTimeOutSec=25\r\n"
    "JPG=0\r\nHTM=1\r\nPNG=1\r\nGIF=0\r\nWAV=1\r\nLZH=0\r\nExtension=mp3 .zip\r\n"
    "Unknown=  as it was  \n;comment=1\r\n"
    "MinSizeCheck=1\r\nMaxSizeCheck=0\r\nMinSize=2048\r\nMaxSize=5000\r\n"
    "ClickHTML=0\r\nViewerDialog=1\r\nExternalIcon=1\r\nIEMenu=0\r\nURLSave=0\r\n"
    "ProxyFlag=0\r\nProxy=proxy.example\r\nProxyPort=8080\r\nHostSockets=4\r\nCookieFile=\r\n"
    "WEBP=1\r\nAVIF=1\r\nNoExtImages=1\r\nBrowserExtension=0\r\n\r\n"
    "[WINDOW]\r\nx=12\r\nFuture=1\r\n"
    "[Last]\r\nno line end";

TEST_F(SettingsDialogUi, OkKeepsWhatFerrowDoesNotKnowByteForByte) {
    LoadIni(kFileWithStrangers);
    Drive([&](const Pages& p) { Press(p.dialog, IDOK); });
    EXPECT_EQ(ReadWholeFile(IniPath), kFileWithStrangers);
    EXPECT_FALSE(FileExists(std::string(IniPath) + ".tmp"));

    // A changed key changes its own line only.
    Drive([&](const Pages& p) {
        TypeInto(p.save, IDC_SOCKETS, "4");
        Press(p.dialog, IDOK);
    });
    std::string expected = kFileWithStrangers;
    expected.replace(expected.find("Sockets=7"), 9, "Sockets=4");
    EXPECT_EQ(ReadWholeFile(IniPath), expected);
}

TEST_F(SettingsDialogUi, OkOnAReadOnlyFileLeavesItAndSaysSo) {
    LoadIni(kFileWithStrangers);
    ASSERT_TRUE(SetFileAttributesA(IniPath, FILE_ATTRIBUTE_READONLY));
    std::string text;
    Drive([&](const Pages& p) {
        TypeInto(p.save, IDC_SOCKETS, "4");
        text = PressOkExpectingBox(p.dialog);
    });
    EXPECT_NE(text.find("設定ファイルに書き込めないため、設定を保存できませんでした"),
              std::string::npos) << text;
    EXPECT_NE(text.find(IniPath), std::string::npos) << text;
    EXPECT_EQ(ReadWholeFile(IniPath), kFileWithStrangers);
    EXPECT_FALSE(FileExists(std::string(IniPath) + ".tmp"));
    EXPECT_EQ(Options.Sockets, 4) << "the options change for this run all the same";
}

// Another program holds the file open and shares nothing with anyone.
struct FileLock {
    HANDLE handle;
    explicit FileLock(const char* path)
        : handle(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~FileLock() { Release(); }
    void Release() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

TEST_F(SettingsDialogUi, OkOnALockedFileDoesNotTakeItForAMissingOne) {
    LoadIni(kFileWithStrangers);
    std::string text;
    {
        FileLock lock(IniPath);
        ASSERT_NE(lock.handle, INVALID_HANDLE_VALUE);
        Drive([&](const Pages& p) {
            TypeInto(p.save, IDC_SOCKETS, "4");
            text = PressOkExpectingBox(p.dialog);
        });
    }
    EXPECT_NE(text.find("設定ファイルを読み込めないため、設定を保存できませんでした"),
              std::string::npos) << text;
    EXPECT_EQ(ReadWholeFile(IniPath), kFileWithStrangers);
    EXPECT_EQ(Options.Sockets, 4);
}

TEST_F(SettingsDialogUi, OkOnAFileLockedAfterItWasReadLeavesIt) {
    LoadIni(kFileWithStrangers);
    FileLock* lock = nullptr;
    betweenReadAndWrite = [&] { lock = new FileLock(IniPath); };
    std::string text;
    Drive([&](const Pages& p) {
        TypeInto(p.save, IDC_SOCKETS, "4");
        text = PressOkExpectingBox(p.dialog);
    });
    ASSERT_NE(lock, nullptr) << "OK did not reach the browser entry";
    EXPECT_NE(lock->handle, INVALID_HANDLE_VALUE);
    delete lock;
    EXPECT_NE(text.find("設定ファイルに書き込めないため"), std::string::npos) << text;
    EXPECT_EQ(ReadWholeFile(IniPath), kFileWithStrangers);
    EXPECT_FALSE(FileExists(std::string(IniPath) + ".tmp"));
}

TEST_F(SettingsDialogUi, OkOnAFileThatVanishedAfterItWasReadWritesItWhole) {
    LoadIni(kFileWithStrangers);
    bool deleted = false;
    betweenReadAndWrite = [&] { deleted = DeleteFileA(IniPath) != 0; };
    Drive([&](const Pages& p) {
        TypeInto(p.save, IDC_SOCKETS, "4");
        Press(p.dialog, IDOK);
    });
    EXPECT_TRUE(deleted);
    std::string expected = kFileWithStrangers;
    expected.replace(expected.find("Sockets=7"), 9, "Sockets=4");
    EXPECT_EQ(ReadWholeFile(IniPath), expected);
}

}  // namespace
