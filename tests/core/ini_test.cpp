#include <gtest/gtest.h>

#include "settings/ini.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Read(const char* section, const char* key, const char* fallback, const std::string& path,
                 size_t size = 260) {
    char buffer[300];
    IniReadText(section, key, fallback, buffer, size, path.c_str());
    return buffer;
}

TEST(IniStore, ReadsValuesIgnoringCaseOfNamesAndBlanks) {
    TempFolder dir;
    std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[Other]\r\nKey=no\r\n[OPTION]\r\n  DLPath = C:\\Down Load  \r\n"
                        "Quoted=\"  x \"\r\n;Comment=1\r\nEmpty=\r\n");
    EXPECT_EQ(Read("option", "dlpath", "def", ini), "C:\\Down Load");
    EXPECT_EQ(Read("OPTION", "Key", "def", ini), "def");  // belongs to another section
    EXPECT_EQ(Read("OPTION", "Quoted", "", ini), "  x ");
    EXPECT_EQ(Read("OPTION", ";Comment", "def", ini), "def");
    EXPECT_EQ(Read("OPTION", "Empty", "def", ini), "");  // present and empty is not missing
    EXPECT_EQ(Read("OPTION", "Missing", "fallback", ini), "fallback");
    EXPECT_EQ(Read("OPTION", "Missing", "x", dir.File("none.ini")), "x");
}

TEST(IniStore, CutsTextToSizeLessOne) {
    TempFolder dir;
    std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[S]\nk=abcdefgh\n");
    EXPECT_EQ(Read("S", "k", "", ini, 4), "abc");
    EXPECT_EQ(Read("S", "k", "", ini, 1), "");
    EXPECT_EQ(Read("S", "missing", "123456", ini, 3), "12");
}

TEST(IniStore, IntegersTakeTheLeadingDigits) {
    TempFolder dir;
    std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[S]\r\na=42abc\r\nb=abc\r\nc= -7\r\nd=\r\ne=0012\r\n");
    EXPECT_EQ(IniReadInt("S", "a", 5, ini.c_str()), 42);
    EXPECT_EQ(IniReadInt("S", "b", 5, ini.c_str()), 0);
    EXPECT_EQ(IniReadInt("S", "c", 5, ini.c_str()), -7);
    EXPECT_EQ(IniReadInt("S", "d", 5, ini.c_str()), 5);  // empty integer value gives the default
    EXPECT_EQ(IniReadInt("S", "e", 5, ini.c_str()), 12);
    EXPECT_EQ(IniReadInt("S", "zz", 5, ini.c_str()), 5);
}

TEST(IniStore, TextToIntFollowsTheCLibraryRule) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"10", 10}, {"  7x", 7}, {"-3", -3}, {"+4", 4}, {"abc", 0}, {"", 0},
                 {"99999999999", 2147483647}, {"- 5", 0}};
    for (const auto& c : cases) EXPECT_EQ(TextToInt(c.text), c.value) << c.text;
}

TEST(IniStore, WritesCreateFileSectionAndKeyWithCrLf) {
    TempFolder dir;
    std::string ini = dir.File("new.ini");
    ASSERT_EQ(IniWriteText("OPTION", "DLPath", "C:\\x", ini.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(ini), "[OPTION]\r\nDLPath=C:\\x\r\n");
    WriteIniInt("OPTION", "Sockets", 5, ini.c_str());
    WriteIniInt("WINDOW", "x", -20, ini.c_str());
    EXPECT_EQ(ReadWholeFile(ini), "[OPTION]\r\nDLPath=C:\\x\r\nSockets=5\r\n[WINDOW]\r\nx=-20\r\n");
    EXPECT_EQ(IniReadInt("WINDOW", "X", 0, ini.c_str()), -20);
}

TEST(IniStore, WritesReplaceInPlaceAndKeepEverythingElse) {
    TempFolder dir;
    std::string ini = dir.File("a.ini");
    // Shift_JIS text (with a 0x5C trail byte) and comments must survive byte for byte.
    std::string sjis = "\x83\x5C\x83\x74\x83\x67";
    WriteWholeFile(ini, "; note\r\n[OPTION]\r\nDLPath=C:\\" + sjis + "\r\nsockets=2\r\n\r\n[WINDOW]\r\nx=1\r\n");
    IniWriteText("OPTION", "Sockets", "7", ini.c_str());
    IniWriteText("option", "New", "v", ini.c_str());
    EXPECT_EQ(ReadWholeFile(ini), "; note\r\n[OPTION]\r\nDLPath=C:\\" + sjis +
                                      "\r\nsockets=7\r\nNew=v\r\n\r\n[WINDOW]\r\nx=1\r\n");
    EXPECT_EQ(Read("OPTION", "DLPath", "", ini), "C:\\" + sjis);
    IniWriteText("OPTION", "New", nullptr, ini.c_str());
    EXPECT_EQ(Read("OPTION", "New", "gone", ini), "gone");
}

TEST(IniStore, WriteIntoUnwritableFolderFails) {
    TempFolder dir;
    std::string ini = dir.File("no/such/folder/a.ini");
    EXPECT_EQ(IniWriteText("S", "k", "v", ini.c_str()), 0);
}

}  // namespace
