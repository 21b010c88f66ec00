#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/layout_rules.h"
#include "settings/ini.h"
#include "tests/support/temp_folder.h"

namespace {

struct BoxCase {
    const char *x, *y, *width, *height;
    int screenWidth, screenHeight;
    WindowBox expected;
};

const BoxCase kBoxCases[] = {
    {"-500", "10", "640", "480", 1280, 1024, {0, 10, 640, 480}},     // left screen edge
    {"10", "10", "100", "50", 1280, 1024, {10, 10, 300, 200}},       // minimum size
    {"900", "0", "800", "600", 1024, 768, {724, 0, 300, 600}},       // pulled back on screen
    {"100", "5000", "640", "480", 1280, 1024, {100, 824, 640, 200}}, // below the screen
    {"abc", "", "", "", 1280, 1024, {0, 0, 300, 200}},               // not numbers: 0
    {"50", "60", "5000", "5000", 1280, 1024, {50, 60, 1230, 964}},   // larger than the screen
    {"0", "0", "640", "480", 200, 100, {-100, -100, 300, 200}},       // tiny screen: upper bound wins
};

TEST(LayoutRules, RestoredWindowIsPulledOntoTheScreen) {
    for (const BoxCase& c : kBoxCases) {
        WindowBox b = ClampRestoredBox(c.x, c.y, c.width, c.height, c.screenWidth, c.screenHeight);
        EXPECT_EQ(b.left, c.expected.left) << c.x << "," << c.y << " " << c.width << "x" << c.height;
        EXPECT_EQ(b.top, c.expected.top) << c.x << "," << c.y;
        EXPECT_EQ(b.width, c.expected.width) << c.x << "," << c.y << " " << c.width;
        EXPECT_EQ(b.height, c.expected.height) << c.x << "," << c.y << " " << c.height;
    }
}

struct FractionCase {
    const char* text;
    float current;
    float expected;
};

const FractionCase kFractionCases[] = {
    {"0.05", 0.7f, 0.1f}, {"0.95", 0.7f, 0.9f},   {"", 0.3f, 0.3f},    {"", 0.7f, 0.7f},
    {"0.5", 0.7f, 0.5f},  {"0.700000", 0.3f, 0.7f}, {"abc", 0.7f, 0.1f}, {"-2", 0.7f, 0.1f},
    {"7", 0.3f, 0.9f},    {"0.25xyz", 0.7f, 0.25f}, {"nan", 0.7f, 0.1f},
};

TEST(LayoutRules, SplitterFractionsAreKeptBetweenOneAndNineTenths) {
    for (const FractionCase& c : kFractionCases)
        EXPECT_FLOAT_EQ(RestoreFraction(c.text, c.current), c.expected) << '"' << c.text << '"';
}

TEST(LayoutRules, FractionsAreSavedWithSixDecimals) {
    char text[32];
    FormatFraction(text, sizeof text, 0.7f);
    EXPECT_STREQ(text, "0.700000");
    FormatFraction(text, sizeof text, 0.3f);
    EXPECT_STREQ(text, "0.300000");
    FormatFraction(text, sizeof text, 0.123456f);
    EXPECT_STREQ(text, "0.123456");
}

class LayoutFileTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string ini = dir.File("Ferrow.ini");
    std::string Value(const char* key) {
        char text[300];
        IniReadText("WINDOW", key, "<missing>", text, sizeof text, ini.c_str());
        return text;
    }
};

TEST_F(LayoutFileTest, AFirstRunGivesTheDefaults) {
    LayoutRecord r;
    memset(&r, 0x55, sizeof r);
    ReadLayoutRecord(ini.c_str(), &r);
    for (int i = 0; i < kLayoutSlotCount; i++) EXPECT_STREQ(r.slots[i], "") << kLayoutSlotKeys[i];
    EXPECT_EQ(r.listStyle, 0);
    EXPECT_EQ(r.columnWidths[0], 100);
    EXPECT_EQ(r.columnWidths[1], 50);
    EXPECT_EQ(r.columnWidths[2], 120);
    EXPECT_EQ(r.columnWidths[3], 330);
    EXPECT_EQ(r.toolbarShown, 1);
    EXPECT_EQ(r.viewerShown, 1);
    EXPECT_EQ(r.viewer.x, 0);
    EXPECT_EQ(r.viewer.y, 0);
    EXPECT_EQ(r.viewer.width, 250);
    EXPECT_EQ(r.viewer.height, 200);
}

TEST_F(LayoutFileTest, SavedSlotsHoldTheRectangleFractionsAndHistory) {
    const char* history[] = {"http://a.example/", "http://b.example/x.html"};
    LayoutRecord r = {};
    FillSaveSlots(&r, WindowBox{-8, 12, 800, 600}, 0.7f, 0.3f, history, 2, 1);
    r.toolbarShown = 0;
    r.viewerShown = 1;
    r.columnWidths[0] = 111;
    r.columnWidths[1] = 22;
    r.columnWidths[2] = 133;
    r.columnWidths[3] = 344;
    r.viewer = {40, 50, 260, 210};
    WriteLayoutRecord(ini.c_str(), r);

    EXPECT_EQ(Value("x"), "-8");
    EXPECT_EQ(Value("y"), "12");
    EXPECT_EQ(Value("width"), "800");
    EXPECT_EQ(Value("height"), "600");
    EXPECT_EQ(Value("FramePosition"), "0.700000");
    EXPECT_EQ(Value("ViewerFramePosition"), "0.300000");
    EXPECT_EQ(Value("URL0"), "http://a.example/");
    EXPECT_EQ(Value("URL1"), "http://b.example/x.html");
    EXPECT_EQ(Value("URL2"), "");  // written, empty
    EXPECT_EQ(Value("URL9"), "");
    EXPECT_EQ(Value("LV_Style"), "0");
    EXPECT_EQ(Value("LV_FilenameWidth"), "111");
    EXPECT_EQ(Value("LV_URLWidth"), "344");
    EXPECT_EQ(Value("TollBar"), "0");
    EXPECT_EQ(Value("viewer"), "1");
    EXPECT_EQ(Value("viewer_x"), "40");
    EXPECT_EQ(Value("ViewerHeight"), "210");

    LayoutRecord back;
    ReadLayoutRecord(ini.c_str(), &back);
    EXPECT_STREQ(back.slots[SlotUrl0 + 1], "http://b.example/x.html");
    EXPECT_EQ(back.columnWidths[2], 133);
    EXPECT_EQ(back.toolbarShown, 0);
    EXPECT_EQ(back.viewer.width, 260);
}

TEST_F(LayoutFileTest, HistoryIsEmptiedWhenItIsNotKept) {
    WriteWholeFile(ini, "[WINDOW]\r\nURL0=http://old.example/\r\nURL3=http://older.example/\r\n");
    const char* history[] = {"http://a.example/", "http://b.example/"};
    LayoutRecord r = {};
    FillSaveSlots(&r, WindowBox{0, 0, 640, 480}, 0.7f, 0.3f, history, 2, 0);
    WriteLayoutRecord(ini.c_str(), r);
    for (int i = 0; i < kHistorySlots; i++)
        EXPECT_EQ(Value(kLayoutSlotKeys[SlotUrl0 + i]), "") << i;
    LayoutRecord back;
    ReadLayoutRecord(ini.c_str(), &back);
    EXPECT_STREQ(back.slots[SlotUrl0], "");
}

TEST_F(LayoutFileTest, OnlyTenHistoryEntriesAreSavedAndLongOnesAreCut) {
    std::string longest = "http://long.example/" + std::string(300, 'a');
    const char* history[12];
    std::string names[12];
    for (int i = 0; i < 12; i++) {
        names[i] = "http://h" + std::to_string(i) + ".example/";
        history[i] = names[i].c_str();
    }
    history[4] = longest.c_str();
    LayoutRecord r = {};
    FillSaveSlots(&r, WindowBox{0, 0, 640, 480}, 0.7f, 0.3f, history, 12, 1);
    EXPECT_STREQ(r.slots[SlotUrl0], "http://h0.example/");
    EXPECT_STREQ(r.slots[SlotUrl0 + 9], "http://h9.example/");
    EXPECT_EQ(strlen(r.slots[SlotUrl0 + 4]), kLayoutSlotSize - 1);
    WriteLayoutRecord(ini.c_str(), r);
    EXPECT_EQ(Value("URL10"), "<missing>");
}

TEST_F(LayoutFileTest, ListViewKeepsTheWidthsOfAnEarlierRun) {
    WriteWholeFile(ini, "[WINDOW]\r\nLV_FilenameWidth=210\r\nLV_DateWidth=99\r\n");
    LayoutRecord r = {};
    FillSaveSlots(&r, WindowBox{0, 0, 640, 480}, 0.7f, 0.3f, nullptr, 0, 1);
    r.listStyle = 1;
    r.columnWidths[0] = 1;  // not written in list view
    WriteLayoutRecord(ini.c_str(), r);
    EXPECT_EQ(Value("LV_Style"), "1");
    EXPECT_EQ(Value("LV_FilenameWidth"), "210");
    EXPECT_EQ(Value("LV_DateWidth"), "99");
    EXPECT_EQ(Value("LV_SizeWidth"), "<missing>");
}

}  // namespace
