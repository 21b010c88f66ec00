// The about box and the help command, driven from a second thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "settings/help_about_win.h"
#include "settings/options.h"
#include "settings/settings_ids.h"
#include "tests/settings_ui/ui_driver.h"
#include "tests/support/temp_folder.h"

namespace {

HWND MakeOwner() {
    return CreateWindowExA(0, "STATIC", "Ferrow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 600,
                           400, nullptr, nullptr, nullptr, nullptr);
}

struct AboutSeen {
    std::string caption, name, version, link;
    HFONT font = nullptr;
};

// Opens the about box, reads what it shows, runs more, and closes it with
// the close box.
AboutSeen OpenAbout(HWND owner, const std::function<void(HWND)>& more = nullptr) {
    AboutSeen seen;
    RunWithDriver([&] { ShowAbout(owner); },
                  [&](DWORD thread) {
                      HWND box = WaitForDialog(thread, IDC_ABOUT_LINK);
                      ASSERT_NE(box, nullptr) << "the about box did not open";
                      seen.caption = TextOf(box);
                      seen.name = ItemText(box, IDC_ABOUT_NAME);
                      seen.version = ItemText(box, IDC_ABOUT_VERSION);
                      seen.link = ItemText(box, IDC_ABOUT_LINK);
                      seen.font = (HFONT)SendDlgItemMessageA(box, IDC_ABOUT_LINK, WM_GETFONT, 0, 0);
                      if (more) more(box);
                      PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
                      EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "close box ignored";
                  });
    return seen;
}

TEST(AboutBox, ShowsNameVersionAndLinkTheSameEachTime) {
    HWND owner = MakeOwner();
    AboutSeen first = OpenAbout(owner);
    EXPECT_EQ(first.caption, "バージョン情報");
    EXPECT_EQ(first.name, "Ferrow");
    EXPECT_EQ(first.version, "Ver 1.20");
    EXPECT_EQ(first.link, "Ferrow ヘルプ") << "the link leads to the manual";
    // The link font exists only while the box is open.
    ASSERT_NE(first.font, nullptr);
    EXPECT_EQ(GetObjectType(first.font), 0u) << "link font not deleted";
    AboutSeen second = OpenAbout(owner);
    EXPECT_EQ(second.caption, first.caption);
    EXPECT_EQ(second.name, first.name);
    EXPECT_EQ(second.version, first.version);
    EXPECT_EQ(second.link, first.link);
    DestroyWindow(owner);
}

TEST(AboutBox, LinkIsBlueUnderlinedBoldWithItsCursor) {
    HWND owner = MakeOwner();
    OpenAbout(owner, [](HWND box) {
        HWND link = GetDlgItem(box, IDC_ABOUT_LINK);
        HFONT font = (HFONT)SendMessageA(link, WM_GETFONT, 0, 0);
        LOGFONTA f = {};
        ASSERT_EQ(GetObjectA(font, sizeof f, &f), (int)sizeof f);
        EXPECT_STREQ(f.lfFaceName, "Times New Roman");
        EXPECT_EQ(f.lfHeight, 15);
        EXPECT_EQ(f.lfWeight, 700);
        EXPECT_TRUE(f.lfUnderline);
        EXPECT_FALSE(f.lfItalic);

        // Ask the box for the link's colours on a device context of ours.
        HDC dc = CreateCompatibleDC(nullptr);
        LRESULT brush = SendMessageA(box, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)link);
        EXPECT_EQ((HGDIOBJ)brush, GetStockObject(HOLLOW_BRUSH));
        EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), (HGDIOBJ)font);
        // Other labels keep the standard colours.
        HDC other = CreateCompatibleDC(nullptr);
        SendMessageA(box, WM_CTLCOLORSTATIC, (WPARAM)other, (LPARAM)GetDlgItem(box, IDC_ABOUT_NAME));
        EXPECT_NE(GetTextColor(other), RGB(0, 0, 255));
        DeleteDC(other);
        DeleteDC(dc);

        // The link sets the cursor itself; elsewhere the box leaves it alone.
        EXPECT_EQ(SendMessageA(box, WM_SETCURSOR, (WPARAM)link, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
        EXPECT_EQ(GetWindowLongPtrA(box, DWLP_MSGRESULT), TRUE);
        EXPECT_EQ(SendMessageA(box, WM_SETCURSOR, (WPARAM)GetDlgItem(box, IDOK),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                  FALSE);

        // Escape (the cancel command) leaves the box open.
        SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(IsWindowVisible(box));
    });
    DestroyWindow(owner);
}

TEST(AboutBox, OkCloses) {
    HWND owner = MakeOwner();
    RunWithDriver([&] { ShowAbout(owner); },
                  [&](DWORD thread) {
                      HWND box = WaitForDialog(thread, IDC_ABOUT_LINK);
                      ASSERT_NE(box, nullptr);
                      PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                      EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
                  });
    DestroyWindow(owner);
}

// The link's click is tested with a stand-in help viewer (help_request_test.cpp).

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*(int*)count;
    return TRUE;
}

// Top-level windows of this thread, visible or not.
int CountThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, (LPARAM)&count);
    return count;
}

TEST(Help, WithoutHelpFileReturnsAndTheProgramGoesOn) {
    TempFolder dir;
    FormProgramPaths(dir.File("Ferrow.exe").c_str());
    // Whatever the viewer shows about the missing file is closed by the driver.
    RunWithDriver(
        [&] {
            ShowHelp();
            ShowHelp();
        },
        [&](DWORD thread) {});
    HWND owner = MakeOwner();
    AboutSeen after = OpenAbout(owner);  // still answering
    EXPECT_EQ(after.name, "Ferrow");
    DestroyWindow(owner);
}

// Run with the HTML Help library unavailable, as its own test entry (see
// tests.cmake): the emulator takes the override only from the environment
// a process starts with. The default entry leaves it out; run anywhere else
// it fails rather than pass unseen.
TEST(Help, WithoutViewerDoesNothing) {
    const char* overrides = getenv("WINEDLLOVERRIDES");
    ASSERT_TRUE(overrides && strstr(overrides, "hhctrl.ocx="))
        << "needs the HTML Help library switched off (WINEDLLOVERRIDES hhctrl.ocx=)";
    TempFolder dir;
    FormProgramPaths(dir.File("Ferrow.exe").c_str());
    int before = CountThreadWindows();
    ShowHelp();
    ShowHelp();
    EXPECT_EQ(CountThreadWindows(), before);
}

}  // namespace
