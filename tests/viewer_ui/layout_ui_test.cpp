// Window layout across runs of Ferrow.exe: what section WINDOW of its
// Ferrow.ini restores, and what the program writes back when it exits.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/ui/ferrow_app.h"

namespace {

struct Box {
    int left, top, width, height;
};

Box WindowBoxOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

int ColumnWidth(const FerrowApp& app, int column) {
    return (int)SendMessageA(app.Child(100), LVM_GETCOLUMNWIDTH, column, 0);
}

LONG_PTR ListViewType(const FerrowApp& app) {
    return GetWindowLongPtrA(app.Child(100), GWL_STYLE) & LVS_TYPEMASK;
}

// Read as wide text: the system carries CB_GETLBTEXT's buffer between the
// processes itself, and Wine hands the ANSI form back unconverted.
std::vector<std::string> History(const FerrowApp& app) {
    std::vector<std::string> entries;
    HWND box = app.Child(102);
    const int count = (int)SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        std::vector<wchar_t> wide(2048, L'\0');
        SendMessageW(box, CB_GETLBTEXT, i, (LPARAM)wide.data());
        wide.back() = L'\0';
        char text[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text, nullptr, nullptr);
        entries.push_back(text);
    }
    return entries;
}

std::string Saved(const FerrowApp& app, const char* key) {
    char text[512];
    GetPrivateProfileStringA("WINDOW", key, "<missing>", text, sizeof text,
                             (app.folder() + "\\Ferrow.ini").c_str());
    return text;
}

std::string SavedFile(const FerrowApp& app) {
    HANDLE file = CreateFileA((app.folder() + "\\Ferrow.ini").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE) return text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

// The y of the list/log bar and the x of the log/viewer bar in the client.
int ListBarY(const FerrowApp& app) {
    return app.RectOf(app.ChildOfClass("VLineClass")).y;
}

int ClientHeight(const FerrowApp& app) {
    RECT r;
    GetClientRect(app.main(), &r);
    return r.bottom;
}

int ClientWidth(const FerrowApp& app) {
    RECT r;
    GetClientRect(app.main(), &r);
    return r.right;
}

const char kFirstRunOptions[] = "[OPTION]\r\nHeadCheck=0\r\n";

TEST(LayoutUi, FirstRunWithoutTheSectionKeepsTheCreationLayout) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("", kFirstRunOptions));
    Box b = WindowBoxOf(app.main());
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.top, 0);
    EXPECT_EQ(b.width, 640);
    EXPECT_EQ(b.height, 480);
    EXPECT_EQ(ColumnWidth(app, 0), 100);
    EXPECT_EQ(ColumnWidth(app, 1), 50);
    EXPECT_EQ(ColumnWidth(app, 2), 120);
    EXPECT_EQ(ColumnWidth(app, 3), 330);
    EXPECT_EQ(ListViewType(app), LVS_REPORT);
    EXPECT_NE(app.Child(103), nullptr);  // toolbar
    EXPECT_NE(app.Child(106), nullptr);  // the viewer opens, docked
    EXPECT_NE(app.ChildOfClass("HLineClass"), nullptr);
    EXPECT_EQ(ListBarY(app), (int)(ClientHeight(app) * 0.7f));
    EXPECT_TRUE(History(app).empty());

    ASSERT_EQ(app.Exit(), 0);
    EXPECT_EQ(Saved(app, "x"), "0");
    EXPECT_EQ(Saved(app, "width"), "640");
    EXPECT_EQ(Saved(app, "height"), "480");
    EXPECT_EQ(Saved(app, "FramePosition"), "0.700000");
    EXPECT_EQ(Saved(app, "ViewerFramePosition"), "0.300000");
    EXPECT_EQ(Saved(app, "URL0"), "");
    EXPECT_EQ(Saved(app, "LV_Style"), "0");
    EXPECT_EQ(Saved(app, "LV_URLWidth"), "330");
    EXPECT_EQ(Saved(app, "TollBar"), "1");
    EXPECT_EQ(Saved(app, "viewer"), "1");
    EXPECT_EQ(Saved(app, "ViewerWidth"), "250");
}

TEST(LayoutUi, LayoutSurvivesTwoRuns) {
    const std::string first =
        "[OPTION]\r\nHeadCheck=0\r\nURLSave=1\r\nViewerDialog=0\r\n[WINDOW]\r\n"
        "x=60\r\ny=40\r\nwidth=700\r\nheight=520\r\nFramePosition=0.6\r\n"
        "ViewerFramePosition=0.4\r\nURL0=http://one.example/\r\nURL1=http://two.example/a.html\r\n"
        "URL2=http://three.example/\r\nLV_Style=0\r\nLV_FilenameWidth=140\r\nLV_SizeWidth=70\r\n"
        "LV_DateWidth=110\r\nLV_URLWidth=260\r\nTollBar=0\r\nviewer=1\r\n";
    std::string saved;
    {
        FerrowApp app;
        ASSERT_TRUE(app.Start("", first));
        Box b = WindowBoxOf(app.main());
        EXPECT_EQ(b.left, 60);
        EXPECT_EQ(b.top, 40);
        EXPECT_EQ(b.width, 700);
        EXPECT_EQ(b.height, 520);
        EXPECT_EQ(ColumnWidth(app, 0), 140);
        EXPECT_EQ(ColumnWidth(app, 3), 260);
        EXPECT_EQ(app.Child(103), nullptr);
        ASSERT_NE(app.Child(106), nullptr);
        EXPECT_EQ(ListBarY(app), (int)(ClientHeight(app) * 0.6f));
        EXPECT_EQ(app.RectOf(app.ChildOfClass("HLineClass")).x,
                  ClientWidth(app) - (int)(ClientWidth(app) * 0.4f));
        EXPECT_EQ(History(app), (std::vector<std::string>{"http://one.example/",
                                                          "http://two.example/a.html",
                                                          "http://three.example/"}));
        EXPECT_EQ(app.UrlText(), "");

        SetWindowPos(app.main(), nullptr, 90, 70, 720, 540, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(app.Child(100), LVM_SETCOLUMNWIDTH, 0, 155);
        ASSERT_EQ(app.Exit(), 0);
        EXPECT_EQ(Saved(app, "x"), "90");
        EXPECT_EQ(Saved(app, "y"), "70");
        EXPECT_EQ(Saved(app, "width"), "720");
        EXPECT_EQ(Saved(app, "height"), "540");
        EXPECT_EQ(Saved(app, "FramePosition"), "0.600000");
        EXPECT_EQ(Saved(app, "ViewerFramePosition"), "0.400000");
        EXPECT_EQ(Saved(app, "URL1"), "http://two.example/a.html");
        EXPECT_EQ(Saved(app, "URL3"), "");
        EXPECT_EQ(Saved(app, "LV_FilenameWidth"), "155");
        EXPECT_EQ(Saved(app, "TollBar"), "0");
        EXPECT_EQ(Saved(app, "viewer"), "1");
        saved = SavedFile(app);
    }
    FerrowApp again;
    ASSERT_TRUE(again.Start("", saved));
    Box b = WindowBoxOf(again.main());
    EXPECT_EQ(b.left, 90);
    EXPECT_EQ(b.top, 70);
    EXPECT_EQ(b.width, 720);
    EXPECT_EQ(b.height, 540);
    EXPECT_EQ(ColumnWidth(again, 0), 155);
    EXPECT_EQ(ColumnWidth(again, 1), 70);
    EXPECT_EQ(again.Child(103), nullptr);
    EXPECT_NE(again.Child(106), nullptr);
    EXPECT_EQ(ListBarY(again), (int)(ClientHeight(again) * 0.6f));
    EXPECT_EQ(History(again).size(), 3u);
}

TEST(LayoutUi, OffScreenValuesAreClampedAndListViewKeepsOlderWidths) {
    const std::string ini =
        "[OPTION]\r\nHeadCheck=0\r\nURLSave=0\r\n[WINDOW]\r\nx=-500\r\ny=30\r\nwidth=100\r\n"
        "height=400\r\nFramePosition=0.05\r\nURL0=http://kept.example/\r\nLV_Style=1\r\n"
        "LV_FilenameWidth=210\r\nviewer=0\r\n";
    FerrowApp app;
    ASSERT_TRUE(app.Start("", ini));
    Box b = WindowBoxOf(app.main());
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.top, 30);
    EXPECT_EQ(b.width, 300);
    EXPECT_EQ(b.height, 400);
    EXPECT_EQ(ListBarY(app), (int)(ClientHeight(app) * 0.1f));
    EXPECT_EQ(ListViewType(app), LVS_LIST);
    EXPECT_EQ(app.Child(106), nullptr);
    EXPECT_EQ(History(app).size(), 1u);  // loaded; URLSave only decides the saving
    ASSERT_EQ(app.Exit(), 0);
    EXPECT_EQ(Saved(app, "LV_Style"), "1");
    EXPECT_EQ(Saved(app, "LV_FilenameWidth"), "210");
    EXPECT_EQ(Saved(app, "LV_SizeWidth"), "<missing>");
    EXPECT_EQ(Saved(app, "URL0"), "");
    EXPECT_EQ(Saved(app, "viewer"), "0");
    EXPECT_EQ(Saved(app, "FramePosition"), "0.100000");
}

// At exit the layout is saved into the file as it is then. A file another
// program holds locked is not taken for a missing one: it is left as it was,
// a message box says so, and the program still ends once it is closed.
TEST(LayoutUi, ALockedFileAtExitIsLeftAsItWasAndTheUserIsTold) {
    FerrowApp app;
    const std::string ini = FerrowApp::DefaultIni() + "x=40\r\n[Mine]\r\nkeep=1\r\n";
    ASSERT_TRUE(app.Start("", ini));
    const std::string path = app.folder() + "\\Ferrow.ini";
    const std::string before = FileBytes(path);
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    PostMessageA(app.main(), WM_COMMAND, MAKEWPARAM(40006, 0), 0);
    HWND box = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        return (box = FindVisibleWindowOf(GetProcessId(app.process()), "#32770")) != nullptr;
    })) << "no message box at exit";
    std::string text;
    if (box) {
        text = WindowText(GetDlgItem(box, 0xFFFF));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    EXPECT_TRUE(app.WaitForEnd()) << "the program did not end";
    CloseHandle(lock);
    EXPECT_EQ(text.rfind("設定ファイルを読み込めないため、設定を保存できませんでした", 0), 0u)
        << text;
    EXPECT_EQ(FileBytes(path), before);
}

}  // namespace
