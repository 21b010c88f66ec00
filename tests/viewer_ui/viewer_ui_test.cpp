// The viewer seen from outside: a JPEG row clicked in the file list is
// fetched from the page server, decoded by jpeg.spi and drawn scaled into
// the docked pane or the separate window; its pixels are read back from the
// screen and compared with the picture as djpeg decodes it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "tests/ui/ferrow_app.h"
#include "tests/viewer_ui/pixels.h"

namespace {


void PublishSite() {
    for (const char* name : {"wide.jpg", "tall.jpg", "small.jpg", "large.jpg"})
        CopyFileA(Fixture(name).c_str(), (SiteFolder() + "\\" + name).c_str(), FALSE);
    WriteSiteFile("index.html",
                  "<html><head><title>pictures</title></head><body>"
                  "<a href=\"wide.jpg\">w</a><a href=\"tall.jpg\">t</a>"
                  "<a href=\"small.jpg\">s</a><a href=\"large.jpg\">l</a></body></html>");
    // hold.jpg is claimed by the blocking plug-in only (jpeg.spi finds no
    // JPEG in it), whose decode then lasts until the test releases it.
    WriteSiteFile("hold.jpg", "BLOCK" + std::string(3000, 'x'));
    WriteSiteFile("hold.html",
                  "<html><head><title>held</title></head><body>"
                  "<a href=\"wide.jpg\">w</a><a href=\"hold.jpg\">h</a></body></html>");
}

// The blocking plug-in's three named events: it sets Entered when its
// decode begins and Returning just before the decode returns, and waits for
// Release in between.
struct BlockingPlugin {
    HANDLE entered = CreateEventA(nullptr, FALSE, FALSE, "FerrowBlockingPlugin.Entered");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "FerrowBlockingPlugin.Release");
    HANDLE returning = CreateEventA(nullptr, TRUE, FALSE, "FerrowBlockingPlugin.Returning");
    ~BlockingPlugin() {
        SetEvent(release);  // whatever the test left blocked ends now
        for (HANDLE h : {entered, release, returning}) CloseHandle(h);
    }
    // Puts the plug-in beside the program, which loads it when the viewer opens.
    static bool InstallInto(const std::string& folder) {
        const char* spi = getenv("FERROW_BLOCKING_SPI");
        return spi && CopyFileA(spi, (folder + "\\blocking.spi").c_str(), FALSE);
    }
    bool WaitEntered() { return WaitForSingleObject(entered, 15000) == WAIT_OBJECT_0; }
    bool Returned(DWORD waitMs = 0) { return WaitForSingleObject(returning, waitMs) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release); }
};

std::string Ini(int viewerDialog, const std::string& window = "") {
    return "[OPTION]\r\nHeadCheck=0\r\nJPG=1\r\nHTM=1\r\nViewerDialog=" +
           std::to_string(viewerDialog) + "\r\n[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n" + window;
}

// The separate viewer: a top-level window of the program's process.
HWND FloatingViewer(const FerrowApp& app) {
    return FindVisibleWindowOf(GetProcessId(app.process()), "ViewerClass");
}

class ViewerTest : public ::testing::Test {
protected:
    FerrowApp app;
    void SetUp() override { PublishSite(); }

    // Starts on the page with the viewer closed, puts jpeg.spi beside the
    // program (the viewer loads it when it opens) and waits for the rows.
    void StartOnPage(int viewerDialog, const std::string& window = "",
                     const std::string& page = "index.html", int rows = 4) {
        ASSERT_TRUE(app.Start(ServerAddress(page), Ini(viewerDialog, window)));
        const char* spi = getenv("FERROW_VIEWER_SPI");
        ASSERT_TRUE(spi && CopyFileA(spi, (app.folder() + "\\jpeg.spi").c_str(), FALSE))
            << "jpeg.spi is needed beside Ferrow.exe";
        ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == rows; })) << app.LogText();
    }

    // The program's own answer to a question asked now: the number of rows
    // its file list holds, asked with a time-out.
    bool Answers() {
        DWORD_PTR rows = 0;
        return SendMessageTimeoutA(app.Child(100), LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                   &rows) != 0 &&
               (int)rows == app.ListCount();
    }

    void ClickRow(const std::string& name) {
        EXPECT_TRUE(app.ClickRowNamed(name)) << "row " << name << " could not be clicked";
    }

    // Waits until the viewer shows the reference picture scaled to fit its
    // client area and checks its colours block by block.
    void ExpectShows(HWND viewer, const char* name, int blockSize) {
        const Picture reference = ReadPpm(Fixture(std::string(name) + ".decoded.ppm"));
        ASSERT_FALSE(reference.Empty()) << name;
        RECT client;
        GetClientRect(viewer, &client);
        // Never enlarged; the aspect kept; cut to whichever side is short.
        int wantW = reference.width, wantH = reference.height;
        if (wantW > client.right) {
            wantH = wantH * client.right / wantW;
            wantW = client.right;
        }
        if (wantH > client.bottom) {
            wantW = wantW * client.bottom / wantH;
            wantH = client.bottom;
        }
        Picture shown;
        int drawnW = 0, drawnH = 0;
        int misses = -1;
        std::string first;
        const bool matched = WaitUntil([&] {
            shown = CaptureClient(viewer);
            DrawnExtent(shown, &drawnW, &drawnH);
            if (abs(drawnW - wantW) > 1 || abs(drawnH - wantH) > 1) return false;
            misses = CompareBlocks(shown, reference, drawnW, drawnH, blockSize, 40, &first);
            return misses == 0;
        });
        EXPECT_TRUE(matched) << name << " in " << client.right << "x" << client.bottom
                             << ": drawn " << drawnW << "x" << drawnH << ", expected " << wantW
                             << "x" << wantH << "; " << misses << " blocks differ (" << first
                             << ")";
        if (!matched) {
            const std::string saved = app.folder() + "\\shown-" + name + ".ppm";
            WritePpm(shown, saved);
            ADD_FAILURE() << "what the viewer showed: " << saved;
        }
        // Beyond the picture the client area is white.
        if (matched && drawnW + 8 < shown.width) {
            EXPECT_TRUE(IsWhite(shown.At(drawnW + 1, 2)));
        }
        if (matched && drawnH + 2 < shown.height) {
            EXPECT_TRUE(IsWhite(shown.At(2, drawnH + 1)));
        }
    }
};

TEST_F(ViewerTest, DockedViewerShowsTheClickedJpegScaledToFit) {
    StartOnPage(0);
    app.ResizeClient(900, 700);
    app.Command(kViewerCommand);
    HWND viewer = app.Child(kViewerId);
    ASSERT_NE(viewer, nullptr);
    ClickRow("wide.jpg");
    ExpectShows(viewer, "wide", 40);
    ClickRow("small.jpg");  // smaller than the pane: its own size, top-left
    ExpectShows(viewer, "small", 16);
    ClickRow("tall.jpg");
    ExpectShows(viewer, "tall", 50);
}

TEST_F(ViewerTest, OfTwoImagesInQuickSuccessionTheSecondStays) {
    StartOnPage(0);
    app.ResizeClient(900, 700);
    app.Command(kViewerCommand);
    HWND viewer = app.Child(kViewerId);
    ASSERT_NE(viewer, nullptr);
    ClickRow("wide.jpg");
    ClickRow("tall.jpg");
    ExpectShows(viewer, "tall", 50);
    // The program is still whole and answers a question asked after the
    // clicks: the viewer command closes the viewer.
    app.Command(kViewerCommand);
    EXPECT_EQ(app.Child(kViewerId), nullptr);
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), (DWORD)WAIT_TIMEOUT) << "the program ended";
}

TEST_F(ViewerTest, FloatingViewerOpensAtItsRectangleAndShowsTheClickedJpeg) {
    StartOnPage(1, "viewer_x=120\r\nviewer_y=90\r\nViewerWidth=330\r\nViewerHeight=290\r\n");
    app.Command(kViewerCommand);
    HWND viewer = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (viewer = FloatingViewer(app)) != nullptr; }));
    RECT r;
    GetWindowRect(viewer, &r);
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 90);
    EXPECT_EQ(r.right - r.left, 330);
    EXPECT_EQ(r.bottom - r.top, 290);
    EXPECT_EQ(WindowText(viewer), "ビューアー");
    EXPECT_EQ(GetWindow(viewer, GW_OWNER), app.main());
    EXPECT_EQ(app.Child(kViewerId), nullptr);  // nothing docked
    ClickRow("wide.jpg");
    ExpectShows(viewer, "wide", 40);
}

TEST_F(ViewerTest, ClosingTheFloatingViewerReleasesItsCommandAndKeepsItsRectangle) {
    StartOnPage(1, "viewer_x=100\r\nviewer_y=100\r\nViewerWidth=300\r\nViewerHeight=250\r\n");
    HWND toolbar = app.Child(103);
    app.Command(kViewerCommand);
    HWND viewer = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (viewer = FloatingViewer(app)) != nullptr; }));
    EXPECT_TRUE(SendMessageA(toolbar, TB_GETSTATE, kViewerCommand, 0) & TBSTATE_CHECKED);
    SetWindowPos(viewer, nullptr, 160, 130, 340, 270, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(viewer, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }));
    const LRESULT state = SendMessageA(toolbar, TB_GETSTATE, kViewerCommand, 0);
    EXPECT_EQ(state & (TBSTATE_CHECKED | TBSTATE_ENABLED), TBSTATE_ENABLED);

    // The command opens it again where it was left.
    app.Command(kViewerCommand);
    ASSERT_TRUE(WaitUntil([&] { return (viewer = FloatingViewer(app)) != nullptr; }));
    RECT r;
    GetWindowRect(viewer, &r);
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.top, 130);
    EXPECT_EQ(r.right - r.left, 340);
    EXPECT_EQ(r.bottom - r.top, 270);
    EXPECT_TRUE(SendMessageA(toolbar, TB_GETSTATE, kViewerCommand, 0) & TBSTATE_CHECKED);
    ClickRow("small.jpg");
    ExpectShows(viewer, "small", 16);

    // Closed with its close box again, the menu item is saved unchecked.
    SendMessageA(viewer, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }));
    ASSERT_EQ(app.Exit(), 0);
    const std::string ini = app.folder() + "\\Ferrow.ini";
    EXPECT_EQ(GetPrivateProfileIntA("WINDOW", "viewer", -1, ini.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileIntA("WINDOW", "viewer_x", -1, ini.c_str()), 160);
    EXPECT_EQ(GetPrivateProfileIntA("WINDOW", "ViewerHeight", -1, ini.c_str()), 270);
}

// Closing in the middle of a decode, and reopening at once, many times: the
// worker must be gone before its plug-ins are unloaded and before the next
// one starts. The program has to stay alive and still show pictures
// afterwards.
TEST_F(ViewerTest, ClosingAndReopeningDuringDecodesKeepsTheProgramWhole) {
    BlockingPlugin plugin;
    WriteSiteFile("index.html",
                  "<html><body><a href=\"wide.jpg\">w</a><a href=\"tall.jpg\">t</a>"
                  "<a href=\"hold.jpg\">h</a><a href=\"large.jpg\">l</a></body></html>");
    StartOnPage(0);
    ASSERT_TRUE(BlockingPlugin::InstallInto(app.folder())) << "blocking.spi is needed";
    app.ResizeClient(900, 700);
    // First a close that certainly falls into a decode: the blocking plug-in
    // has begun it and is released only once the close has been asked for.
    app.Command(kViewerCommand);
    ASSERT_NE(app.Child(kViewerId), nullptr);
    ClickRow("hold.jpg");
    ASSERT_TRUE(plugin.WaitEntered()) << "the decode did not begin";
    PostMessageA(app.main(), WM_COMMAND, MAKEWPARAM(kViewerCommand, 0), 0);
    plugin.Release();
    EXPECT_TRUE(plugin.Returned(15000));
    EXPECT_TRUE(WaitUntil([&] { return app.Child(kViewerId) == nullptr; }));
    // Then closes at once, while the fetch may still run and its buffer
    // reaches no viewer or the next one, or a decode of the large picture.
    for (int round = 0; round < 6; round++) {
        app.Command(kViewerCommand);
        ASSERT_NE(app.Child(kViewerId), nullptr) << round;
        ClickRow("large.jpg");
        app.Command(kViewerCommand);
        ASSERT_EQ(app.Child(kViewerId), nullptr) << round;
    }
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), (DWORD)WAIT_TIMEOUT) << "the program ended";
    app.Command(kViewerCommand);
    HWND viewer = app.Child(kViewerId);
    ASSERT_NE(viewer, nullptr);
    ClickRow("wide.jpg");
    ExpectShows(viewer, "wide", 40);
    EXPECT_EQ(app.Exit(), 0);
}

// ---- a plug-in that does not return

// Closing the viewer waits for a decode a bounded time only: with the
// plug-in still blocked the command returns, the program goes on showing
// pictures through a new viewer, and the plug-in, released later, returns
// into a module that was never unloaded under it.
TEST_F(ViewerTest, ClosingDuringABlockedDecodeReturnsAndTheProgramGoesOn) {
    BlockingPlugin plugin;
    StartOnPage(0, "", "hold.html", 2);
    ASSERT_TRUE(BlockingPlugin::InstallInto(app.folder())) << "blocking.spi is needed";
    app.ResizeClient(900, 700);
    app.Command(kViewerCommand);
    ASSERT_NE(app.Child(kViewerId), nullptr);
    ClickRow("hold.jpg");
    ASSERT_TRUE(plugin.WaitEntered()) << "the decode did not begin";

    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutA(app.main(), WM_COMMAND, MAKEWPARAM(kViewerCommand, 0), 0,
                                  SMTO_NORMAL, 30000, &result),
              0)
        << "closing the viewer waited for the blocked plug-in";
    EXPECT_EQ(app.Child(kViewerId), nullptr);
    EXPECT_FALSE(plugin.Returned()) << "the plug-in was not blocked during the close";

    app.Command(kViewerCommand);
    HWND viewer = app.Child(kViewerId);
    ASSERT_NE(viewer, nullptr);
    ClickRow("wide.jpg");
    ExpectShows(viewer, "wide", 40);
    EXPECT_FALSE(plugin.Returned());

    plugin.Release();
    EXPECT_TRUE(plugin.Returned(15000));
    EXPECT_TRUE(Answers()) << "the program did not survive the plug-in's return";
    EXPECT_EQ(app.Exit(), 0);
}

// Exit during a decode that does not end: the program ends all the same.
TEST_F(ViewerTest, ExitDuringABlockedDecodeEnds) {
    BlockingPlugin plugin;
    // The separate viewer beside the main window, clear of the list's rows.
    StartOnPage(1, "viewer_x=700\r\nviewer_y=300\r\nViewerWidth=300\r\nViewerHeight=250\r\n",
                "hold.html", 2);
    ASSERT_TRUE(BlockingPlugin::InstallInto(app.folder())) << "blocking.spi is needed";
    app.Command(kViewerCommand);
    ASSERT_TRUE(WaitUntil([&] { return FloatingViewer(app) != nullptr; }));
    ClickRow("hold.jpg");
    ASSERT_TRUE(plugin.WaitEntered()) << "the decode did not begin";
    EXPECT_EQ(app.Exit(), 0) << "the program did not end with the plug-in blocked";
    EXPECT_FALSE(plugin.Returned());
    const std::string ini = app.folder() + "\\Ferrow.ini";
    EXPECT_EQ(GetPrivateProfileIntA("WINDOW", "viewer", -1, ini.c_str()), 1)
        << "the layout was not saved at exit";
}

}  // namespace
