#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "settings/ini.h"
#include "settings/options.h"
#include "tests/support/temp_folder.h"

namespace {

class OptionsTest : public ::testing::Test {
protected:
    TempFolder dir;
    void SetUp() override {
        std::string exe = dir.File("Renamed.exe");
        FormProgramPaths(exe.c_str());
    }
};

TEST_F(OptionsTest, ProgramPathsIgnoreTheExecutableName) {
    EXPECT_EQ(std::string(IniPath), dir.File("Ferrow.ini"));
    EXPECT_EQ(std::string(ProgramFolder), dir.path.string());
    FormProgramPaths("C:\\Ferrow.exe");
    EXPECT_STREQ(ProgramFolder, "C:");
    EXPECT_STREQ(IniPath, "C:\\Ferrow.ini");
    // 0x5C as the trail byte of a Shift_JIS character is not a folder separator.
    FormProgramPaths("D:\\\x83\x5C\x83\x74\x83\x67\\bin\\Ferrow.exe");
    EXPECT_STREQ(ProgramFolder, "D:\\\x83\x5C\x83\x74\x83\x67\\bin");
}

TEST_F(OptionsTest, DefaultsWithNoFile) {
    memset(&Options, 0x55, sizeof Options);
    LoadOptions();
    EXPECT_EQ(Options.Hierarchical, 1);
    EXPECT_EQ(Options.SameFileName, 0);
    EXPECT_EQ(Options.Sockets, 3);
    EXPECT_STREQ(Options.DLPath, ProgramFolder);
    EXPECT_EQ(Options.InternalLinks, 0);
    EXPECT_EQ(Options.HeadCheck, 1);
    EXPECT_EQ(Options.ThumbNail, 0);
    EXPECT_EQ(Options.TimeOut, 1);
    EXPECT_EQ(Options.TimeOutSec, 10);
    EXPECT_EQ(Options.JPG, 1);
    EXPECT_EQ(Options.HTM, 1);
    EXPECT_EQ(Options.PNG + Options.GIF + Options.WAV + Options.LZH, 0);
    EXPECT_EQ(Options.WEBP + Options.AVIF, 2);
    EXPECT_STREQ(Options.Extension, "");
    EXPECT_EQ(Options.MinSizeCheck, 0);
    EXPECT_EQ(Options.MaxSizeCheck, 0);
    EXPECT_EQ(Options.MinSize, 0);
    EXPECT_EQ(Options.MaxSize, 1000000);
    EXPECT_EQ(Options.ClickHTML, 1);
    EXPECT_EQ(Options.ViewerDialog, 0);
    EXPECT_EQ(Options.ExternalIcon, 0);
    EXPECT_EQ(Options.IEMenu, 0);
    EXPECT_EQ(Options.BrowserExtension, 0);
    EXPECT_EQ(Options.URLSave, 1);
    EXPECT_EQ(Options.ProxyFlag, 0);
    EXPECT_STREQ(Options.Proxy, "");
    EXPECT_EQ(Options.ProxyPort, 0);
    EXPECT_EQ(Options.HostSockets, 4);
    EXPECT_STREQ(Options.CookieFile, "");
}

// Writes each key with the text value(key, place) and loads the file.
template <typename Value>
void LoadWritten(Value value) {
    IniDocument file;
    for (int i = 0; i < kOptionKeyCount; i++)
        IniSetText(&file, kOptionSection, kOptionKeys[i].key, value(kOptionKeys[i], i).c_str());
    ASSERT_EQ(IniStore(file, IniPath), 1);
    LoadOptions();
}

std::string Number(int64_t value) { return std::to_string(value); }

TEST_F(OptionsTest, EveryKeyOfTheTableRoundTripsThroughTheFile) {
    size_t bytes = 0;
    for (const OptionKey& key : kOptionKeys) {
        ASSERT_NE(key.key, nullptr);
        EXPECT_EQ(OptionOfField(key.offset), &key) << key.key << ": one key per field";
        bytes += key.size;
    }
    EXPECT_EQ(bytes, sizeof(OptionsRecord)) << "a field without a key";

    // Missing keys give the defaults, and the defaults written read back.
    auto fallback = [](const OptionKey& key, int) {
        if (key.kind != TextKey) return Number(key.fallback);
        return std::string(key.fallbackText ? key.fallbackText : ProgramFolder);
    };
    for (int written = 0; written < 2; written++) {
        WriteWholeFile(IniPath, "");
        if (written) LoadWritten(fallback);
        else LoadOptions();
        for (const OptionKey& key : kOptionKeys) {
            if (key.kind == TextKey) EXPECT_EQ(OptionText(&Options, key), fallback(key, 0)) << key.key;
            else EXPECT_EQ(*OptionNumber(&Options, key), key.fallback) << key.key;
        }
    }

    // A value of its own reaches the key's field and no other.
    auto own = [](const OptionKey& key, int place) {
        if (key.kind == TextKey) return std::string("text of ") + key.key;
        return Number(key.heldOnLoad ? key.max - 1 : 100 + place);
    };
    LoadWritten(own);
    for (int i = 0; i < kOptionKeyCount; i++) {
        const OptionKey& key = kOptionKeys[i];
        if (key.kind == TextKey) EXPECT_EQ(OptionText(&Options, key), own(key, i));
        else EXPECT_EQ(Number(*OptionNumber(&Options, key)), own(key, i)) << key.key;
    }

    // Present but empty: the integer read takes the default, the text reads
    // convert nothing.
    LoadWritten([](const OptionKey&, int) { return std::string(); });
    for (const OptionKey& key : kOptionKeys) {
        if (key.kind == TextKey) EXPECT_STREQ(OptionText(&Options, key), "") << key.key;
        else EXPECT_EQ(*OptionNumber(&Options, key), key.kind == IntKey ? key.fallback : 0) << key.key;
    }

    // Beyond the range: held there where the load holds it, else as written.
    for (int64_t beyond : {-1, 1}) {
        auto outside = [beyond](const OptionKey& key, int) {
            return Number(beyond < 0 ? int64_t(key.min) - 1 : int64_t(key.max) + 1);
        };
        LoadWritten(outside);
        for (const OptionKey& key : kOptionKeys) {
            if (key.kind == TextKey || (key.min == INT32_MIN && beyond < 0) ||
                (key.max == INT32_MAX && beyond > 0))
                continue;  // no number beyond those
            int expected = key.heldOnLoad ? (beyond < 0 ? key.min : key.max)
                                          : (int)std::stoll(outside(key, 0));
            EXPECT_EQ(*OptionNumber(&Options, key), expected) << key.key << " " << beyond;
        }
    }
}

TEST_F(OptionsTest, HostSocketsStayBetweenOneAndTen) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"1", 1}, {"7", 7},  {"10", 10}, {"11", 10}, {"999", 10},
        {"0", 1}, {"-3", 1}, {"abc", 1}, {"", 4}, // present but empty: the default
    };
    for (const auto& c : cases) {
        WriteWholeFile(IniPath, std::string("[OPTION]\r\nHostSockets=") + c.text + "\r\n");
        LoadOptions();
        EXPECT_EQ(Options.HostSockets, c.value) << c.text;
    }
}

TEST_F(OptionsTest, CookieFileAsWrittenAndCut) {
    WriteWholeFile(IniPath, "[OPTION]\r\nCookieFile=data\\cookies.txt\r\n");
    LoadOptions();
    EXPECT_STREQ(Options.CookieFile, "data\\cookies.txt");
    WriteWholeFile(IniPath, "[OPTION]\r\nCookieFile=" + std::string(400, 'c') + "\r\n");
    LoadOptions();
    EXPECT_EQ(strlen(Options.CookieFile), 259u);
}

TEST_F(OptionsTest, TextNumbersAndPresentEmptyValues) {
    WriteWholeFile(IniPath, "[OPTION]\r\nTimeOutSec=abc\r\nMaxSize=\r\nMinSize= 12kb\r\n"
                            "ProxyPort=8080\r\nSockets=25\r\nGIF=1\r\nProxy=proxy.example\r\n");
    LoadOptions();
    EXPECT_EQ(Options.TimeOutSec, 0);
    EXPECT_EQ(Options.MaxSize, 0);  // present though empty: not the default
    EXPECT_EQ(Options.MinSize, 12);
    EXPECT_EQ(Options.ProxyPort, 8080);
    EXPECT_EQ(Options.Sockets, 25);  // not range-tested on load
    EXPECT_EQ(Options.GIF, 1);
    EXPECT_STREQ(Options.Proxy, "proxy.example");
}

TEST_F(OptionsTest, LongTextsAreCutToTheirFields) {
    std::string longPath(400, 'p'), longExt(400, 'e');
    WriteWholeFile(IniPath, "[OPTION]\r\nDLPath=" + longPath + "\r\nExtension=" + longExt + "\r\n");
    LoadOptions();
    EXPECT_EQ(strlen(Options.DLPath), 259u);
    EXPECT_EQ(strlen(Options.Extension), 255u);
}

}  // namespace
