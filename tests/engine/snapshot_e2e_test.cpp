// Pages handed over by a browser, end to end over real sockets: the rendered
// markup is analysed without fetching the page, the browser's pictures,
// cookies and User-Agent go into the run, and a link or a picture hand-over
// fetches or lists its address with them. The fixture server answers by the
// Cookie header and logs what each request carried.
#include "engine/cookies.h"
#include "engine/requests.h"
#include "engine/snapshot.h"
#include "tests/engine/engine_fixture.h"

namespace {

const char kAgent[] = "Mozilla/5.0 (X11; Linux x86_64) Chrome/131.0 Safari/537.36";

std::string Sent(const std::string& text) {
    return Answer(Send(text));
}
// The picture for the browser's signed-in reader, else 403.
std::string Gated(const std::string& body) {
    return "{\"when\": [\"Cookie\", \"sid=reader\"], \"then\": " + Sent(Ok(body)) +
           ", \"else\": " + Sent(Head("403 Forbidden")) + "}";
}

std::string Routes() {
    std::vector<std::pair<std::string, std::string>> r = {
        // As served, before its script built the gallery.
        {"/gallery/page.html", Sent(Ok("<html><script>build()</script></html>"))},
        {"/gallery/a.jpg", Gated("AAAA")},
        {"/gallery/bg.png", Gated("PNG!")},
        {"/gallery/next.html", Sent(Ok("<html><img src=\"c.jpg\"></html>"))},
        {"/gallery/c.jpg", Gated("CC")},
        {"*", Sent(Ok("ok"))},
    };
    return RoutesJson(r);
}

const auto* const kSuite = AddFixtureSuite(Routes);

std::string Url(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(Fixture->port) + path;
}

// A header's value in a raw request head, "-" when it has none.
std::string HeaderOf(const std::string& request, const std::string& name) {
    size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "-";
    at += name.size() + 4;
    return request.substr(at, request.find("\r\n", at) - at);
}

// The header in every request made for path, in order.
std::vector<std::string> Sent(const char* path, const std::string& name) {
    std::vector<std::string> values;
    for (const std::string& r : Fixture->Requests(path))
        values.push_back(HeaderOf(r, name));
    return values;
}

Snapshot Handed(int32_t kind, const std::string& address, const std::string& referer) {
    Snapshot s;
    s.kind = kind;
    CopyText(s.address, sizeof s.address, address.c_str());
    CopyText(s.referer, sizeof s.referer, referer.c_str());
    CopyText(s.agent, sizeof s.agent, kAgent);
    s.cookies = {"127.0.0.1\tFALSE\t/gallery\tFALSE\t0\tsid\treader"};
    return s;
}

std::vector<std::string> ListedAddresses() {
    std::vector<std::string> rows;
    for (int row = 0; row < ListCount(); row++)
        rows.push_back(ListText(row, ColAddress));
    return rows;
}

class SnapshotTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ClearCookies();
        Options.HeadCheck = 1;
        Options.PNG = 1;
    }
    void TearDown() override {
        EngineTest::TearDown();
        ClearCookies();
    }
};

TEST_F(SnapshotTest, RenderedPageIsAnalysedWithTheBrowsersPicturesCookiesAndAgent) {
    Options.InternalLinks = 1;
    Snapshot page = Handed(SnapshotPage, Url("/gallery/page.html"), "");
    // The gallery as the script left it, with a meta tag that does not hold.
    page.html = "<html><head><meta charset=\"shift_jis\"></head><body>"
                "<img src=\"a.jpg\" alt=\"\xe5\x86\x99\xe7\x9c\x9f\"><a href=\"next.html\">"
                "\xe6\xac\xa1</a></body></html>";
    page.pictures = {Url("/gallery/bg.png"), Url("/gallery/a.jpg")};
    AnalyseSnapshot(page);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Fixture->Requests("/gallery/page.html").empty()); // never fetched
    EXPECT_EQ(ListedAddresses(),
              (std::vector<std::string>{Url("/gallery/a.jpg"), Url("/gallery/next.html"),
                                        Url("/gallery/bg.png"), Url("/gallery/c.jpg")}));
    EXPECT_TRUE(Logged(SJ("ブラウザから受け取ったページを解析しました")));
    EXPECT_TRUE(Logged(SJ("ブラウザのクッキーを1個受け取りました")));
    // HEAD checks found the sizes with the browser's cookie and agent.
    EXPECT_STREQ(ListText(0, ColSize), "4");
    EXPECT_STREQ(ListText(2, ColSize), "4");
    EXPECT_STREQ(ListText(3, ColSize), "2");
    EXPECT_EQ(Sent("/gallery/bg.png", "User-Agent"), std::vector<std::string>{kAgent});
    EXPECT_EQ(Sent("/gallery/bg.png", "Referer"),
              std::vector<std::string>{Url("/gallery/page.html")});
    // next.html: its HEAD check, then its analysis.
    EXPECT_EQ(Sent("/gallery/next.html", "User-Agent"), (std::vector<std::string>{kAgent, kAgent}));
    EXPECT_EQ(Sent("/gallery/c.jpg", "Cookie"), std::vector<std::string>{"sid=reader"});

    Engine.DownloadBatchRunning = 1;
    OnDownload(ListText(0, ColAddress), 0);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("a.jpg"), "AAAA");
    EXPECT_EQ(Sent("/gallery/a.jpg", "User-Agent"), (std::vector<std::string>{kAgent, kAgent}));

    // An analysis the user starts goes as Ferrow again.
    OnAnalysePage(Url("/gallery/page.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(HeaderOf(Fixture->Requests("/gallery/page.html").back(), "User-Agent").substr(0, 7),
              "Ferrow/");
}

TEST_F(SnapshotTest, LinkIsFetchedAndPictureListedWithTheBrowsersCookies) {
    AnalyseSnapshot(Handed(SnapshotLink, Url("/gallery/next.html"), Url("/gallery/page.html")));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Sent("/gallery/next.html", "Referer").back(), Url("/gallery/page.html"));
    EXPECT_EQ(Sent("/gallery/next.html", "User-Agent").back(), kAgent);
    EXPECT_EQ(ListedAddresses(), std::vector<std::string>{Url("/gallery/c.jpg")});
    EXPECT_STREQ(ListText(0, ColSize), "2");

    AnalyseSnapshot(Handed(SnapshotPicture, Url("/gallery/bg.png"), Url("/gallery/page.html")));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(ListedAddresses(), std::vector<std::string>{Url("/gallery/bg.png")});
    EXPECT_STREQ(ListText(0, ColPage), Url("/gallery/page.html").c_str());
    EXPECT_STREQ(ListText(0, ColSize), "4");
    EXPECT_EQ(Sent("/gallery/bg.png", "Referer").back(), Url("/gallery/page.html"));
    EXPECT_TRUE(Logged(SJ("ブラウザから受け取った画像を一覧に加えました")));
}

} // namespace
