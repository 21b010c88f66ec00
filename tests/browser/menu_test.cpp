// The browser's context-menu entry as the program writes and removes it,
// and the program's registration of Ferrow.dll at start-up.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/browser_win.h"
#include "settings/options.h"
#include "tests/browser/registry_support.h"
#include "tests/support/recorder.h"
#include "text/text.h"

namespace {

class BrowserMenu : public ::testing::Test {
protected:
    void SetUp() override {
        ClearReports();
        RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    }
    MenuKeySnapshot menuKey;  // put back as found after each test
};

std::string PagePath() {
    char page[MAX_PATH] = {};
    DWORD bytes = sizeof page;
    RegGetValueA(HKEY_CURRENT_USER, kMenuKey, nullptr, RRF_RT_REG_SZ, nullptr, page, &bytes);
    return page;
}

DWORD DwordValue(const char* name, DWORD* typeOut) {
    DWORD value = 0xDEADBEEF, bytes = sizeof value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    RegQueryValueExA(key, name, nullptr, typeOut, (BYTE*)&value, &bytes);
    RegCloseKey(key);
    return value;
}

TEST_F(BrowserMenu, WritesThePagePathAndItsTwoNumbers) {
    CopyText(ProgramFolder, sizeof ProgramFolder, "C:\\Tools");
    EXPECT_EQ(1, RegisterBrowserMenu());
    EXPECT_EQ("C:\\Tools\\ie_menu.htm", PagePath());
    DWORD type = 0;
    EXPECT_EQ(65u, DwordValue("contexts", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(0u, DwordValue("Flags", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(0, BrowserCannotStartFrom(ProgramFolder));
    EXPECT_TRUE(Reports.log.empty());
}

// The caller logs the warning (the settings' RegisterBrowserMenuAndWarn);
// the registration itself reports nothing.
TEST_F(BrowserMenu, JapaneseFolderWarnsAndStillRegisters) {
    CopyText(ProgramFolder, sizeof ProgramFolder, "C:\\ツール\\解析");
    EXPECT_EQ(1, BrowserCannotStartFrom(ProgramFolder));
    EXPECT_EQ(1, RegisterBrowserMenu());
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_EQ("C:\\ツール\\解析\\ie_menu.htm", PagePath());
}

TEST_F(BrowserMenu, HalfWidthKatakanaFolderDoesNotWarn) {
    CopyText(ProgramFolder, sizeof ProgramFolder, "C:\\ﾂｰﾙ");
    EXPECT_EQ(0, BrowserCannotStartFrom(ProgramFolder));
    EXPECT_EQ(1, RegisterBrowserMenu());
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_EQ("C:\\ﾂｰﾙ\\ie_menu.htm", PagePath());
}

TEST_F(BrowserMenu, UnregisterRemovesTheWholeKeyAndIgnoresAMissingOne) {
    CopyText(ProgramFolder, sizeof ProgramFolder, "C:\\Tools");
    ASSERT_EQ(1, RegisterBrowserMenu());
    EXPECT_EQ(1, UnregisterBrowserMenu());
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key));
    EXPECT_EQ(1, UnregisterBrowserMenu());
}

TEST(AutomationLibrary, RegistersTheLibraryBesideTheProgram) {
    std::wstring library = ProgramFolderW() + L"Ferrow.dll";
    ServerRegistrationSnapshot registration(library);
    CallLibraryExport(library, "DllUnregisterServer");
    ClearReports();
    EXPECT_EQ(1, RegisterAutomationLibrary((ProgramFolderA() + "Ferrow.dll").c_str()));
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_EQ(library, ReadText(HKEY_CLASSES_ROOT,
                                L"CLSID\\{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}\\InprocServer32", nullptr));
}

TEST(AutomationLibrary, MissingLibraryOrExportFails) {
    EXPECT_EQ(0, RegisterAutomationLibrary((ProgramFolderA() + "NoSuchLibrary.dll").c_str()));
    EXPECT_EQ(0, RegisterAutomationLibrary("kernel32.dll"));  // loads, but registers nothing
}

}  // namespace
