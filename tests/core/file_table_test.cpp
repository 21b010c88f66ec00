#include <gtest/gtest.h>

#include <string>

#include "analysis/file_table.h"
#include "settings/options.h"
#include "tests/support/recorder.h"

namespace {

class FileTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        Options.HTM = 1;
        Options.ExternalIcon = 0;
        ListReset();
        ClearReports();
    }
};

TEST_F(FileTableTest, TypeIconsCompareTheBeginningOfTheExtension) {
    const struct {
        const char* name;
        int icon;
    } cases[] = {{"a.htm", 0},   {"a.HTML", 0},   {"a.html5", 0}, {"a.jpg", 2},  {"a.JPEG", 2},
                 {"a.jpgx", 2},  {"a.gif", 3},    {"a.png", 4},   {"a.wav", 5},  {"a.lzh", 6},
                 {"noext", 6},   {"a.b.gif", 3},  {"x.jp", 6},    {"", 6},       {".gif", 3}};
    for (const auto& c : cases) EXPECT_EQ(FileTypeIcon(c.name), c.icon) << c.name;
}

TEST_F(FileTableTest, AddFoundFileFillsAllColumns) {
    EXPECT_EQ(AddFoundFile("http://h/d/pic.jpg", -1, nullptr, 1), 0);
    EXPECT_EQ(AddFoundFile("http://h/d/", 1234, "2020/01/02 03:04:05", 1), 1);
    EXPECT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(0, ColName), "pic.jpg");
    EXPECT_STREQ(ListText(0, ColSize), "");
    EXPECT_STREQ(ListText(0, ColDate), "");
    EXPECT_STREQ(ListText(0, ColAddress), "http://h/d/pic.jpg");
    EXPECT_EQ(FileTable.rows[0].icon, IconJpeg);
    EXPECT_STREQ(ListText(1, ColName), "index.htm");
    EXPECT_EQ(FileTable.rows[1].icon, IconHtml);
    EXPECT_EQ(FileTable.rows[1].position, 1);
    EXPECT_STREQ(ListText(1, ColSize), "1234");
    EXPECT_STREQ(ListText(1, ColDate), "2020/01/02 03:04:05");
    char buffer[5];
    ListGetText(0, ColAddress, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "http");
}

TEST_F(FileTableTest, HtmlIsListedOnlyWithTheHtmType) {
    Options.HTM = 0;
    EXPECT_EQ(AddFoundFile("http://h/", -1, nullptr, 1), -1);
    EXPECT_EQ(AddFoundFile("http://h/a.HTM", -1, nullptr, 1), -1);
    EXPECT_EQ(AddFoundFile("http://h/a.html", -1, nullptr, 1), -1);
    EXPECT_EQ(AddFoundFile("http://h/a.jpg", -1, nullptr, 1), 0);
    EXPECT_EQ(ListCount(), 1);
}

TEST_F(FileTableTest, ExternalIconOnlyForAbsoluteHtmlLinks) {
    Options.ExternalIcon = 1;
    AddFoundFile("http://other/x.html", -1, nullptr, 0);
    AddFoundFile("http://h/y.html", -1, nullptr, 1);
    AddFoundFile("http://other/z.jpg", -1, nullptr, 0);
    EXPECT_EQ(FileTable.rows[0].icon, IconExternalHtml);
    EXPECT_EQ(FileTable.rows[1].icon, IconHtml);
    EXPECT_EQ(FileTable.rows[2].icon, IconJpeg);
    Options.ExternalIcon = 0;
    AddFoundFile("http://other/w.html", -1, nullptr, 0);
    EXPECT_EQ(FileTable.rows[3].icon, IconHtml);
}

TEST_F(FileTableTest, TextsAreCutToTheirColumns) {
    std::string name(100, 'n');
    std::string address = "http://h/" + name + std::string(300, 'q');
    int row = AddFoundFile(("http://h/" + name).c_str(), 2147483647, nullptr, 1);
    EXPECT_EQ(strlen(ListText(row, ColName)), 63u);
    EXPECT_STREQ(ListText(row, ColSize), "2147483647");
    ListSetText(row, ColAddress, address.c_str());
    EXPECT_EQ(strlen(ListText(row, ColAddress)), 255u);
    ListSetText(row, ColDate, "2020/01/02 03:04:05 and more");
    EXPECT_EQ(strlen(ListText(row, ColDate)), 19u);
}

TEST_F(FileTableTest, WritesOutsideTheTableChangeNothing) {
    AddFoundFile("http://h/a.jpg", -1, nullptr, 1);
    ClearReports();
    ListSetText(1, ColSize, "99");
    ListSetText(-1, ColSize, "99");
    ListSetText(0, ColSize, nullptr);
    ListSetText(0, 7, "99");
    EXPECT_TRUE(Reports.viewRedraws.empty());
    EXPECT_STREQ(ListText(0, ColSize), "");
    EXPECT_STREQ(ListText(1, ColSize), "");
    ListAppend(kFileTableRows, 0, 0, "x");
    ListAppend(-1, 0, 0, "x");
    EXPECT_EQ(ListCount(), 1);
}

TEST_F(FileTableTest, FullTableListsNothingMore) {
    for (int i = 0; i < kFileTableRows; i++)
        ASSERT_EQ(AddFoundFile(("http://h/" + std::to_string(i) + ".jpg").c_str(), -1, nullptr, 1), i);
    EXPECT_EQ(AddFoundFile("http://h/extra.jpg", -1, nullptr, 1), -1);
    EXPECT_EQ(ListCount(), kFileTableRows);
    EXPECT_STREQ(ListText(kFileTableRows - 1, ColName), "1999.jpg");
    ListPublishCount();
    EXPECT_EQ(Reports.viewPublished.back(), kFileTableRows);
    ListReset();
    EXPECT_EQ(ListCount(), 0);
    EXPECT_STREQ(FileTable.rows[5].name, "");
}

}  // namespace
