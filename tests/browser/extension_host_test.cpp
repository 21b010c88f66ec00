// The browser extension's host as the settings switch registers it: the
// manifest beside the program and the three browsers' keys, written and
// removed, from a folder with Japanese in its name.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/browser_win.h"
#include "settings/host_manifest.h"
#include "settings/options.h"
#include "tests/browser/registry_support.h"
#include "tests/support/temp_folder.h"
#include "text/text.h"

namespace {

std::wstring Wide(const char* text, UINT codePage) {
    wchar_t out[MAX_PATH * 2];
    MultiByteToWideChar(codePage, 0, text, -1, out, MAX_PATH * 2);
    return out;
}

TEST(ExtensionHost, SwitchWritesAndRemovesManifestAndKeys) {
    TempFolder temp;
    // "ツール" in the program's code page, as ProgramFolder holds it.
    std::string folder = temp.path.string() + "\\\x83\x63\x81\x5b\x83\x8b";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    CopyText(ProgramFolder, sizeof ProgramFolder, folder.c_str());
    const std::string manifest = folder + "\\FerrowHost.json";

    ASSERT_EQ(1, RegisterExtensionHost());
    std::string json = ReadWholeFile(manifest);
    // The path is UTF-8 in the file, its backslashes escaped.
    std::string utf8Folder = temp.path.string() + "\\\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab";
    std::string escaped;
    for (char c : utf8Folder + "\\FerrowHost.exe")
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(json.find("\"path\": \"" + escaped + "\""), std::string::npos) << json;
    EXPECT_EQ(json, HostManifestJson((utf8Folder + "\\FerrowHost.exe").c_str()));
    for (const char* key : kHostManifestKeys) {
        bool found = false;
        std::wstring value =
            ReadText(HKEY_CURRENT_USER, Wide(key, CP_ACP).c_str(), nullptr, &found);
        EXPECT_TRUE(found) << key;
        EXPECT_EQ(value, Wide(manifest.c_str(), CP_ACP)) << key;
    }

    EXPECT_EQ(1, UnregisterExtensionHost());
    for (const char* key : kHostManifestKeys)
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Wide(key, CP_ACP).c_str())) << key;
    EXPECT_EQ(GetFileAttributesA(manifest.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
