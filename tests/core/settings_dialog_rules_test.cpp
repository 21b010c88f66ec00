#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "settings/settings_rules.h"
#include "text/text.h"

namespace {

struct SocketsCase {
    const char* typed;
    const char* shown;  // the field's text afterwards
};

// What the simultaneous-downloads field holds after each edit.
const SocketsCase kSocketsCases[] = {
    {"0", "1"},       {"-3", "1"},     {"abc", "1"},  {"", "1"},    {" ", "1"},
    {"-", "1"},       {"25", "10"},    {"11", "10"},  {"99999999999", "10"},
    {"1", "1"},       {"10", "10"},    {"7", "7"},    {" 4", " 4"}, {"5x", "5x"},
    {"+3", "+3"},     {"0x5", "1"},
};

TEST(SettingsDialogRules, SocketsFieldIsKeptBetweenOneAndTen) {
    for (const SocketsCase& c : kSocketsCases) {
        char field[16];
        CopyText(field, sizeof field, c.typed);
        char fixed[16] = "unchanged";
        if (ClampSocketsText(field, fixed, sizeof fixed)) {
            memcpy(field, fixed, sizeof field);
            EXPECT_EQ(ClampSocketsText(field, fixed, sizeof fixed), 0)
                << "the replacement itself must be stable: " << c.typed;
        } else {
            EXPECT_STREQ(fixed, "unchanged") << c.typed;
        }
        EXPECT_STREQ(field, c.shown) << "typed \"" << c.typed << "\"";
    }
}

TEST(SettingsDialogRules, ReplacementIsCutToTheBuffer) {
    char tiny[2];
    EXPECT_EQ(ClampSocketsText("25", tiny, sizeof tiny), 1);
    EXPECT_STREQ(tiny, "1");  // "10" cut to one character, still terminated
}

struct SpinCase {
    const char* text;
    int delta;
    int result;
};

// The default range reports -1 for the up arrow and +1 for the down arrow.
const SpinCase kSpinCases[] = {
    {"5", -1, 6},  {"5", 1, 4},   {"10", -1, 11}, {"1", 1, 0},
    {"3", 2, 4},   {"3", -2, 4},  {"3", 0, 4},    {"abc", -1, 1},
    {"2147483647", -1, INT_MAX},  {"-2147483648", 1, INT_MIN},
};

TEST(SettingsDialogRules, ArrowsMoveTheNumberOneStep) {
    for (const SpinCase& c : kSpinCases)
        EXPECT_EQ(SocketsAfterSpin(c.text, c.delta), c.result) << c.text << " " << c.delta;
}

TEST(SettingsDialogRules, ArrowsAtTheLimitsEndBackInside) {
    char fixed[4];
    // Up at 10 gives 11 for a moment, which the field rule turns back into 10.
    char text[16];
    FormatText(text, sizeof text, "%d", SocketsAfterSpin("10", -1));
    ASSERT_EQ(ClampSocketsText(text, fixed, sizeof fixed), 1);
    EXPECT_STREQ(fixed, "10");
    FormatText(text, sizeof text, "%d", SocketsAfterSpin("1", 1));
    ASSERT_EQ(ClampSocketsText(text, fixed, sizeof fixed), 1);
    EXPECT_STREQ(fixed, "1");
}

struct NumberCase {
    const char* text;
    int value;
};

// Size and port fields: unsigned decimal or 0.
const NumberCase kNumberCases[] = {
    {"0", 0},
    {"1000000", 1000000},
    {"  8080  ", 8080},
    {"\t42", 42},
    {"", 0},
    {"   ", 0},
    {"-5", 0},
    {"+5", 0},
    {"12abc", 0},
    {"abc", 0},
    {"1 2", 0},
    {"0x10", 0},
    {"007", 7},
    {"2147483647", INT_MAX},
    {"2147483648", INT_MAX},
    {"4294967296", INT_MAX},
    {"99999999999999999999999", INT_MAX},
};

TEST(SettingsDialogRules, SizeAndPortFieldsAreUnsignedNumbers) {
    for (const NumberCase& c : kNumberCases)
        EXPECT_EQ(ParseUnsignedField(c.text), c.value) << "\"" << c.text << "\"";
}

}  // namespace
