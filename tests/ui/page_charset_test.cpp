// A page of today, UTF-8 throughout, through Ferrow.exe: its title in the
// caption and its Japanese file name in the list and on disk, in Shift_JIS.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/ui/ferrow_app.h"

namespace {

TEST(PageCharsetTest, Utf8TitleInTheCaptionAndJapaneseNamesSaved) {
    // 写真の頁 and 写真.jpg written in UTF-8, the name once raw, once escaped.
    WriteSiteFile("utf8.html",
                  "<html><head><meta charset=\"utf-8\">"
                  "<title>\xE5\x86\x99\xE7\x9C\x9F\xE3\x81\xAE\xE9\xA0\x81</title></head><body>"
                  "<a href=\"\xE5\x86\x99\xE7\x9C\x9F.jpg\">raw</a>"
                  "<img src=\"%E5%86%99%E7%9C%9F.jpg\" srcset=\"%E5%A4%A7.jpg 2x\"></body></html>");
    // The server's folder is written through Windows: the names are Shift_JIS.
    WriteSiteFile("写真.jpg", std::string(1536, 'j'));
    WriteSiteFile("大.jpg", std::string(2048, 'k'));
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("utf8.html"),
                          "[OPTION]\r\nJPG=1\r\nHeadCheck=0\r\nHierarchical=0\r\n"
                          "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n"));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました")) << app.LogText();
    EXPECT_EQ(app.Caption(), "写真の頁 - Ferrow");
    // Both spellings are one address, listed once under its readable name.
    EXPECT_EQ(app.ListColumn(0), (std::vector<std::string>{"写真.jpg", "大.jpg"}));
    EXPECT_EQ(app.ListText(0, 3), ServerAddress("%E5%86%99%E7%9C%9F.jpg"));

    app.Command(40004); // download all
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_TRUE(FileExists(dl + "写真.jpg")) << app.LogText();
    EXPECT_TRUE(FileExists(dl + "大.jpg")) << app.LogText();
    EXPECT_EQ(app.ListText(0, 1), "1536");
}

} // namespace
