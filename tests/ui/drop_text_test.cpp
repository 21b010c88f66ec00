// Addresses taken from dragged text and from Internet shortcut files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/drop_text.h"

namespace {

struct AddressCase {
    const char* name;
    const char* input;
    const char* address; // nullptr: no address, no copy cursor
};

// Reads the input with one of the two readers and checks what it gives.
void ExpectAddress(bool (*read)(const char*, size_t, char*, size_t), const AddressCase& c) {
    char address[260] = "untouched";
    bool found = read(c.input, strlen(c.input), address, sizeof address);
    if (!c.address) {
        EXPECT_FALSE(found);
        EXPECT_STREQ(address, "");
        return;
    }
    ASSERT_TRUE(found);
    EXPECT_STREQ(address, c.address);
}

std::string CaseName(const ::testing::TestParamInfo<AddressCase>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; p++)
        name += isalnum((unsigned char)*p) ? *p : '_';
    return name;
}

const AddressCase kTextCases[] = {
    {"plain link", "http://example.com/a.html", "http://example.com/a.html"},
    {"secure link", "https://example.com/", "https://example.com/"},
    {"scheme in capitals", "HTTP://Example.com/X.JPG", "HTTP://Example.com/X.JPG"},
    {"leading blanks and line end", "  \r\nhttp://h/p\r\n", "http://h/p"},
    {"second line of a title and link", "Title\r\nhttp://h/p.html", "http://h/p.html"},
    {"inside running text", "see http://h/a.gif for more", "http://h/a.gif"},
    {"quoted", "\"http://h/q\"", "http://h/q"},
    {"in angle brackets", "<http://h/b>", "http://h/b"},
    {"tab ends it", "http://h/t\tnext", "http://h/t"},
    {"other scheme", "ftp://h/file", nullptr},
    {"file path", "C:\\pages\\index.html", nullptr},
    {"scheme without slashes", "http:example", nullptr},
    {"glued to a word", "xhttp://h/", nullptr},
    {"empty", "", nullptr},
    {"only the scheme word", "https", nullptr},
};

class DroppedText : public ::testing::TestWithParam<AddressCase> {};

TEST_P(DroppedText, GivesItsAddressOrNone) {
    ExpectAddress(AddressFromDroppedText, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, DroppedText, ::testing::ValuesIn(kTextCases), CaseName);

TEST(DroppedTextLimits, LengthBoundsTheTextAndTheBufferCutsTheAddress) {
    // Only the stated length is read: the address stops where it ends.
    const char text[] = "http://h/abcdef";
    char address[260];
    ASSERT_TRUE(AddressFromDroppedText(text, 10, address, sizeof address));
    EXPECT_STREQ(address, "http://h/a");
    // A zero byte within the length ends the text.
    const char zero[] = "http://h/x\0http://other/";
    ASSERT_TRUE(AddressFromDroppedText(zero, sizeof zero - 1, address, sizeof address));
    EXPECT_STREQ(address, "http://h/x");
    EXPECT_FALSE(AddressFromDroppedText("ab\0http://h/", 12, address, sizeof address));

    std::string longAddress = "http://h/" + std::string(400, 'a');
    char small[260];
    ASSERT_TRUE(
        AddressFromDroppedText(longAddress.c_str(), longAddress.size(), small, sizeof small));
    EXPECT_EQ(strlen(small), 259u);
    EXPECT_EQ(std::string(small), longAddress.substr(0, 259));
}

const AddressCase kShortcutCases[] = {
    {"usual file", "[InternetShortcut]\r\nURL=http://h/index.html\r\n", "http://h/index.html"},
    {"with the default section first",
     "[DEFAULT]\r\nBASEURL=http://base/\r\n[InternetShortcut]\r\nIDList=\r\nURL=https://h/s\r\n"
     "IconIndex=0\r\n",
     "https://h/s"},
    {"keys in any case, blanks around", "[internetshortcut]\nurl = http://h/c \n", "http://h/c"},
    {"last line without line end", "[InternetShortcut]\r\nURL=http://h/e", "http://h/e"},
    {"URL of another section only", "[DEFAULT]\r\nURL=http://h/d\r\n", nullptr},
    {"section left before the URL", "[InternetShortcut]\r\n[Other]\r\nURL=http://h/o\r\n", nullptr},
    {"not a web address", "[InternetShortcut]\r\nURL=file:///C:/x.html\r\n", nullptr},
    {"longer section name", "[InternetShortcuts]\r\nURL=http://h/l\r\n", nullptr},
    {"empty file", "", nullptr},
};

class Shortcut : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Shortcut, GivesItsUrlOrNone) {
    ExpectAddress(AddressFromShortcut, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, Shortcut, ::testing::ValuesIn(kShortcutCases), CaseName);

} // namespace
