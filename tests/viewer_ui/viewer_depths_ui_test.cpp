// Bitmaps of every depth that a plug-in may return, drawn by the viewer: a
// stand-in plug-in beside Ferrow.exe decodes each served file into a
// pattern of flat colour blocks at 1, 4 or 8 bits with a colour table, 16,
// 24 or 32 bits, bottom-up or top-down; the pixels are read back from the
// docked viewer on the screen and compared with the pattern's colours.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "tests/jpeg/dib_pattern.h"
#include "tests/ui/ferrow_app.h"
#include "tests/viewer_ui/pixels.h"

namespace {

const int kDepths[] = {1, 4, 8, 16, 24, 32};

std::string FileName(int bits, bool topDown) {
    return "d" + std::to_string(bits) + (topDown ? "t" : "b") + ".jpg";
}

// Colours of the pattern at the centre of every block, as drawn at its own
// size in the top-left corner; returns the blocks that differ.
int Misses(const Picture& shown, int bits, bool topDown, std::string* first) {
    int misses = 0;
    for (int y = kPatternBlock / 2; y < kPatternHeight; y += kPatternBlock)
        for (int x = kPatternBlock / 2; x < kPatternWidth; x += kPatternBlock) {
            const PatternRgb c = PatternColour(bits, topDown, x, y);
            const COLORREF want = RGB(c.r, c.g, c.b), got = shown.At(x, y);
            if (ColourDistance(want, got) <= 8) continue;
            if (misses++ == 0) {
                char text[120];
                snprintf(text, sizeof text, "at %d,%d want %06lx, shown %06lx", x, y,
                         (unsigned long)want, (unsigned long)got);
                *first = text;
            }
        }
    return misses;
}

TEST(ViewerDepths, EveryDepthThePluginHostAcceptsIsDrawn) {
    std::string links;
    for (int bits : kDepths)
        for (bool topDown : {false, true}) {
            WriteSiteFile(FileName(bits, topDown), PatternImage(bits, topDown));
            links += "<a href=\"" + FileName(bits, topDown) + "\">x</a>";
        }
    WriteSiteFile("depths.html", "<html><body>" + links + "</body></html>");

    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("depths.html"),
                          "[OPTION]\r\nHeadCheck=0\r\nJPG=1\r\nHTM=1\r\nViewerDialog=0\r\n"
                          "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n"));
    const char* plugins = getenv("FERROW_TEST_PLUGINS");
    ASSERT_TRUE(plugins && CopyFileA((std::string(plugins) + "\\fake_depths.spi").c_str(),
                                     (app.folder() + "\\depths.spi").c_str(), FALSE))
        << "the stand-in plug-in is needed beside Ferrow.exe";
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 12; })) << app.LogText();
    app.ResizeClient(900, 700);
    app.Command(kViewerCommand);
    HWND viewer = app.Child(kViewerId);
    ASSERT_NE(viewer, nullptr);

    for (int bits : kDepths)
        for (bool topDown : {false, true}) {
            const std::string name = FileName(bits, topDown);
            ASSERT_TRUE(app.ClickRowNamed(name)) << name;
            Picture shown;
            int width = 0, height = 0, misses = -1;
            std::string first;
            // The previous picture has the same size: wait for this one's colours.
            const bool drawn = WaitUntil([&] {
                shown = CaptureClient(viewer);
                DrawnExtent(shown, &width, &height);
                if (width != kPatternWidth || height != kPatternHeight) return false;
                misses = Misses(shown, bits, topDown, &first);
                return misses == 0;
            });
            EXPECT_TRUE(drawn) << name << ": drawn " << width << "x" << height << ", " << misses
                               << " blocks differ (" << first << ")";
            if (!drawn) WritePpm(shown, app.folder() + "\\shown-" + name + ".ppm");
        }
    EXPECT_EQ(app.Exit(), 0);
}

} // namespace
