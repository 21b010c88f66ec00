// The main window's pure logic: layout arithmetic, splitter limits and
// ratios, status texts, sorting of the found-file table, address rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/address_text.h"
#include "app/layout.h"
#include "app/list_sort.h"
#include "app/startup_failure.h"
#include "app/status_text.h"
#include "engine/file_table.h"
#include "settings/options.h"
#include "tests/support/recorder.h"

namespace {

LayoutInput Input(int W, int H, int T, bool docked = false) {
    LayoutInput in;
    in.width = W;
    in.height = H;
    in.toolbarHeight = T;
    in.urlBoxHeight = 21;
    in.statusHeight = 20;
    in.listRatio = 0.7f;
    in.viewerRatio = 0.3f;
    in.viewerDocked = docked;
    return in;
}

void ExpectRect(const LayoutRect& r, int x, int y, int w, int h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
}

TEST(Layout, ToolbarShownViewerClosed) {
    LayoutResult out = ComputeLayout(Input(632, 427, 26));
    const int Y = 298; // 427 * 0.7 = 298.9, truncated
    ExpectRect(out.listLogBar, 0, Y, 632, 3);
    EXPECT_EQ(out.toolbar.width, 582);
    ExpectRect(out.engineWindow, 606, 2, 26, 25);
    ExpectRect(out.urlBox, 0, 27, 632, 250);
    EXPECT_EQ(out.statusBar.y, 407);
    ExpectRect(out.fileList, 0, 47, 632, Y - 47);
    ExpectRect(out.log, 0, Y + 3, 632, 427 - 20 - Y - 3);
    const int edges[4] = {482, 582, 602, 632};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(out.statusEdges[i], edges[i]);
}

TEST(Layout, ToolbarHiddenPutsTheLogoOutOfSight) {
    LayoutResult out = ComputeLayout(Input(500, 300, 0));
    ExpectRect(out.engineWindow, 10000, 10000, 0, 0);
    EXPECT_EQ(out.urlBox.y, 1);
    EXPECT_EQ(out.fileList.y, 21);
    EXPECT_EQ(out.fileList.height, 210 - 21);
}

TEST(Layout, DockedViewerTakesItsShareOfTheLogRow) {
    LayoutResult out = ComputeLayout(Input(1000, 500, 26, true));
    const int Y = 350, V = 300, L = 500 - 20 - Y - 3;
    ExpectRect(out.logViewerBar, 700, Y + 3, 3, L);
    ExpectRect(out.log, 0, Y + 3, 700, L);
    ExpectRect(out.viewer, 703, Y + 3, 300, L); // its last 3 pixels lie outside
    EXPECT_EQ(out.viewer.x + out.viewer.width, 1000 + 3);
    (void)V;
}

TEST(Splitter, DragPointsAreClamped) {
    const struct {
        int value, size, status, x, y;
    } cases[] = {
        {50, 800, 20, 300, 100},  // too far up and left
        {400, 800, 20, 400, 400}, // free
        {900, 800, 20, 795, 775}, // beyond the right and bottom limits
        {-30, 800, 20, 300, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClampSplitterX(c.value, c.size), c.x) << c.value;
        EXPECT_EQ(ClampSplitterY(c.value, c.size, c.status), c.y) << c.value;
    }
}

TEST(Splitter, RatiosFromTheReleasePoint) {
    EXPECT_FLOAT_EQ(ListRatioFromY(201, 400, 0.7f), 0.5f);
    EXPECT_FLOAT_EQ(ViewerRatioFromX(801, 1000, 0.3f), 0.2f);
    // The bar then lands one or two pixels above the release point.
    for (int H = 200; H < 1200; H += 37) {
        for (int y = 100; y < H - 30; y += 13) {
            float ratio = ListRatioFromY(y, H, 0.7f);
            int landed = (int)(H * ratio);
            EXPECT_TRUE(landed == y - 1 || landed == y - 2) << H << " " << y;
        }
    }
    // A window without a client area keeps its ratios instead of dividing by 0.
    EXPECT_FLOAT_EQ(ListRatioFromY(150, 0, 0.7f), 0.7f);
    EXPECT_FLOAT_EQ(ViewerRatioFromX(150, 0, 0.3f), 0.3f);
}

TEST(StatusText, SizeTextUsesDecimalLimitsAndBinaryDivisors) {
    const struct {
        long long bytes;
        const char* text;
    } cases[] = {
        {0, "0バイト"},      {999, "999バイト"},  {1000, "1.0KB"},     {1536, "1.5KB"},
        {999999, "976.6KB"}, {1000000, "0.95MB"}, {1048576, "1.00MB"}, {5000000000LL, "4768.37MB"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(SizeText(c.bytes), c.text) << c.bytes;
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearReports();
        ListReset();
    }
    void Add(const char* name, const char* size, const char* date = "") {
        int row = ListCount();
        ListAppend(row, FileTypeIcon(name), row, name);
        ListSetText(row, ColSize, size);
        ListSetText(row, ColDate, date);
        ListSetText(row, ColAddress, (std::string("http://h/") + name).c_str());
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int i = 0; i < ListCount(); i++)
            names.push_back(ListText(i, ColName));
        return names;
    }
    std::string Status(std::vector<int> rows) {
        char text[128];
        FormatStatusText(rows.data(), (int)rows.size(), text, sizeof text);
        return text;
    }
};

TEST_F(TableTest, StatusTextForNoneOneAndSeveralRows) {
    Add("a.jpg", "1536");
    Add("b.gif", "");
    Add("c.png", "");
    Add("d.wav", "");
    EXPECT_EQ(Status({}), "");
    EXPECT_EQ(Status({0}), "a.jpg 1.5KB");
    EXPECT_EQ(Status({1}), "b.gif"); // unknown size: the name alone
    EXPECT_EQ(Status({1, 2, 3}), "3個のファイル");
    EXPECT_EQ(Status({0, 1}), "2個のファイル 1.5KB");
}

TEST_F(TableTest, StatusTotalDoesNotWrapPastTwoGigabytes) {
    Add("a.bin", "2000000000");
    Add("b.bin", "2000000000");
    EXPECT_EQ(Status({0, 1}), "2個のファイル 3814.70MB");
}

TEST_F(TableTest, NameSortAscendingDescendingIgnoringCase) {
    Add("b.jpg", "1");
    Add("C.gif", "2");
    Add("a.png", "3");
    SortFileTable(ColName, 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.png", "b.jpg", "C.gif"}));
    SortFileTable(ColName, 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"C.gif", "b.jpg", "a.png"}));
    // Texts, sizes, addresses and icons move together; positions stay put.
    EXPECT_STREQ(ListText(0, ColSize), "2");
    EXPECT_STREQ(ListText(0, ColAddress), "http://h/C.gif");
    EXPECT_EQ(FileTable.rows[0].icon, IconGif);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(FileTable.rows[i].position, i);
}

TEST_F(TableTest, SizeSortCountsEmptyAsZero) {
    Add("big", "1200");
    Add("unknown", "");
    Add("small", "5");
    Add("zero", "0");
    Add("huge", "2147483647");
    SortFileTable(ColSize, 1);
    std::vector<std::string> names = Names();
    EXPECT_EQ(names[2], "small");
    EXPECT_EQ(names[3], "big");
    EXPECT_EQ(names[4], "huge");
    EXPECT_TRUE((names[0] == "unknown" && names[1] == "zero") ||
                (names[0] == "zero" && names[1] == "unknown"));
    SortFileTable(ColSize, 2);
    EXPECT_EQ(Names()[0], "huge");
}

TEST_F(TableTest, SizesPastFourGigabytesSortAndAddUp) {
    Add("four", "4294967296");
    Add("two", "2147483648");
    Add("max", "9223372036854775807");
    Add("five", "5000000000");
    SortFileTable(ColSize, 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"two", "four", "five", "max"}));
    EXPECT_EQ(Status({1}), "four 4096.00MB");
    EXPECT_EQ(Status({0, 1, 2}), "3個のファイル 10912.37MB");
    // The total is held at the largest count rather than wrapped.
    char expected[64];
    snprintf(expected, sizeof expected, "4個のファイル %.2fMB", 9223372036854775807.0 / 1048576.0);
    EXPECT_EQ(Status({0, 1, 2, 3}), expected);
}

TEST_F(TableTest, TypeSortUsesTheTextAfterTheLastDot) {
    Add("x.tar.GZ", "");
    Add("README", "");
    Add("a.jpg", "");
    Add("b.Bmp", "");
    SortFileTable(kSortByType, 2); // the type order ignores the direction
    EXPECT_EQ(Names(), (std::vector<std::string>{"README", "b.Bmp", "x.tar.GZ", "a.jpg"}));
}

TEST_F(TableTest, DateSortAndShiftJisBytesCompareUnsigned) {
    Add("\x83\x65.jpg", "", "2001/01/02 10:00:00"); // a Shift_JIS name
    Add("z.jpg", "", "1999/12/31 23:59:59");
    Add("A.jpg", "", "2001/01/02 09:00:00");
    SortFileTable(ColDate, 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"z.jpg", "A.jpg", "\x83\x65.jpg"}));
    SortFileTable(ColName, 1);
    EXPECT_EQ(Names().back(), "\x83\x65.jpg"); // 0x83 sorts after ASCII
}

TEST_F(TableTest, LargerTablesEndSorted) {
    for (int i = 0; i < 257; i++) {
        std::string digits = std::to_string((i * 97) % 257);
        Add(("f" + std::string(3 - digits.size(), '0') + digits).c_str(), "");
    }
    SortFileTable(ColName, 1);
    std::vector<std::string> names = Names();
    for (size_t i = 1; i < names.size(); i++)
        EXPECT_LT(names[i - 1], names[i]);
}

TEST(AddressText, HtmlAddresses) {
    const struct {
        const char* address;
        bool html;
    } cases[] = {
        {"http://h/a.htm", true},     {"http://h/a.HTML", true}, {"http://h/", true},
        {"http://h/a.html?x", false}, {"http://h/a.jpg", false}, {"", false},
        {"http://h/htm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsHtmlAddress(c.address), c.html) << c.address;
}

TEST(AddressText, BrowserReplies) {
    char out[260];
    EXPECT_TRUE(AddressFromBrowserReply("\"http://h/p.html\",\"Title\",\"\"", out, sizeof out));
    EXPECT_STREQ(out, "http://h/p.html");
    EXPECT_FALSE(AddressFromBrowserReply("\"http://h/no-end", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(AddressFromBrowserReply("", out, sizeof out));
    // A long answer is cut to the buffer.
    std::string reply = "\"http://h/" + std::string(400, 'a') + "\"";
    EXPECT_TRUE(AddressFromBrowserReply(reply.c_str(), out, sizeof out));
    EXPECT_EQ(std::string(out).size(), 259u);
}

// Every window of start-up has its own name in the message, with the
// system's error number; the text stays whole in the box's buffer.
TEST(StartupFailure, NamesThePartAndTheError) {
    const struct {
        StartupPart part;
        const char* text;
    } cases[] = {
        {PartMainWindow, "メインウィンドウを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartToolbar, "ツールバーを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartStatusBar, "ステータスバーを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartProgressBar, "プログレスバーを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartUrlBox, "URL入力欄を作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartFileList, "ファイル一覧を作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartListLogBar, "分割バーを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartEngineWindow, "エンジンウィンドウを作成できないため、Ferrowを起動できません (エラー 0)"},
        {PartLog, "ログを作成できないため、Ferrowを起動できません (エラー 0)"},
    };
    ASSERT_EQ(std::size(cases), (size_t)kStartupPartCount);
    for (const auto& c : cases) {
        char text[300];
        FormatStartupFailure(text, sizeof text, c.part, 0);
        EXPECT_STREQ(text, c.text) << c.part;
    }
    char text[300];
    FormatStartupFailure(text, sizeof text, PartLog, 4294967295ul);
    EXPECT_STREQ(text, "ログを作成できないため、Ferrowを起動できません (エラー 4294967295)");
    EXPECT_STREQ(StartupPartName(kStartupPartCount), "ウィンドウ");
}

} // namespace
