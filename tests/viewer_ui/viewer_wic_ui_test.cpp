// The viewer with wic.spi beside jpeg.spi: PNG, GIF and BMP rows clicked in
// the file list are shown like JPEG ones, read back from the screen and
// compared with the picture convert wrote them from.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "tests/ui/ferrow_app.h"
#include "tests/viewer_ui/pixels.h"

namespace {

class WicViewerTest : public ::testing::Test {
  protected:
    FerrowApp app;

    void SetUp() override {
        for (const char* name : {"badge.png", "badge.gif", "badge.bmp", "small.jpg"})
            CopyFileA(Fixture(name).c_str(), (SiteFolder() + "\\" + name).c_str(), FALSE);
        WriteSiteFile(
            "index.html",
            "<html><head><title>web pictures</title></head><body>"
            "<a href=\"badge.png\">p</a><img src=\"badge.gif\"><a href=\"badge.bmp\">b</a>"
            "<a href=\"small.jpg\">j</a></body></html>");
        const std::string ini = "[OPTION]\r\nHeadCheck=0\r\nJPG=1\r\nPNG=1\r\nGIF=1\r\nHTM=1\r\n"
                                "Extension=bmp\r\nViewerDialog=0\r\n[WINDOW]\r\nviewer=0\r\n";
        ASSERT_TRUE(app.Start(ServerAddress("index.html"), ini));
        // Both plug-ins beside the program; the viewer loads them when it opens.
        for (const char* variable : {"FERROW_VIEWER_SPI", "FERROW_VIEWER_WIC"}) {
            const char* spi = getenv(variable);
            ASSERT_TRUE(spi) << variable;
            const char* name =
                std::string(spi).find("wic.spi") != std::string::npos ? "wic.spi" : "jpeg.spi";
            ASSERT_TRUE(CopyFileA(spi, (app.folder() + "\\" + name).c_str(), FALSE)) << spi;
        }
        ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 4; })) << app.LogText();
        app.ResizeClient(900, 700);
        app.Command(kViewerCommand);
        viewer = app.Child(kViewerId);
        ASSERT_NE(viewer, nullptr);
    }

    void ClickRow(const std::string& name) {
        EXPECT_TRUE(app.ClickRowNamed(name)) << "row " << name << " could not be clicked";
    }

    // The pane shows the reference at its own size (it is smaller than the
    // pane) in the top-left corner, every colour block right.
    void ExpectShows(const char* reference, int blockSize, int tolerance) {
        const Picture want = ReadPpm(Fixture(reference));
        ASSERT_FALSE(want.Empty()) << reference;
        Picture shown;
        int drawnW = 0, drawnH = 0, misses = -1;
        std::string first;
        const bool matched = WaitUntil([&] {
            shown = CaptureClient(viewer);
            DrawnExtent(shown, &drawnW, &drawnH);
            if (drawnW != want.width || drawnH != want.height) return false;
            misses = CompareBlocks(shown, want, drawnW, drawnH, blockSize, tolerance, &first);
            return misses == 0;
        });
        EXPECT_TRUE(matched) << reference << ": drawn " << drawnW << "x" << drawnH << ", expected "
                             << want.width << "x" << want.height << "; " << misses
                             << " blocks differ (" << first << ")";
        if (!matched) WritePpm(shown, app.folder() + "\\shown-" + reference);
    }

    HWND viewer = nullptr;
};

TEST_F(WicViewerTest, ShowsClickedPngGifAndBmpRowsAndStillJpeg) {
    // The lossless pictures match their source closely; the JPEG within the
    // viewer tests' usual margin.
    ClickRow("badge.png");
    ExpectShows("badge.decoded.ppm", 40, 12);
    ClickRow("small.jpg");
    ExpectShows("small.decoded.ppm", 16, 40);
    ClickRow("badge.gif");
    ExpectShows("badge.decoded.ppm", 40, 12);
    ClickRow("badge.bmp");
    ExpectShows("badge.decoded.ppm", 40, 12);
}

} // namespace
