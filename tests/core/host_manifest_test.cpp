#include "settings/host_manifest.h"

#include <gtest/gtest.h>

#include "engine/snapshot.h"

TEST(HostManifest, PathsAreJsonStringsAndOnlyTheExtensionMayCall) {
    const struct {
        const char* path;
        const char* written;
    } cases[] = {
        {"C:\\Tools\\Ferrow\\FerrowHost.exe", "\"C:\\\\Tools\\\\Ferrow\\\\FerrowHost.exe\""},
        // A folder with Japanese in its name stays UTF-8.
        {"C:\\\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab\\FerrowHost.exe",
         "\"C:\\\\\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab\\\\FerrowHost.exe\""},
        {"D:\\a \"b\"\\FerrowHost.exe", "\"D:\\\\a \\\"b\\\"\\\\FerrowHost.exe\""},
    };
    for (const auto& c : cases) {
        std::string json = HostManifestJson(c.path);
        EXPECT_NE(json.find(std::string("\"path\": ") + c.written + ","), std::string::npos)
            << json;
        EXPECT_NE(json.find("\"name\": \"ferrow.handover\""), std::string::npos);
        EXPECT_NE(json.find(std::string("\"allowed_origins\": [\"chrome-extension://") +
                            kExtensionChromiumId + "/\"]"),
                  std::string::npos);
        EXPECT_NE(
            json.find(std::string("\"allowed_extensions\": [\"") + kExtensionFirefoxId + "\"]"),
            std::string::npos);
    }
    for (const char* key : kHostManifestKeys)
        EXPECT_STREQ(key + strlen(key) - strlen(kNativeHostName), kNativeHostName);
}
