#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "engine/file_table.h"
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
    // The name column: the last path segment without its query, escapes decoded.
    AddFoundFile("http://h/s/c%20d.jpg?itok=x&from=/a/b.gif", -1, nullptr, 1);
    EXPECT_STREQ(ListText(2, ColName), "c d.jpg");
    EXPECT_EQ(FileTable.rows[2].icon, IconJpeg);
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
    std::string address = "http://h/" + name + std::string(kMaxAddress, 'q');
    int row = AddFoundFile(("http://h/" + name).c_str(), INT64_MAX, nullptr, 1);
    EXPECT_EQ(strlen(ListText(row, ColName)), 63u);
    EXPECT_STREQ(ListText(row, ColSize), "9223372036854775807");
    ListSetText(row, ColAddress, address.c_str());
    EXPECT_EQ(strlen(ListText(row, ColAddress)), (size_t)kMaxAddress);
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

TEST_F(FileTableTest, SizeTexts) {
    const struct {
        int64_t size;
        const char* text;
    } cases[] = {{0, "0"},
                 {7, "7"},
                 {2147483647, "2147483647"},
                 {2147483648LL, "2147483648"},
                 {4294967296LL, "4294967296"},
                 {INT64_MAX, "9223372036854775807"}};
    for (const auto& c : cases) {
        char text[kSizeSize];
        FormatSize(c.size, text, sizeof text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(SizeOfText(c.text), c.size) << c.text;
    }
    EXPECT_EQ(SizeOfText(""), 0);
    EXPECT_EQ(SizeOfText("12abc"), 12);
    EXPECT_EQ(SizeOfText("99999999999999999999"), INT64_MAX);  // held, not wrapped
}

// A file keeps its identity wherever sorting moves it; a reset retires every
// identity, so work carrying an old one finds no row in the new list.
TEST_F(FileTableTest, FilesKeepTheirIdentityAcrossMovesAndResets) {
    const char* names[] = {"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    std::vector<FileId> ids;
    for (const char* n : names) {
        int row = AddFoundFile((std::string("http://h/") + n).c_str(), -1, nullptr, 1);
        ids.push_back(ListFileId(row));
    }
    EXPECT_NE(ids[0], kNoFileId);
    EXPECT_EQ(std::set<FileId>(ids.begin(), ids.end()).size(), 4u);
    EXPECT_EQ(ListFileId(4), kNoFileId);
    EXPECT_EQ(ListFileId(-1), kNoFileId);
    ListSwapRows(0, 3);
    ListSwapRows(1, 3);
    // Rows now hold d, a, c, b; positions stay with the places.
    const int rowOf[] = {1, 3, 2, 0};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(ListRowOfFile(ids[i]), rowOf[i]) << names[i];
        EXPECT_STREQ(ListText(rowOf[i], ColName), names[i]);
        EXPECT_EQ(FileTable.rows[i].position, i);
    }
    ListSetFileText(ids[1], ColSize, "42");
    EXPECT_STREQ(ListText(3, ColSize), "42");
    ListSwapRows(0, 9);  // outside the table: nothing moves
    EXPECT_EQ(ListRowOfFile(ids[3]), 0);

    ListReset();
    AddFoundFile("http://h/new.jpg", -1, nullptr, 1);
    for (FileId id : ids) EXPECT_EQ(ListRowOfFile(id), -1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), ListFileId(0)), 0);
    ClearReports();
    ListSetFileText(ids[0], ColSize, "1");
    EXPECT_STREQ(ListText(0, ColSize), "");
    EXPECT_TRUE(Reports.viewRedraws.empty());
    EXPECT_EQ(ListRowOfFile(kNoFileId), -1);
}

// A removed row: the rows after it move up and keep their identities, the
// view is told, and a file listed later gets an identity of its own.
TEST_F(FileTableTest, RemovedRowsMoveTheRestUp) {
    std::vector<FileId> ids;
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg"})
        ids.push_back(ListFileId(AddFoundFile((std::string("http://h/") + n).c_str(), -1, nullptr, 1)));
    ListRemoveFile(ids[0]);
    ListRemoveFile(ids[0]);  // gone already: nothing more
    EXPECT_EQ(ListCount(), 2);
    EXPECT_EQ(Reports.viewDeletes, std::vector<int>{0});
    EXPECT_EQ(ListRowOfFile(ids[0]), -1);
    EXPECT_EQ(ListRowOfFile(ids[1]), 0);
    EXPECT_EQ(ListRowOfFile(ids[2]), 1);
    EXPECT_STREQ(ListText(1, ColName), "c.jpg");
    int row = AddFoundFile("http://h/d.jpg", -1, nullptr, 1);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), ListFileId(row)), 0);
    ListSetFileText(ids[2], ColSize, "7");
    EXPECT_STREQ(ListText(1, ColSize), "7");
    EXPECT_STREQ(ListText(2, ColSize), "");
}

}  // namespace
