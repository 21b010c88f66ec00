#include <gtest/gtest.h>

#include <filesystem>

#include "app/layout_rules.h"
#include "settings/ini.h"
#include "settings/whole_file.h"
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

// What Ferrow does not know keeps its bytes: other sections, unknown keys,
// comments, blank lines, bare LF line ends, blanks around names and a last
// line without a line end. Only the lines of changed keys are rewritten,
// and new keys go after the last entry of their section.
TEST(IniStore, SavingKeepsUnknownLinesByteForByte) {
    const std::string sjis = "\x83\x5C\x83\x74";
    const std::string before =
        "; written by hand\n"
        "[Plugins]\r\nsusie=C:\\" + sjis + "\r\n\r\n"
        "[OPTION]\r\n  Sockets =  2 \r\nUnknownKey=keep me\n;comment=1\r\n\r\n"
        "[WINDOW]\r\nx=1\r\nFuture=  spaced  \r\n"
        "[Last]\r\nno line end";
    IniDocument f;
    IniParse(before, &f);
    EXPECT_EQ(IniText(f), before);
    IniSetInt(&f, "OPTION", "Sockets", 7);
    IniSetText(&f, "OPTION", "DLPath", "D:\\dl");
    IniSetText(&f, "window", "x", "-5");
    IniSetText(&f, "Last", "added", "1");
    IniSetText(&f, "New", "k", "v");
    EXPECT_EQ(IniText(f),
              "; written by hand\n"
              "[Plugins]\r\nsusie=C:\\" + sjis + "\r\n\r\n"
              "[OPTION]\r\nSockets=7\r\nUnknownKey=keep me\nDLPath=D:\\dl\r\n;comment=1\r\n\r\n"
              "[WINDOW]\r\nx=-5\r\nFuture=  spaced  \r\n"
              "[Last]\r\nno line end\r\nadded=1\r\n[New]\r\nk=v\r\n");
    char value[32];
    IniGetText(f, "Plugins", "susie", "", value, sizeof value);
    EXPECT_EQ(std::string(value), "C:\\" + sjis);
    EXPECT_EQ(IniGetInt(f, "OPTION", "SOCKETS", 0), 7);
}

TEST(IniStore, ASaveReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    TempFolder dir;
    std::string ini = dir.File("Ferrow.ini");
    WriteWholeFile(ini, "[Mine]\r\nkeep=1\r\n[OPTION]\r\nJPG=0\r\n");
    IniDocument f;
    ASSERT_EQ(IniLoad(ini.c_str(), &f), IniLoaded);
    IniSetInt(&f, "OPTION", "JPG", 1);
    ASSERT_EQ(IniStore(f, ini.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(ini), "[Mine]\r\nkeep=1\r\n[OPTION]\r\nJPG=1\r\n");
    EXPECT_FALSE(std::filesystem::exists(ini + ".tmp"));
    IniDocument none;
    EXPECT_EQ(IniLoad(dir.File("none.ini").c_str(), &none), IniNoFile);
    EXPECT_EQ(IniLoad(dir.File("no/folder/none.ini").c_str(), &none), IniNoFile);
    EXPECT_TRUE(none.lines.empty());
}

// A file that vanishes after it was read is written again whole: nothing
// that was read is lost.
TEST(IniStore, AFileThatVanishesBetweenReadAndWriteIsWrittenWhole) {
    TempFolder dir;
    std::string ini = dir.File("Ferrow.ini");
    const std::string before = "[Other]\r\na=1\r\n[WINDOW]\r\nx=3\r\n";
    WriteWholeFile(ini, before);
    IniDocument f;
    ASSERT_EQ(IniLoad(ini.c_str(), &f), IniLoaded);
    std::filesystem::remove(ini);
    IniSetInt(&f, "WINDOW", "y", 4);
    ASSERT_EQ(IniStore(f, ini.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(ini), before + "y=4\r\n");
}

// A file that is there but cannot be read is never taken for a missing
// one: a save would drop everything in it. Here a folder stands where the
// file should be, and a file larger than any settings file.
TEST(IniStore, AnUnreadableFileIsLeftAloneBySaves) {
    TempFolder dir;
    std::string folder = dir.File("Ferrow.ini");
    std::filesystem::create_directory(folder);
    IniDocument f;
    EXPECT_EQ(IniLoad(folder.c_str(), &f), IniReadError);
    EXPECT_EQ(IniWriteText("OPTION", "JPG", "1", folder.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    std::string big = dir.File("big.ini");
    const std::string text = "[OPTION]\r\nJPG=0\r\n" + std::string(kWholeFileLimit, ';');
    WriteWholeFile(big, text);
    EXPECT_EQ(IniLoad(big.c_str(), &f), IniReadError);
    LayoutRecord layout = {};
    EXPECT_EQ(WriteLayoutRecord(big.c_str(), layout), IniSaveReadError);
    EXPECT_EQ(IniWriteText("OPTION", "JPG", "1", big.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(big), text);
    // Reading a key of it gives the default, as with no file.
    EXPECT_EQ(IniReadInt("OPTION", "JPG", 5, big.c_str()), 5);
}

// Read-only is the file's own mark (the Windows attribute, no write bit
// here): saves refuse it and leave it as it was.
TEST(IniStore, AReadOnlyFileIsNotReplaced) {
    TempFolder dir;
    std::string ini = dir.File("Ferrow.ini");
    const std::string before = "[OPTION]\r\nJPG=0\r\n";
    WriteWholeFile(ini, before);
    namespace fs = std::filesystem;
    fs::permissions(ini, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(IniWriteText("OPTION", "JPG", "1", ini.c_str()), 0);
    LayoutRecord layout = {};
    EXPECT_EQ(WriteLayoutRecord(ini.c_str(), layout), IniSaveWriteError);
    EXPECT_EQ(ReadWholeFile(ini), before);
    EXPECT_FALSE(std::filesystem::exists(ini + ".tmp"));
    fs::permissions(ini, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(WriteLayoutRecord(ini.c_str(), layout), IniSaved);
    EXPECT_EQ(IniReadInt("OPTION", "JPG", 5, ini.c_str()), 0);
    EXPECT_EQ(IniReadInt("WINDOW", "TollBar", 5, ini.c_str()), 0);
}

}  // namespace
