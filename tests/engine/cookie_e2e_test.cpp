// Cookies end to end over real sockets: a page that sets a session cookie
// before its images answer, cookies from every kind of answer, and a
// cookies.txt brought from a browser. The fixture server answers by the
// Cookie header and logs what each request carried.
#include <cstring>

#include "engine/cookie_file.h"
#include "engine/cookies.h"
#include "tests/engine/engine_fixture.h"

namespace {

// One answer that sends text.
std::string Sent(const std::string& text) { return Answer(Send(text)); }
// The image when the request carries the session cookie, else 403.
std::string WithSession(const std::string& body) {
    return "{\"when\": [\"Cookie\", \"sid=abc\"], \"then\": " + Sent(Ok(body)) +
           ", \"else\": " + Sent(Head("403 Forbidden")) + "}";
}

std::string Routes() {
    std::vector<std::pair<std::string, std::string>> r = {
        {"/shop/page.html",
         Sent(Ok("<html><img src=\"a.jpg\"><img src=\"b.jpg\"></html>",
                 "Set-Cookie: sid=abc; Path=/shop\r\nSet-Cookie: theme=dark\r\n"))},
        {"/shop/a.jpg", WithSession("AAAA")},
        {"/shop/b.jpg", WithSession("BBBB")},
        // Answers of every kind that set a cookie each.
        {"/set/page.html", Sent(Ok("<html></html>", "Set-Cookie: page=1; Path=/\r\n"))},
        {"/set/file.jpg", Sent(Ok("f", "Set-Cookie: download=1; Path=/\r\n"))},
        {"/set/view.jpg", Sent(Ok("v", "Set-Cookie: fetch=1; Path=/\r\n"))},
        {"/set/moved.jpg",
         Sent(Head("302 Found", "Location: /set/file.jpg\r\nSet-Cookie: redirect=1; Path=/\r\n"))},
        {"/set/heads.html", Sent(Ok("<html><img src=\"probe.jpg\"></html>"))},
        {"/set/probe.jpg", Sent(Ok("p", "Set-Cookie: head=1; Path=/\r\n"))},
        {"/set/refused.jpg", Sent(Ok("r", "Set-Cookie: bad=1; Domain=example.com; Path=/\r\n"
                                          "Set-Cookie: gone=1; Path=/; Max-Age=0\r\n"))},
        {"*", Sent(Ok("ok"))},
    };
    return RoutesJson(r);
}

const auto* const kSuite = AddFixtureSuite(Routes);

std::string Url(const std::string& path, const std::string& host = "127.0.0.1") {
    return "http://" + host + ":" + std::to_string(Fixture->port) + path;
}

// The Cookie line's value in a raw request head, "-" when it has none.
std::string CookieOf(const std::string& request) {
    size_t at = request.find("\r\nCookie: ");
    if (at == std::string::npos) return "-";
    at += 10;
    return request.substr(at, request.find("\r\n", at) - at);
}

std::vector<std::string> CookiesSent(const char* path) {
    std::vector<std::string> sent;
    for (const std::string& r : Fixture->Requests(path))
        sent.push_back(CookieOf(r));
    return sent;
}

class CookieTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ClearCookies();
    }
    void TearDown() override {
        EngineTest::TearDown();
        ClearCookies();
    }
};

TEST_F(CookieTest, PageCookieOpensItsImages) {
    // Without the page's cookie the images are refused.
    OnDownload(Url("/shop/a.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Logged("err:HTTP 403 - \"" + Url("/shop/a.jpg") + "\""));
    EXPECT_FALSE(Exists("a.jpg"));
    ClearReports();
    // With it, sizes from HEAD and both downloads succeed.
    Options.HeadCheck = 1;
    OnAnalysePage(Url("/shop/page.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    ASSERT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(0, ColSize), "4");
    EXPECT_STREQ(ListText(1, ColSize), "4");
    Engine.DownloadBatchRunning = 1;
    for (int row = 0; row < 2; row++)
        OnDownload(ListText(row, ColAddress), row);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("a.jpg"), "AAAA");
    EXPECT_EQ(Saved("b.jpg"), "BBBB");
    EXPECT_TRUE(Logged(SJ("ダウンロードが終了しました")));
    // The page went without cookies; the images, HEAD and GET, with both,
    // in the order they were set (the same path).
    EXPECT_EQ(CookiesSent("/shop/page.html"), std::vector<std::string>{"-"});
    EXPECT_EQ(CookiesSent("/shop/a.jpg"),
              (std::vector<std::string>{"-", "sid=abc; theme=dark", "sid=abc; theme=dark"}));
    EXPECT_EQ(CookiesSent("/shop/b.jpg"),
              (std::vector<std::string>{"sid=abc; theme=dark", "sid=abc; theme=dark"}));
    // The line comes after Referer and ends the head; the rest is as before.
    std::string get = Fixture->Requests("/shop/b.jpg").back();
    EXPECT_EQ(get.substr(0, 17), "GET /shop/b.jpg H");
    size_t referer = get.find("\r\nReferer: "), cookie = get.find("\r\nCookie: ");
    ASSERT_NE(referer, std::string::npos);
    EXPECT_LT(referer, cookie);
    EXPECT_EQ(get.substr(cookie), "\r\nCookie: sid=abc; theme=dark\r\n\r\n");
}

TEST_F(CookieTest, EveryKindOfAnswerSetsCookies) {
    Options.HeadCheck = 1;
    OnAnalysePage(Url("/set/page.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    OnAnalysePage(Url("/set/heads.html").c_str(), -1); // HEAD of probe.jpg
    ASSERT_TRUE(RunToIdle());
    OnDownload(Url("/set/moved.jpg").c_str(), -1); // a redirect, then a download
    ASSERT_TRUE(RunToIdle());
    OnFetch(Url("/set/view.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    OnDownload(Url("/set/refused.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    OnDownload(Url("/echo.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(CookiesSent("/echo.jpg"),
              std::vector<std::string>{"page=1; head=1; redirect=1; download=1; fetch=1"});
    // Another host name for the same server gets none of them: host-only.
    OnDownload(Url("/echo2.jpg", "localhost").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(CookiesSent("/echo2.jpg"), std::vector<std::string>{"-"});
}

TEST_F(CookieTest, CookieFileBringsHostOnlyAndDomainCookiesButNotExpiredOnes) {
    std::string file = temp.File("cookies.txt");
    WriteWholeFile(file, "# Netscape HTTP Cookie File\r\n"
                         "127.0.0.1\tFALSE\t/\tFALSE\t0\thostonly\th1\r\n"
                         ".localhost\tTRUE\t/jar\tFALSE\t4102444800\tdomain\td1\r\n"
                         "localhost\tFALSE\t/\tFALSE\t1000000000\texpired\te1\r\n"
                         "this line is not a cookie\r\n");
    CopyText(Options.CookieFile, sizeof Options.CookieFile, file.c_str());
    LoadCookieFile();
    EXPECT_EQ(Reports.log, std::vector<std::string>{SJ("クッキーファイル") + file +
                                                    SJ("から2個のクッキーを読み込みました")});
    OnDownload(Url("/jar/a.jpg").c_str(), -1);
    OnDownload(Url("/jar/b.jpg", "localhost").c_str(), -1);
    OnDownload(Url("/c.jpg", "localhost").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(CookiesSent("/jar/a.jpg"), std::vector<std::string>{"hostonly=h1"});
    EXPECT_EQ(CookiesSent("/jar/b.jpg"), std::vector<std::string>{"domain=d1"});
    EXPECT_EQ(CookiesSent("/c.jpg"), std::vector<std::string>{"-"}); // path /jar only
    EXPECT_EQ(Saved("a.jpg"), "ok");
    // A file that cannot be read says so and changes nothing.
    CopyText(Options.CookieFile, sizeof Options.CookieFile, temp.File("none.txt").c_str());
    LoadCookieFile();
    EXPECT_EQ(Reports.log.back(),
              SJ("err:クッキーファイル") + temp.File("none.txt") + SJ("を読み込めませんでした"));
    EXPECT_EQ(Cookies.count, 2);
}

} // namespace
