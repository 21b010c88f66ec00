// The main window seen from outside: start-up, single instance, address
// hand-over, layout, splitters, log rules and exit.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <psapi.h>

#include <fstream>
#include <string>

#include "tests/ui/ferrow_app.h"

namespace {

const char kBanner[] = "Ferrow Version 1.20 - ページ解析ダウンローダ";
const char kWarning[] = "警告: レジストリ登録に失敗しました。";

// A small site: one page with a Japanese title and files of several types.
void WriteSite() {
    WriteSiteFile("index.html",
                  "<html><head><title>テストページ</title></head><body>"
                  "<a href=\"photo.jpg\">p</a><img src=\"anim.gif\"><img src=\"shot.png\">"
                  "<a href=\"sound.wav\">s</a><a href=\"next.html\">n</a></body></html>");
    WriteSiteFile("photo.jpg", std::string(1536, 'j'));
    WriteSiteFile("anim.gif", "GIF89a");
    WriteSiteFile("shot.png", std::string(999, 'p'));
    WriteSiteFile("sound.wav", "RIFF");
    WriteSiteFile("next.html", "<html><title>next</title></html>");
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { WriteSite(); }
};

TEST_F(MainWindowTest, AddressOnTheCommandLineIsAnalysedAtOnce) {
    const std::string address = ServerAddress("index.html");
    FerrowApp app;
    ASSERT_TRUE(app.Start(address));
    EXPECT_EQ(app.UrlText(), address);
    ASSERT_TRUE(app.WaitForLog("解析が終了しました")) << app.LogText();
    EXPECT_TRUE(app.LogHas("index.htmlを解析しました")) << app.LogText();
    EXPECT_EQ(app.Caption(), "テストページ - Ferrow");
    ASSERT_EQ(app.ListCount(), 5);
    EXPECT_EQ(app.ListText(0, 0), "photo.jpg");
    EXPECT_EQ(app.ListText(0, 3), ServerAddress("photo.jpg"));
    EXPECT_EQ(app.ListText(4, 0), "next.html");
}

TEST_F(MainWindowTest, EmptyCommandLineStartsNothingAndWarnsOfTheMissingLibrary) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    // No Ferrow.dll beside the program: the warning follows the banner, and the
    // very first line has no line break before it.
    EXPECT_EQ(app.LogText(), std::string(kBanner) + "\r\n" + kWarning);
    EXPECT_EQ(app.Caption(), "Ferrow");
    EXPECT_EQ(app.UrlText(), "");
    // Several engine ticks later nothing has been started.
    EXPECT_FALSE(WaitUntil([&] { return app.LogLines().size() > 2 || app.ListCount() > 0; }, 800));
}

TEST_F(MainWindowTest, SecondStartOnlyBringsTheFirstBack) {
    FerrowApp first;
    ASSERT_TRUE(first.Start());
    ShowWindow(first.main(), SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(first.main()) != FALSE; }, 5000));

    // The second program runs from its own folder but finds the mutex.
    FerrowApp second;
    ASSERT_TRUE(second.Start(ServerAddress("index.html"), FerrowApp::DefaultIni(), false));
    ASSERT_TRUE(second.WaitForEnd());
    DWORD code = 99;
    GetExitCodeProcess(second.process(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(first.main()); }, 5000));
    EXPECT_EQ(CountMainWindows(), 1);
    // Its command line is dropped.
    EXPECT_EQ(first.UrlText(), "");
    EXPECT_EQ(first.LogLines().size(), 2u);
}

TEST_F(MainWindowTest, CopyDataWhileMinimisedRestoresAndAnalyses) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    ShowWindow(app.main(), SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(app.main()) != FALSE; }, 5000));
    const std::string address = ServerAddress("index.html");
    app.CopyData(address.c_str(), (DWORD)address.size() + 1);
    EXPECT_FALSE(IsIconic(app.main()));
    EXPECT_EQ(app.UrlText(), address);
    EXPECT_TRUE(app.WaitForLog("index.htmlを解析しました")) << app.LogText();
}

TEST_F(MainWindowTest, CopyDataIsReadWithinItsLength) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    // No terminator inside the block: only the stated bytes are taken.
    const std::string address = ServerAddress("next.html");
    std::string block = address + "GARBAGE";
    app.CopyData(block.data(), (DWORD)address.size());
    EXPECT_EQ(app.UrlText(), address);
    // An address beyond 2048 characters is refused whole: a cut one would
    // name another page. The box keeps what it had.
    std::string huge = "http://127.0.0.1/" + std::string(2100, 'x');
    app.CopyData(huge.c_str(), (DWORD)huge.size() + 1);
    // (A log line holds 255 characters.)
    const std::string refused = "err:アドレスが長すぎます - \"";
    EXPECT_TRUE(app.WaitForLog((refused + huge).substr(0, 255))) << app.LogText();
    EXPECT_EQ(app.UrlText(), address);
    // Even past the room the program reads such a block into.
    std::string endless = "http://127.0.0.1/" + std::string(5000, 'y');
    app.CopyData(endless.c_str(), (DWORD)endless.size() + 1);
    EXPECT_TRUE(app.WaitForLog((refused + endless).substr(0, 255)));
    int refusals = 0;
    for (const std::string& line : app.LogLines()) refusals += line.rfind(refused, 0) == 0;
    EXPECT_EQ(refusals, 2);
    EXPECT_EQ(app.UrlText(), address);
}

// The manifest takes effect: the program runs with the side-by-side
// Common Controls 6, which draw with the system's visual styles.
TEST_F(MainWindowTest, RunsWithTheVersionSixCommonControls) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    HMODULE modules[512];
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(app.process(), modules, sizeof modules, &needed));
    std::string controls;
    for (DWORD i = 0; i < needed / sizeof modules[0] && i < 512; i++) {
        char path[MAX_PATH] = "";
        GetModuleFileNameExA(app.process(), modules[i], path, sizeof path);
        std::string lower(path);
        for (char& c : lower)
            c = (char)tolower((unsigned char)c);
        if (lower.size() >= 12 && lower.compare(lower.size() - 12, 12, "comctl32.dll") == 0)
            controls = lower;
    }
    ASSERT_FALSE(controls.empty()) << "no common controls loaded";
    EXPECT_NE(controls.find("\\winsxs\\"), std::string::npos) << controls;
    EXPECT_NE(controls.find("common-controls"), std::string::npos) << controls;
}

// A shortcut file dropped from the file manager, as the older WM_DROPFILES
// brings it: the block lies in the program's memory like the shell's would.
TEST_F(MainWindowTest, DroppedShortcutFileIsAnalysedAsIfTyped) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(GetWindowLongPtrA(app.main(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES)
        << "the main window does not take file drops";
    const std::string address = ServerAddress("index.html");
    const std::string shortcut = app.folder() + "\\サンプル.url";
    const std::string other = app.folder() + "\\notes.txt";
    std::ofstream(shortcut, std::ios::binary) << "[InternetShortcut]\r\nURL=" << address << "\r\n";
    std::ofstream(other, std::ios::binary) << "URL=http://127.0.0.1:1/never.html\r\n";

    // DROPFILES with two ANSI names: the text file, then the shortcut.
    std::string names = other + '\0' + shortcut + '\0' + '\0';
    DROPFILES header = {};
    header.pFiles = sizeof header;
    std::string block((const char*)&header, sizeof header);
    block += names;
    RemoteBuffer remote(app.process(), block.size());
    ASSERT_NE(remote.address(), nullptr);
    remote.Write(block.data(), block.size());
    ASSERT_TRUE(PostMessageA(app.main(), WM_DROPFILES, (WPARAM)remote.address(), 0));

    EXPECT_TRUE(WaitUntil([&] { return app.UrlText() == address; }, 10000)) << app.UrlText();
    ASSERT_TRUE(app.WaitForLog("index.htmlを解析しました")) << app.LogText();
    EXPECT_EQ(app.Caption(), "テストページ - Ferrow");
    EXPECT_EQ(app.ListCount(), 5);
}

struct Measures {
    int T, U, S;
};

Measures Measure(const FerrowApp& app) {
    RECT toolbar, status;
    GetClientRect(app.Child(103), &toolbar);
    GetClientRect(app.Child(101), &status);
    RECT box;
    SendMessageA(app.Child(102), CB_GETDROPPEDCONTROLRECT, 0, (LPARAM)&box);
    RECT closed;
    GetWindowRect(app.Child(102), &closed);
    return {toolbar.bottom, closed.bottom - closed.top, status.bottom};
}

void ExpectRect(const ClientRect& r, int x, int y, int width, int height, const char* what) {
    EXPECT_EQ(r.x, x) << what;
    EXPECT_EQ(r.y, y) << what;
    EXPECT_EQ(r.width, width) << what;
    EXPECT_EQ(r.height, height) << what;
}

TEST_F(MainWindowTest, ChildrenFollowTheLayoutForEveryClientSize) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    const int sizes[][2] = {{624, 441}, {800, 600}, {420, 300}};
    for (const auto& size : sizes) {
        app.ResizeClient(size[0], size[1]);
        RECT client;
        GetClientRect(app.main(), &client);
        const int W = client.right, H = client.bottom;
        ASSERT_EQ(W, size[0]);
        const Measures m = Measure(app);
        ASSERT_GT(m.T, 0);
        ASSERT_GT(m.U, 0);
        ASSERT_GT(m.S, 0);
        const int Y = (int)(H * 0.7f);
        ExpectRect(app.RectOf(app.ChildOfClass("VLineClass")), 0, Y, W, 3, "list/log bar");
        // The toolbar control keeps itself at least as wide as asked (it spans
        // the window); the logo lies above its right end.
        ClientRect toolbar = app.RectOf(app.Child(103));
        EXPECT_EQ(toolbar.x, 0);
        EXPECT_EQ(toolbar.y, 0);
        EXPECT_GE(toolbar.width, W - 50);
        HWND logo = app.ChildOfClass("LogoClass");
        ExpectRect(app.RectOf(logo), W - 26, 2, 26, 25, "engine window");
        EXPECT_EQ(ChildWindowFromPointEx(app.main(), {W - 13, 14}, CWP_SKIPINVISIBLE), logo);
        ClientRect box = app.RectOf(app.Child(102));
        EXPECT_EQ(box.x, 0);
        EXPECT_EQ(box.y, m.T + 1);
        EXPECT_EQ(box.width, W);
        ExpectRect(app.RectOf(app.Child(100)), 0, m.T + m.U, W, Y - m.T - m.U, "file list");
        ExpectRect(app.RectOf(app.Log()), 0, Y + 3, W, H - m.S - Y - 3, "log");
        ClientRect status = app.RectOf(app.Child(101));
        EXPECT_EQ(status.y, H - m.S);

        // Four parts, and the progress bar filling part 1.
        RemoteBuffer remote(app.process(), sizeof(RECT) + 4 * sizeof(int));
        ASSERT_EQ(SendMessageA(app.Child(101), SB_GETPARTS, 4, (LPARAM)remote.address()), 4);
        int edges[4];
        remote.Read(edges, sizeof edges);
        EXPECT_EQ(edges[0], W - 150);
        EXPECT_EQ(edges[1], W - 50);
        EXPECT_EQ(edges[2], W - 30);
        EXPECT_EQ(edges[3], W);
        SendMessageA(app.Child(101), SB_GETRECT, 1, (LPARAM)remote.address());
        RECT part;
        remote.Read(&part, sizeof part);
        HWND progress = GetDlgItem(app.Child(101), 105);
        ASSERT_TRUE(progress);
        RECT bar;
        GetWindowRect(progress, &bar);
        MapWindowPoints(nullptr, app.Child(101), (POINT*)&bar, 2);
        EXPECT_EQ(bar.left, part.left);
        EXPECT_EQ(bar.top, part.top);
        EXPECT_EQ(bar.right, part.right);
        EXPECT_EQ(bar.bottom, part.bottom);
    }
}

TEST_F(MainWindowTest, HiddenToolbarMovesTheUrlBoxUpAndTheLogoOutOfSight) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    const Measures m = Measure(app);
    app.Command(40008);
    EXPECT_EQ(app.Child(103), nullptr);
    EXPECT_EQ(app.RectOf(app.Child(102)).y, 1);
    EXPECT_EQ(app.RectOf(app.Child(100)).y, m.U);
    ClientRect hidden = app.RectOf(app.ChildOfClass("LogoClass"));
    EXPECT_EQ(hidden.width, 0);
    EXPECT_EQ(hidden.height, 0);
    EXPECT_GE(hidden.x, 10000);
    app.Command(40008);
    ASSERT_TRUE(app.Child(103));
    EXPECT_EQ(app.RectOf(app.Child(102)).y, m.T + 1);
    RECT client;
    GetClientRect(app.main(), &client);
    HWND logo = app.ChildOfClass("LogoClass");
    ExpectRect(app.RectOf(logo), client.right - 26, 2, 26, 25, "logo");
    // Still above the toolbar made afresh.
    EXPECT_EQ(ChildWindowFromPointEx(app.main(), {client.right - 13, 14}, CWP_SKIPINVISIBLE), logo);
}

TEST_F(MainWindowTest, MinimumTrackingSizeIs300By200) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    // The system carries this message's record across processes itself.
    MINMAXINFO info = {};
    EXPECT_EQ(SendMessageA(app.main(), WM_GETMINMAXINFO, 0, (LPARAM)&info), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
}

// Drags a bar with the real cursor: the bar reads the cursor position.
void Drag(HWND main, HWND bar, POINT fromClient, POINT toClient) {
    POINT from = fromClient, to = toClient;
    ClientToScreen(main, &from);
    ClientToScreen(main, &to);
    SetCursorPos(from.x, from.y);
    SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetCursorPos(to.x, to.y);
    SendMessageA(bar, WM_MOUSEMOVE, MK_LBUTTON, 0);
    SendMessageA(bar, WM_LBUTTONUP, 0, 0);
}

int ExpectedBarY(int releaseY, int H) {
    float ratio = (float)(releaseY - 1) / (float)H;
    return (int)(H * ratio);
}

TEST_F(MainWindowTest, ListLogBarKeepsItsLimitsAndStoresItsRatio) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    app.ResizeClient(600, 400);
    const Measures m = Measure(app);
    HWND bar = app.ChildOfClass("VLineClass");
    ASSERT_TRUE(bar);
    const int H = 400;
    const int startY = app.RectOf(bar).y + 1;

    Drag(app.main(), bar, {50, startY}, {50, 200});
    int y = app.RectOf(bar).y;
    EXPECT_EQ(y, ExpectedBarY(200, H));
    EXPECT_TRUE(y == 198 || y == 199) << y;

    Drag(app.main(), bar, {50, y + 1}, {50, 10}); // above the top limit
    EXPECT_EQ(app.RectOf(bar).y, ExpectedBarY(100, H));

    Drag(app.main(), bar, {50, 100}, {50, H + 40}); // below the bottom limit
    EXPECT_EQ(app.RectOf(bar).y, ExpectedBarY(H - m.S - 5, H));
    // The list and the log follow the bar.
    EXPECT_EQ(app.RectOf(app.Log()).y, app.RectOf(bar).y + 3);

    // The ratio holds when the window grows.
    app.ResizeClient(600, 500);
    EXPECT_EQ(app.RectOf(bar).y, (int)(500 * ((float)(H - m.S - 5 - 1) / (float)H)));

    // A release without a drag does nothing.
    const int before = app.RectOf(bar).y;
    SendMessageA(bar, WM_LBUTTONUP, 0, 0);
    SendMessageA(bar, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(app.RectOf(bar).y, before);
}

TEST_F(MainWindowTest, LogFirstLineClearAndCutRules) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    app.Command(40017); // clear the log
    EXPECT_EQ(app.LogText(), "");
    app.Command(40005); // stop: one line, after a line break
    EXPECT_EQ(app.LogText(), "\r\n中止しました");
    app.Command(40005);
    EXPECT_EQ(app.LogText(), "\r\n中止しました\r\n中止しました");

    // Lines in quick succession reach the pane together, in order, within a
    // moment and with no one reading the text (the line count reads nothing).
    app.Command(40017);
    std::string lines;
    for (int i = 0; i < 30; i++) {
        app.Command(40005);
        lines += "\r\n中止しました";
    }
    EXPECT_TRUE(
        WaitUntil([&] { return SendMessageA(app.Log(), EM_GETLINECOUNT, 0, 0) == 31; }, 2000));
    EXPECT_EQ(app.LogText(), lines);

    // A page that is not there: the error line with its long address is cut
    // at 255 characters.
    std::string address = ServerAddress(std::string(230, 'a') + ".html");
    app.CopyData(address.c_str(), (DWORD)address.size() + 1);
    std::string full = "err:HTTP 404 - \"" + address + "\"";
    ASSERT_GT(full.size(), 255u);
    ASSERT_TRUE(app.WaitForLog(full.substr(0, 255))) << app.LogText();
    for (const std::string& line : app.LogLines())
        EXPECT_LE(line.size(), 255u);
}

TEST_F(MainWindowTest, ExitEndsWithCodeZeroAndReleasesTheMutex) {
    {
        FerrowApp app;
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(app.Exit(40006), 0);
    }
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "FerrowMutex");
    EXPECT_EQ(mutex, nullptr);
    if (mutex) CloseHandle(mutex);
    // Closing the window ends it the same way, and a new start works at once.
    FerrowApp again;
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Exit(WM_CLOSE), 0);
}

} // namespace
