// Our INI store and the platform's private-profile functions must read each
// other's files identically.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/layout_rules.h"
#include "settings/ini.h"
#include "tests/support/temp_folder.h"

namespace {

struct Entry {
    const char* section;
    const char* key;
    const char* value;
};

// Values chosen where both implementations are defined: plain text, blanks
// inside, Shift_JIS with a 0x5C trail byte, digits with trailing letters.
const Entry kEntries[] = {
    {"OPTION", "DLPath", "C:\\\x83\x5C\x83\x74\x83\x67\\down load"},
    {"OPTION", "Sockets", "3"},
    {"OPTION", "TimeOutSec", "15sec"},
    {"OPTION", "Extension", ".mp3 zip"},
    {"OPTION", "Proxy", ""},
    {"WINDOW", "x", "-20"},
    {"WINDOW", "FramePosition", "0.500000"},
    {"WINDOW", "URL0", "http://127.0.0.1/a b.html"},
};

std::string PlatformText(const char* section, const char* key, const std::string& path) {
    char buffer[300];
    GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer, path.c_str());
    return buffer;
}

std::string OurText(const char* section, const char* key, const std::string& path) {
    char buffer[300];
    IniReadText(section, key, "<missing>", buffer, sizeof buffer, path.c_str());
    return buffer;
}

TEST(IniPlatform, FileWeWriteReadsBackThroughThePlatform) {
    TempFolder dir;
    std::string path = dir.File("ours.ini");
    for (const Entry& e : kEntries) ASSERT_EQ(IniWriteText(e.section, e.key, e.value, path.c_str()), 1);
    IniWriteText("OPTION", "sockets", "7", path.c_str());  // replaced in place, any case
    for (const Entry& e : kEntries) {
        std::string want = std::string(e.key) == "Sockets" ? "7" : e.value;
        EXPECT_EQ(PlatformText(e.section, e.key, path), want) << e.key;
        EXPECT_EQ(OurText(e.section, e.key, path), want) << e.key;
    }
    EXPECT_EQ((int)GetPrivateProfileIntA("WINDOW", "x", 5, path.c_str()), -20);
    EXPECT_EQ((int)GetPrivateProfileIntA("OPTION", "TimeOutSec", 5, path.c_str()), 15);
    EXPECT_EQ(IniReadInt("OPTION", "TimeOutSec", 5, path.c_str()), 15);
    EXPECT_EQ(PlatformText("OPTION", "Nothing", path), "<missing>");
}

TEST(IniPlatform, FileThePlatformWritesReadsThroughOurs) {
    TempFolder dir;
    std::string path = dir.File("theirs.ini");
    for (const Entry& e : kEntries)
        ASSERT_TRUE(WritePrivateProfileStringA(e.section, e.key, e.value, path.c_str()));
    WritePrivateProfileStringA("OPTION", "SOCKETS", "9", path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush the cache
    for (const Entry& e : kEntries) {
        std::string want = std::string(e.key) == "Sockets" ? "9" : e.value;
        EXPECT_EQ(OurText(e.section, e.key, path), want) << e.key;
    }
    EXPECT_EQ(IniReadInt("option", "SOCKETS", 0, path.c_str()), 9);
    EXPECT_EQ(IniReadInt("WINDOW", "x", 0, path.c_str()), -20);
    // Where both sides write to one file, each keeps the other's entries.
    IniWriteText("OPTION", "HTM", "0", path.c_str());
    EXPECT_EQ(PlatformText("OPTION", "DLPath", path), kEntries[0].value);
    EXPECT_EQ(PlatformText("OPTION", "HTM", path), "0");
}

TEST(IniPlatform, CutsAndIntegersAgree) {
    TempFolder dir;
    std::string path = dir.File("cuts.ini");
    WriteWholeFile(path, "[S]\r\nlong=abcdefghij\r\nnum=42abc\r\nneg=-7\r\nempty=\r\n");
    for (int size : {1, 2, 5, 11, 12}) {
        char ours[32], theirs[32];
        IniReadText("S", "long", "", ours, size, path.c_str());
        GetPrivateProfileStringA("S", "long", "", theirs, size, path.c_str());
        EXPECT_STREQ(ours, theirs) << size;
    }
    for (const char* key : {"num", "neg", "empty", "missing"}) {
        EXPECT_EQ(IniReadInt("S", key, 5, path.c_str()),
                  (int)GetPrivateProfileIntA("S", key, 5, path.c_str()))
            << key;
    }
    EXPECT_EQ(OurText("S", "empty", path), PlatformText("S", "empty", path));
}

// ---- saves that cannot happen leave the file as it was

const char kBefore[] = "[Mine]\r\nkeep=1\r\n[OPTION]\r\nJPG=0\r\n";

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whatever holds the file, the save is refused as a whole: the store, the
// window layout and a single key alike, and no temporary file stays.
TEST(IniPlatform, SavesOfAHeldFileAreRefusedAndLeaveIt) {
    TempFolder dir;
    const std::string path = dir.File("Ferrow.ini");
    const struct {
        const char* what;
        DWORD access, share;
        IniSaveResult layout;
    } holders[] = {
        // Locked: nobody else may even read it.
        {"locked", GENERIC_READ | GENERIC_WRITE, 0, IniSaveReadError},
        // Open by a reader that lets others read but not replace it.
        {"open for reading", GENERIC_READ, FILE_SHARE_READ, IniSaveWriteError},
    };
    for (const auto& h : holders) {
        WriteWholeFile(path, kBefore);
        HANDLE held = CreateFileA(path.c_str(), h.access, h.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << h.what;
        IniDocument f;
        const IniLoadResult loaded = IniLoad(path.c_str(), &f);
        EXPECT_EQ(loaded, h.layout == IniSaveReadError ? IniReadError : IniLoaded) << h.what;
        LayoutRecord layout = {};
        EXPECT_EQ(WriteLayoutRecord(path.c_str(), layout), h.layout) << h.what;
        EXPECT_EQ(IniWriteText("OPTION", "JPG", "1", path.c_str()), 0) << h.what;
        // Read while held it gives the defaults, as no file does.
        EXPECT_EQ(IniReadInt("Mine", "keep", 7, path.c_str()),
                  h.layout == IniSaveReadError ? 7 : 1) << h.what;
        CloseHandle(held);
        EXPECT_EQ(ReadWholeFile(path), kBefore) << h.what;
        EXPECT_FALSE(Exists(path + ".tmp")) << h.what;
    }
}

TEST(IniPlatform, AReadOnlyFileIsNotReplaced) {
    TempFolder dir;
    const std::string path = dir.File("Ferrow.ini");
    WriteWholeFile(path, kBefore);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    LayoutRecord layout = {};
    EXPECT_EQ(WriteLayoutRecord(path.c_str(), layout), IniSaveWriteError);
    EXPECT_EQ(IniWriteText("OPTION", "JPG", "1", path.c_str()), 0);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadWholeFile(path), kBefore);
    EXPECT_FALSE(Exists(path + ".tmp"));
    // Writable again, the same save goes through and keeps the rest.
    EXPECT_EQ(WriteLayoutRecord(path.c_str(), layout), IniSaved);
    EXPECT_EQ(PlatformText("Mine", "keep", path), "1");
    EXPECT_EQ(PlatformText("WINDOW", "TollBar", path), "0");
}

}  // namespace
