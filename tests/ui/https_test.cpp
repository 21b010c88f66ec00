// HTTPS through Ferrow.exe under Wine: Schannel with the program's own
// certificate checks, against TLS servers on 127.0.0.1 whose authority the
// launcher added to this run's trusted roots.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/ui/ferrow_app.h"

namespace {

using Texts = std::vector<std::string>;

std::string Env(const char* name) {
    char value[1024] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

std::string Secure(const char* portVariable, const std::string& path) {
    return "https://localhost:" + Env(portVariable) + path;
}

// Both files exist, hold the same bytes, and are not empty.
::testing::AssertionResult SameBytes(const std::string& a, const std::string& b) {
    std::string x = FileBytes(a), y = FileBytes(b);
    if (!x.empty() && x == y) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < x.size() && at < y.size() && x[at] == y[at])
        at++;
    return ::testing::AssertionFailure() << a << ": " << x.size() << " bytes, " << b << ": "
                                         << y.size() << " bytes, first difference at " << at;
}

std::string Ini(const std::string& options) {
    return "[OPTION]\r\nGIF=1\r\nPNG=1\r\nJPG=1\r\nHTM=1\r\nHierarchical=0\r\nSockets=2\r\n"
           "TimeOut=1\r\nTimeOutSec=20\r\n" +
           options + "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n";
}

// Names of the files in the download folder.
Texts Downloaded(const FerrowApp& app) {
    Texts names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((app.folder() + "\\dl\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool DownloadAllAndWait(FerrowApp& app) {
    app.Command(40004);
    return app.WaitForLog("ダウンロードが終了しました", 30000);
}

// Asked for by address, the server is proved by the certificate's IP entry.
TEST(HttpsTest, AnAddressIsMatchedAgainstTheCertificatesAddressNames) {
    FerrowApp app;
    const std::string top = "https://127.0.0.1:" + Env("FERROW_TLS_GOOD") + "/index.html";
    ASSERT_TRUE(app.Start(top, Ini("HeadCheck=0\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました", 30000)) << app.LogText();
    EXPECT_TRUE(app.LogHas("index.htmlを解析しました")) << app.LogText();
    EXPECT_EQ(app.Caption(), "Secure - Ferrow");
    EXPECT_EQ(app.ListCount(), 2);
    EXPECT_EQ(app.Exit(), 0);
}

TEST(HttpsTest, AnalysesAPageAndDownloadsByteIdenticalFiles) {
    FerrowApp app;
    const std::string top = Secure("FERROW_TLS_GOOD", "/index.html");
    ASSERT_TRUE(app.Start(top, Ini("HeadCheck=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました", 30000)) << app.LogText();
    EXPECT_TRUE(app.LogHas("index.htmlを解析しました"));
    EXPECT_EQ(app.Caption(), "Secure - Ferrow");
    // The relative link keeps https; the protocol-relative one takes it.
    ASSERT_EQ(app.ListColumn(3), (Texts{Secure("FERROW_TLS_GOOD", "/dir/photo.jpg"),
                                        Secure("FERROW_TLS_GOOD", "/b.gif")}));
    ASSERT_TRUE(WaitUntil(
        [&] { return app.ListText(0, 1) == "300000" && app.ListText(1, 1) == "13"; }, 20000))
        << app.LogText();

    ASSERT_TRUE(DownloadAllAndWait(app)) << app.LogText();
    EXPECT_TRUE(app.LogHas("photo.jpg(300000bytes)をダウンロードしました")) << app.LogText();
    const std::string site = SiteFolder();
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_TRUE(SameBytes(dl + "photo.jpg", site + "\\dir\\photo.jpg"));
    EXPECT_EQ(FileBytes(dl + "b.gif"), "GIF89a-secure");
}

TEST(HttpsTest, AddressHandedOverByCopyDataIsAnalysedAndListed) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("", Ini("")));
    const std::string address = Secure("FERROW_TLS_GOOD", "/index.html");
    app.CopyData(address.c_str(), (DWORD)address.size() + 1);
    EXPECT_EQ(app.UrlText(), address);
    ASSERT_TRUE(app.WaitForLog("index.htmlを解析しました", 30000)) << app.LogText();
    EXPECT_EQ(app.ListCount(), 2);
}

TEST(HttpsTest, PlainAddressRedirectedToHttpsIsAnalysed) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("http://127.0.0.1:" + Env("FERROW_TLS_PLAIN") + "/up.html", Ini("")));
    ASSERT_TRUE(app.WaitForLog("index.htmlを解析しました", 30000)) << app.LogText();
    EXPECT_EQ(app.ListCount(), 2);
    EXPECT_EQ(app.Caption(), "Secure - Ferrow");
}

TEST(HttpsTest, UnknownAuthorityAndWrongHostAreRefusedWithNothingWritten) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("http://127.0.0.1:" + Env("FERROW_TLS_PLAIN") + "/bad.html",
                          Ini("HeadCheck=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました", 30000)) << app.LogText();
    ASSERT_EQ(app.ListCount(), 2);
    ASSERT_TRUE(DownloadAllAndWait(app)) << app.LogText();
    EXPECT_TRUE(app.LogHas("err:SSL 証明書の発行者を信頼できません - \"" +
                           Secure("FERROW_TLS_UNTRUSTED", "/dir/photo.jpg") + "\""))
        << app.LogText();
    EXPECT_TRUE(app.LogHas("err:SSL 証明書のホスト名が一致しません - \"" +
                           Secure("FERROW_TLS_WRONGHOST", "/b.gif") + "\""))
        << app.LogText();
    int errors = 0;
    for (const std::string& line : app.LogLines())
        errors += line.rfind("err:SSL ", 0) == 0;
    EXPECT_EQ(errors, 2) << app.LogText(); // one line per refused file
    EXPECT_EQ(Downloaded(app), Texts{}) << app.LogText();
}

TEST(HttpsTest, RefusedTopPageSaysSoInTheCaption) {
    FerrowApp direct;
    ASSERT_TRUE(direct.Start(Secure("FERROW_TLS_WRONGHOST", "/index.html"), Ini("")));
    ASSERT_TRUE(direct.WaitForLog("解析が終了しました", 30000)) << direct.LogText();
    EXPECT_EQ(direct.Caption(), "SSLエラー - Ferrow");
    EXPECT_EQ(direct.ListCount(), 0);
}

TEST(HttpsTest, DownloadThroughTinyproxyTunnel) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(
        Secure("FERROW_TLS_GOOD", "/index.html"),
        Ini("ProxyFlag=1\r\nProxy=127.0.0.1\r\nProxyPort=" + Env("FERROW_TLS_PROXY") + "\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました", 30000)) << app.LogText();
    ASSERT_EQ(app.ListCount(), 2);
    ASSERT_TRUE(DownloadAllAndWait(app)) << app.LogText();
    EXPECT_TRUE(SameBytes(app.folder() + "\\dl\\photo.jpg", SiteFolder() + "\\dir\\photo.jpg"));
    // Every connection went through the proxy's tunnel.
    std::string log = FileBytes(Env("FERROW_TLS_PROXY_LOG"));
    EXPECT_NE(log.find("CONNECT localhost:" + Env("FERROW_TLS_GOOD")), std::string::npos) << log;
}

} // namespace
