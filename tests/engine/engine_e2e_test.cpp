// End-to-end tests of the engine over real sockets on 127.0.0.1: the
// scriptable fixture server for exact and hostile answers, Python's file
// server for ordinary files and tinyproxy for the proxy path.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "engine/http.h"
#include "engine/platform.h"
#include "resources/version.h"
#include "tests/engine/engine_fixture.h"
#include "text/text.h"

void AdvanceTickCountForTests(uint32_t ms);

namespace {


// Routes of the suite's fixture server.
std::string Routes() {
    std::vector<std::pair<std::string, std::string>> r = {
        {"/dir/a%20b.jpg", Send(Ok("hello"))},
        {"/x.jpg", Send(Ok("hello"))},
        {"/a.jpg", Send(Ok("AAAA"))},
        {"/date-a.jpg", Send(Ok("a", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"))},
        {"/date-b.jpg", Send(Ok("b", "Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT\r\n"))},
        {"/date-c.jpg", Send(Ok("c", "Last-Modified: Sun Nov  6 08:49:37 1994\r\n"))},
        {"/missing.jpg", Send(Head("404 Not Found") + "gone")},
        {"/missing.html", Send("HTTP/1.1 404 Not Found\r\n\r\n")},
        {"/other.jpg", Send(Head("303 See Other", "Location: /x.jpg\r\n"))},
        {"/short.jpg", Send("HTTP/1.0 2")},
        {"/garbage.jpg", Send("hello world\r\n\r\nbody")},
        {"/silent-close.jpg", ""},
        {"/r1.jpg", Send(Head("302 Found", "Location: r2.jpg\r\n"))},
        {"/r2.jpg", Send(Head("301 Moved", "Location: http://127.0.0.1:{port}/final.jpg\r\n"))},
        {"/final.jpg", Send(Ok("final"))},
        {"/rel/dir/x.jpg", Send(Head("302 Found", "Location: ../y.jpg\r\n"))},
        {"/rel/y.jpg", Send(Ok("why"))},
        {"/loop.jpg", Send(Head("302 Found", "Location: loop.jpg\r\n"))},
        {"/noloc.jpg", Send(Head("302 Found"))},
        {"/moved.html", Send(Head("302 Found", "Location: page.html\r\n"))},
        {"/page.html", Send(Ok("<html><title>T</title><a href=\"x.jpg\">x</a></html>"))},
        {"/empty.html", Send(Ok(""))},
        {"/big-head.jpg", "{\"send\": " + Json("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n") +
                              "}, {\"repeat\": " + Json("X-Pad: " + std::string(90, 'p') + "\r\n") +
                              ", \"times\": 100}, " + Send("\r\nBODY")},
        {"/huge-head.jpg", Send("HTTP/1.0 200 OK\r\n") +
                               ", {\"repeat\": " + Json("X-Pad: " + std::string(90, 'p') + "\r\n") +
                               ", \"times\": 800}, " + Send("\r\nBODY")},
        {"/drip-head.jpg",
         "{\"drip\": " + Json(Ok("dripped", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n")) +
             ", \"delay\": 0.002}"},
        {"/cl-in-body.jpg",
         Send(Head("200 OK") + "Content-Length: 3\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 "
                               "GMT\r\nLocation: http://evil/\r\n\r\nrest")},
        {"/neg.jpg", Send(Head("200 OK", "Content-Length: -5\r\n") + "abcdef")},
        {"/nan.jpg", Send(Head("200 OK", "Content-Length: 12abc\r\n") + "abcdef")},
        {"/overflow.jpg", Send(Head("200 OK", "Content-Length: 9223372036854775808\r\n") + "abcdef")},
        {"/past4g.jpg", Send(Head("200 OK", "Content-Length: 4294967297\r\n") + "abcdef")},
        {"/cut.jpg", Send(Head("200 OK", "Content-Length: 1000\r\n")) + ", {\"body\": 500}"},
        {"/small.jpg", Send(Head("200 OK", "Content-Length: 100\r\n")) + ", {\"body\": 100}"},
        {"/large.jpg", Send(Head("200 OK", "Content-Length: 5000\r\n")) + ", {\"body\": 5000}"},
        {"/nolen.jpg", Send(Head("200 OK")) + ", {\"body\": 100}"},
        {"/photo.jpg", Send(Ok("new"))},
        {"/readme", Send(Ok("new"))},
        {"/sized.jpg", Send(Head("200 OK", "Content-Length: 6000\r\n")) + ", {\"body\": 6000}"},
        {"/smaller.jpg", Send(Head("200 OK", "Content-Length: 4000\r\n")) + ", {\"body\": 4000}"},
        // Held until the test releases them, or the engine closes them.
        {"/slow.jpg", Send(Head("200 OK", "Content-Length: 4\r\n")) +
                          ", {\"hold\": \"slow\"}, " + Send("slow")},
        {"/silent.jpg", "{\"hold\": \"silent\"}"},
        {"/drip-body.jpg", Send(Head("200 OK", "Content-Length: 100000\r\n")) +
                               ", {\"body\": 1000}, {\"hold\": \"drip\"}"},
        {"/lying.html", Send(Head("200 OK", "Content-Length: 100000000\r\n") + "<html>")},
        {"/endless.html", Send(Head("200 OK")) + ", {\"body\": 17000000}"},
        {"/fetch.jpg", Send(Ok("JPEGDATA", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"))},
        // Pictures without an extension, typed by their answers.
        {"/noext.html",
         Send(Ok("<img src=\"avatar/cc6f7a?s=48\"><picture><source srcset=\"cdn/abc 2x\">"
                 "</picture><meta property=\"og:image\" content=\"/err/pic\">"
                 "<img src=\"/px/count\" width=\"1\" height=\"1\"><a href=\"/link/doc\">d</a>"
                 "<div style=\"background:url(/gif/z)\"></div>"))},
        {"/avatar/cc6f7a?s=48", Send(Ok("JPEGDATA", "Content-Type: image/jpeg\r\n"))},
        {"/cdn/abc", Send(Ok("WEBPDATA", "Content-Type: image/webp\r\n"))},
        {"/err/pic", Send(Ok("<html>not here</html>", "Content-Type: text/html\r\n"))},
        {"/gif/z", Send(Ok("GIFDATA", "Content-Type: image/gif\r\n"))},
        {"*", Send(Ok("ok"))},
    };
    for (auto& route : r) route.second = Answer(route.second);
    return RoutesJson(r);
}

const auto* const kSuite = AddFixtureSuite(Routes);

std::string Url(const std::string& path) {
    return Fixture->Url(path);
}

// ---- The request on the wire -------------------------------------------

class RequestTest : public EngineTest {};

TEST_F(RequestTest, DirectRequestEscapesSpacesAndEndsWithEmptyLine) {
    OnDownload(Url("/dir/a b.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    auto requests = Fixture->Requests("/dir/a%20b.jpg");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0],
              "GET /dir/a%20b.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: "
              "127.0.0.1:" + std::to_string(Fixture->port) +
                  "\r\nUser-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n");
    EXPECT_EQ(Saved("a b.jpg"), "hello");
    EXPECT_TRUE(Logged(SJ("a%20b.jpg(5bytes)をダウンロードしました")));
}

TEST_F(RequestTest, ProxyRequestCarriesTheWholeAddressAndLooksUpTheProxy) {
    // The fixture plays the proxy: the origin's name is never looked up.
    Options.ProxyFlag = 1;
    CopyText(Options.Proxy, sizeof Options.Proxy, "127.0.0.1");
    Options.ProxyPort = Fixture->port;
    const size_t before = Fixture->Requests("/dir/a%20b.jpg").size();
    OnDownload("http://origin.invalid/dir/a b.jpg", -1);
    ASSERT_TRUE(RunToIdle());
    auto requests = Fixture->Requests("/dir/a%20b.jpg");
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back(),
              "GET http://origin.invalid/dir/a%20b.jpg HTTP/1.1\r\nHost: origin.invalid\r\n"
              "User-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n");
    EXPECT_EQ(Saved("a b.jpg"), "hello");
}

TEST_F(RequestTest, LongRequestKeepsItsClosingEmptyLine) {
    std::string path = "/" + std::string(220, 'q') + ".jpg";
    OnDownload(Url(path).c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    auto requests = Fixture->Requests(path.c_str());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_GT(requests[0].size(), 255u);
    const std::string end = "\r\nUser-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n";
    EXPECT_EQ(requests[0].substr(requests[0].size() - end.size()), end);
}

// One limit for every address: 2048 characters as given and as sent. What
// does not fit is refused with a line, never fetched cut.
TEST_F(RequestTest, AddressesPastTheLimitAreRefusedNotCut) {
    const size_t before = Fixture->Requests().size();
    std::string base = Url("/");
    std::string exact = base + std::string(kMaxAddress - base.size() - 4, 'e') + ".jpg";
    std::string over = base + std::string(kMaxAddress - base.size() - 3, 'o') + ".jpg";
    // Fits as given, not once its spaces are escaped.
    std::string spaced = base + std::string(kMaxAddress - base.size() - 4 - 2, 's') + " .jpg";
    ASSERT_EQ(exact.size(), (size_t)kMaxAddress);
    ASSERT_EQ(spaced.size(), (size_t)kMaxAddress - 1);
    OnDownload(over.c_str(), -1);
    OnAnalysePage(over.c_str(), -1);
    OnFetch(over.c_str(), -1);
    OnDownload(spaced.c_str(), -1);
    OnDownload(exact.c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    auto requests = Fixture->Requests();
    ASSERT_EQ(requests.size() - before, 1u);  // only the one that fits
    EXPECT_NE(requests.back().find(exact.substr(base.size() - 1)), std::string::npos);
    // The line shows the address's start (the log cuts long lines).
    const std::string refusedOver = SJ("err:アドレスが長すぎます - \"") + over.substr(0, 900);
    EXPECT_EQ(std::count_if(Reports.log.begin(), Reports.log.end(),
                            [&](const std::string& line) { return line.rfind(refusedOver, 0) == 0; }),
              3);
    const std::string refusedSpaced = SJ("err:アドレスが長すぎます - \"") + spaced.substr(0, 900);
    EXPECT_EQ(std::count_if(Reports.log.begin(), Reports.log.end(),
                            [&](const std::string& line) { return line.rfind(refusedSpaced, 0) == 0; }),
              1);
    EXPECT_TRUE(Engine.AnalysisQueue.empty());
}

TEST_F(RequestTest, HeadRequestsUseHeadMethodAndFillTheRow) {
    int row = Row(Url("/date-a.jpg"));
    Engine.HeadQueue.push_back(MakeRequest(KindHead, row, 0, Url("/date-a.jpg").c_str()));
    ASSERT_TRUE(RunToIdle());
    auto requests = Fixture->Requests("/date-a.jpg");
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().substr(0, 5), "HEAD ");
    EXPECT_STREQ(ListText(row, ColSize), "1");
    EXPECT_STREQ(ListText(row, ColDate), "1994/11/06 08:49:37");
    EXPECT_TRUE(Reports.log.empty());
}

TEST_F(RequestTest, UnresolvableHostEndsSilently) {
    OnDownload("http://no-such-host.invalid/x.jpg", -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_TRUE(AllFiles().empty());
}

TEST_F(RequestTest, RefusedConnectionIsRetriedThenSetsServerNotFoundCaption) {
    std::string address = "http://127.0.0.1:" + std::to_string(FreePort()) + "/";
    OnAnalysePage(address.c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    ASSERT_FALSE(Reports.captions.empty());
    EXPECT_EQ(Reports.captions.back(), SJ("サーバーがみつかりません - Ferrow"));
    std::vector<std::string> expected;
    for (const char* wait : {"1秒後に再試行します(1/3)", "4秒後に再試行します(2/3)",
                             "16秒後に再試行します(3/3)"})
        expected.push_back(SJ("接続失敗のため") + SJ(wait) + " - \"" + address + "\"");
    expected.push_back(SJ("err:接続失敗のため3回再試行しましたが失敗しました - \"") + address + "\"");
    expected.push_back(SJ("解析が終了しました"));
    EXPECT_EQ(Reports.log, expected);
}

// ---- Status lines, redirects ----------------------------------------------

class StatusTest : public EngineTest {};

TEST_F(StatusTest, ErrorsAreLoggedWithTheirCodeAndLeaveNoFile) {
    const struct {
        const char* path;
        int code;
    } cases[] = {
        {"/missing.jpg", 404}, {"/other.jpg", 303},     {"/short.jpg", 0},
        {"/garbage.jpg", 0},   {"/huge-head.jpg", 0},   {"/noloc.jpg", 302},
    };
    for (const auto& c : cases)
        OnDownload(Url(c.path).c_str(), -1);
    // A close before any byte of answer is tried again, three times.
    OnDownload(Url("/silent-close.jpg").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    for (const auto& c : cases) {
        std::string line = "err:HTTP " + std::to_string(c.code) + " - \"" + Url(c.path) + "\"";
        EXPECT_TRUE(Logged(line)) << line;
    }
    EXPECT_TRUE(Logged(SJ("err:接続切断のため3回再試行しましたが失敗しました - \"") +
                       Url("/silent-close.jpg") + "\""));
    EXPECT_EQ(Reports.log.size(), std::size(cases) + 4);
    EXPECT_TRUE(AllFiles().empty());
}

TEST_F(StatusTest, TopPageErrorSetsTheCaption) {
    OnAnalysePage(Url("/missing.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    ASSERT_EQ(Reports.captions.size(), 1u);
    EXPECT_EQ(Reports.captions[0], "HTTP 404 - Ferrow");
    EXPECT_TRUE(Logged(SJ("解析が終了しました")));
}

TEST_F(StatusTest, RedirectChainIsFollowedAndRelativeLocationResolved) {
    int row = Row(Url("/rel/dir/x.jpg"));
    OnDownload(Url("/r1.jpg").c_str(), -1);
    OnDownload(Url("/rel/dir/x.jpg").c_str(), row);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("final.jpg"), "final");
    EXPECT_EQ(Saved("y.jpg"), "why");
    EXPECT_EQ(Fixture->Requests("/rel/y.jpg").size(), 1u);
    EXPECT_STREQ(ListText(row, ColSize), "3");
    // A redirect replaces its download; it is not one more file.
    EXPECT_EQ(Engine.DownloadsQueued, 2);
    EXPECT_EQ(Engine.DownloadsDone, 2);
}

TEST_F(StatusTest, RedirectLoopStopsAfterTenRedirects) {
    size_t before = Fixture->Requests("/loop.jpg").size();
    OnDownload(Url("/loop.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_EQ(Fixture->Requests("/loop.jpg").size() - before, 11u);
    EXPECT_EQ(Reports.log, std::vector<std::string>{"err:HTTP 302 - \"" + Url("/loop.jpg") + "\""});
}

TEST_F(StatusTest, RedirectOfTopPageStartsAFreshAnalysis) {
    OnAnalysePage(Url("/moved.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_STREQ(Engine.TopPageAddress, Url("/page.html").c_str());
    EXPECT_EQ(Reports.history, std::vector<std::string>{Url("/page.html")});
    EXPECT_TRUE(Logged(SJ("page.htmlを解析しました")));
    EXPECT_EQ(Reports.captions.back(), "T - Ferrow");
    ASSERT_EQ(ListCount(), 1);
    EXPECT_STREQ(ListText(0, ColAddress), Url("/x.jpg").c_str());
}

// ---- The head and the body --------------------------------------------------

class ReceptionTest : public EngineTest {};

TEST_F(ReceptionTest, LastModifiedLayoutsAllReachTheDateColumn) {
    const char* paths[] = {"/date-a.jpg", "/date-b.jpg", "/date-c.jpg"};
    std::vector<int> rows;
    for (const char* p : paths) {
        rows.push_back(Row(Url(p)));
        OnDownload(Url(p).c_str(), rows.back());
    }
    ASSERT_TRUE(RunToIdle());
    for (int row : rows)
        EXPECT_STREQ(ListText(row, ColDate), "1994/11/06 08:49:37");
}

TEST_F(ReceptionTest, HeadSpanningStepsNeverReachesTheFile) {
    const struct {
        const char* path;
        const char* name;
        const char* body;
    } cases[] = {
        {"/big-head.jpg", "big-head.jpg", "BODY"},
        {"/drip-head.jpg", "drip-head.jpg", "dripped"},
        {"/cl-in-body.jpg", "cl-in-body.jpg",
         "Content-Length: 3\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nLocation: "
         "http://evil/\r\n\r\nrest"},
    };
    std::vector<int> rows;
    for (const auto& c : cases) {
        rows.push_back(Row(Url(c.path)));
        OnDownload(Url(c.path).c_str(), rows.back());
    }
    ASSERT_TRUE(RunToIdle());
    for (size_t i = 0; i < std::size(cases); i++) {
        EXPECT_EQ(Saved(cases[i].name), cases[i].body) << cases[i].path;
    }
    // Header-like body text is body: no date, no size from it.
    EXPECT_STREQ(ListText(rows[2], ColDate), "");
    EXPECT_STREQ(ListText(rows[1], ColDate), "1994/11/06 08:49:37");
}

TEST_F(ReceptionTest, UnusableContentLengthCountsAsAbsent) {
    const char* names[] = {"neg.jpg", "nan.jpg", "overflow.jpg"};
    Options.MinSizeCheck = 1;
    Options.MinSize = 1000;
    for (const char* n : names)
        OnDownload(Url(std::string("/") + n).c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    for (const char* n : names)
        EXPECT_EQ(Saved(n), "abcdef") << n;
}

TEST_F(ReceptionTest, SizesPastFourGiBReachTheRowAndTheFilters) {
    // Filters compare in bytes: a 4 GiB + 1 answer is larger than any
    // 32-bit limit and is never taken for a small file.
    Options.MinSizeCheck = 1;
    Options.MinSize = 1000;
    Options.MaxSizeCheck = 1;
    Options.MaxSize = 2147483647;
    int row = Row(Url("/past4g.jpg"));
    OnDownload(Url("/past4g.jpg").c_str(), row);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.log, std::vector<std::string>{SJ("サイズが大きい為スキップしました - \"past4g.jpg\"")});
    EXPECT_STREQ(ListText(row, ColSize), "4294967297");
    EXPECT_FALSE(Exists("past4g.jpg"));
}

TEST_F(ReceptionTest, CutOffDownloadIsAFailureAndLeavesNoFile) {
    // No validator in the answers: every retry starts over, and is cut again.
    const size_t before = Fixture->Requests("/cut.jpg").size();
    int row = Row(Url("/cut.jpg"));
    OnDownload(Url("/cut.jpg").c_str(), row);
    ASSERT_TRUE(RunThroughRetries());
    ASSERT_EQ(Reports.log.size(), 4u);
    EXPECT_EQ(Reports.log[0], SJ("転送中断のため1秒後に再試行します(1/3) - \"") + Url("/cut.jpg") + "\"");
    EXPECT_EQ(Reports.log[3],
              SJ("err:転送中断のため3回再試行しましたが失敗しました - \"") + Url("/cut.jpg") + "\"");
    EXPECT_EQ(Fixture->Requests("/cut.jpg").size() - before, 4u);
    for (const std::string& request : Fixture->Requests("/cut.jpg"))
        EXPECT_EQ(request.find("Range:"), std::string::npos);
    EXPECT_TRUE(AllFiles().empty());
    EXPECT_STREQ(ListText(row, ColSize), "1000"); // the announced size, from the head
    EXPECT_EQ(Engine.DownloadsDone, 0);
}

TEST_F(ReceptionTest, SizeFiltersNeedAKnownSize) {
    Options.MinSizeCheck = 1;
    Options.MinSize = 1000;
    Options.MaxSizeCheck = 1;
    Options.MaxSize = 4000;
    for (const char* p : {"/small.jpg", "/large.jpg", "/nolen.jpg"})
        OnDownload(Url(p).c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Logged(SJ("サイズが小さい為スキップしました - \"small.jpg\"")));
    EXPECT_TRUE(Logged(SJ("サイズが大きい為スキップしました - \"large.jpg\"")));
    EXPECT_EQ(Saved("nolen.jpg").size(), 100u);
    EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/nolen.jpg"});
}

TEST_F(ReceptionTest, PagesBeyondTheCapFailTheAnalysis) {
    Options.InternalLinks = 1;
    OnAnalysePage(Url("/lying.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Logged(SJ("err:lying.htmlを解析できませんでした")));
    OnAnalysePage(Url("/endless.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle(10000));
    EXPECT_TRUE(Logged(SJ("err:endless.htmlを解析できませんでした")));
    EXPECT_TRUE(Reports.history.empty());
}

TEST_F(ReceptionTest, EmptyPageIsStillAnalysed) {
    OnAnalysePage(Url("/empty.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{SJ("empty.htmlを解析しました"), SJ("解析が終了しました")}));
}

TEST_F(ReceptionTest, FetchHandsTheBodyToTheViewer) {
    int row = Row(Url("/fetch.jpg"));
    OnFetch(Url("/fetch.jpg").c_str(), row);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.viewerBuffers, std::vector<std::string>{"JPEGDATA"});
    EXPECT_STREQ(ListText(row, ColSize), "8");
    EXPECT_STREQ(ListText(row, ColDate), "1994/11/06 08:49:37");
}

// ---- Where files go -----------------------------------------------------------

class SavingTest : public EngineTest {};

// Found where only a picture stands, listed without an extension; the HEAD
// answer or the download shows the type and saves it under it, and what is
// no selected picture is never saved and leaves the list.
TEST_F(SavingTest, PicturesWithoutExtensionAreTypedByTheirAnswer) {
    Options.NoExtImages = Options.HeadCheck = Options.WEBP = 1;
    Options.GIF = 0;
    OnAnalysePage(Url("/noext.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    // The HEAD answers typed two and took out an HTML page and a GIF.
    ASSERT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(0, ColName), "cc6f7a.jpg");
    EXPECT_STREQ(ListText(1, ColName), "abc.webp");
    EXPECT_EQ(FileTable.rows[0].icon, IconJpeg);
    EXPECT_EQ(Reports.viewDeletes.size(), 2u);
    EXPECT_TRUE(Fixture->Requests("/px/count").empty());
    EXPECT_TRUE(Fixture->Requests("/link/doc").empty());
    const std::string refused[] = {
        SJ("画像ではない応答の為保存しません (text/html) - \"pic\""),
        SJ("選択されていない種類の画像の為スキップしました (image/gif) - \"z\"")};
    for (const std::string& line : refused)
        EXPECT_EQ(std::count(Reports.log.begin(), Reports.log.end(), line), 1) << line;

    // Without a HEAD check all four are listed untyped; the downloads type
    // and save two, and the other two leave the list unsaved.
    ListReset();
    ClearReports();
    Engine.VisitedPages.clear();
    Options.HeadCheck = 0;
    OnAnalysePage(Url("/noext.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    const char* names[] = {"cc6f7a", "abc", "pic", "z"};
    ASSERT_EQ(ListCount(), 4);
    for (int i = 0; i < 4; i++) EXPECT_STREQ(ListText(i, ColName), names[i]);
    EXPECT_EQ(FileTable.rows[2].icon, IconOther);
    for (int i = 0; i < 4; i++) OnDownload(ListText(i, ColAddress), i);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{"dl/abc.webp", "dl/cc6f7a.jpg"}));
    EXPECT_EQ(Saved("cc6f7a.jpg"), "JPEGDATA");
    ASSERT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(0, ColName), "cc6f7a.jpg");
    EXPECT_STREQ(ListText(1, ColName), "abc.webp");
    for (const std::string& line : refused)
        EXPECT_EQ(std::count(Reports.log.begin(), Reports.log.end(), line), 1) << line;

    // Switched off, none is listed.
    ListReset();
    Engine.VisitedPages.clear();
    Options.NoExtImages = 0;
    OnAnalysePage(Url("/noext.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(ListCount(), 0);
}

TEST_F(SavingTest, FlatAndHierarchicalPaths) {
    OnDownload(Url("/dir/a b.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    Options.Hierarchical = 1;
    OnDownload(Url("/dir/a b.jpg").c_str(), -1);
    OnDownload(Url("/sub/").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    std::string host = "dl/127.0.0.1_" + std::to_string(Fixture->port);
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{host + "/dir/a b.jpg",
                                                    host + "/sub/index.html", "dl/a b.jpg"}));
}

TEST_F(SavingTest, HostileAddressesStayInsideTheDownloadFolder) {
    const char* paths[] = {"/../../x.jpg", "/a\\..\\..\\y.jpg", "/c:/z.jpg",
                           "/CON.jpg",     "/a.php?id=1&b=<2>", "/nul",
                           "/trail.jpg..."};
    for (int hierarchical = 0; hierarchical <= 1; hierarchical++) {
        Options.Hierarchical = hierarchical;
        for (const char* p : paths)
            OnDownload(Url(p).c_str(), -1);
        ASSERT_TRUE(RunToIdle());
    }
    std::string host = "dl/127.0.0.1_" + std::to_string(Fixture->port);
    std::vector<std::string> expected = {
        "dl/_CON.jpg",
        "dl/_nul",
        "dl/a.php",
        "dl/a_.._.._y.jpg",
        "dl/trail.jpg",
        "dl/x.jpg",
        "dl/z.jpg",
        host + "/_CON.jpg",
        host + "/_nul",
        host + "/a.php",
        host + "/a/y.jpg",
        host + "/c_/z.jpg",
        host + "/trail.jpg",
        host + "/x.jpg",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(AllFiles(), expected);
}

TEST_F(SavingTest, SameNameNumbersOrKeepsTheLarger) {
    WriteWholeFile(dl + "/photo.jpg", "old");
    WriteWholeFile(dl + "/photo(1).jpg", "old");
    WriteWholeFile(dl + "/readme", "old");
    OnDownload(Url("/photo.jpg").c_str(), -1);
    OnDownload(Url("/readme").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("photo(2).jpg"), "new");
    EXPECT_EQ(Saved("readme(1)"), "new");

    Options.SameFileName = 1;
    WriteWholeFile(dl + "/sized.jpg", std::string(5000, 'o'));
    WriteWholeFile(dl + "/smaller.jpg", std::string(5000, 'o'));
    OnDownload(Url("/sized.jpg").c_str(), -1);
    OnDownload(Url("/smaller.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("sized.jpg").size(), 6000u);
    EXPECT_EQ(Saved("smaller.jpg"), std::string(5000, 'o'));
    EXPECT_TRUE(Logged(SJ("同名ファイルが存在するためスキップしました - \"smaller.jpg\"")));
}

// ---- Scheduler, time-outs, stop ----------------------------------------------

class SchedulerTest : public EngineTest {};

int ActiveDownloads() {
    int32_t counts[5];
    CountActiveByKind(counts);
    return counts[KindDownload];
}

TEST_F(SchedulerTest, ThreeSocketsStartThreeOfTenAtTheFirstTick) {
    ASSERT_TRUE(Fixture->Hold("slow"));
    Engine.DownloadBatchRunning = 1;
    for (int i = 0; i < 10; i++)
        OnDownload(Url("/slow.jpg?" + std::to_string(i)).c_str(), -1);
    RunEngineUntil([] { return !Engine.ActiveJobs.empty(); }, 1000);
    EXPECT_EQ(ActiveDownloads(), 3);
    EXPECT_EQ(Engine.DownloadQueue.size(), 7u);
    ASSERT_TRUE(Fixture->Release("slow"));
    ASSERT_TRUE(RunToIdle(5000));
    EXPECT_EQ(std::count(Reports.log.begin(), Reports.log.end(), SJ("ダウンロードが終了しました")),
              1);
    EXPECT_EQ(Reports.log.back(), SJ("ダウンロードが終了しました"));
    EXPECT_EQ(Reports.log.size(), 11u);
    EXPECT_EQ(Engine.DownloadsQueued, 0);
    EXPECT_EQ(Reports.progressPositions.back(), 0);
    EXPECT_NE(std::find(Reports.progressPositions.begin(), Reports.progressPositions.end(), 100),
              Reports.progressPositions.end());
}

TEST_F(SchedulerTest, SocketsOutsideOneToTenAreClamped) {
    const struct {
        int sockets;
        int expected;
    } cases[] = {{0, 1}, {-4, 1}, {99, 10}};
    ASSERT_TRUE(Fixture->Hold("slow"));
    for (const auto& c : cases) {
        SetUp();
        Options.Sockets = c.sockets;
        for (int i = 0; i < 12; i++)
            OnDownload(Url("/slow.jpg?" + std::to_string(i)).c_str(), -1);
        RunEngineUntil([] { return !Engine.ActiveJobs.empty(); }, 1000);
        EXPECT_EQ(ActiveDownloads(), c.expected) << c.sockets;
        OnStopAll();
    }
}

TEST_F(SchedulerTest, SilentServerTimesOutOnTheDrivenClock) {
    Options.TimeOutSec = 10;
    OnDownload(Url("/silent.jpg").c_str(), -1);
    RunEngineUntil([] { return !Fixture->Requests("/silent.jpg").empty(); }, 2000);
    RunEngineFor(150);
    AdvanceTickCountForTests(10500); // 10 whole seconds: not yet
    RunEngineFor(150);
    EXPECT_EQ(Engine.ActiveJobs.size(), 1u);
    AdvanceTickCountForTests(1000);
    RunEngineFor(150);
    EXPECT_TRUE(Engine.ActiveJobs.empty());
    EXPECT_EQ(Reports.log, std::vector<std::string>{SJ("タイムアウトのため1秒後に再試行します(1/3) - \"") +
                                                    Url("/silent.jpg") + "\""});
}

TEST_F(SchedulerTest, WithoutTimeOutASilentJobStaysAndTheLogoTurns) {
    Options.TimeOut = 0;
    OnDownload(Url("/silent.jpg").c_str(), -1);
    RunEngineFor(250);
    AdvanceTickCountForTests(60000);
    RunEngineFor(250);
    EXPECT_EQ(Engine.ActiveJobs.size(), 1u);
    EXPECT_NE(Engine.LogoFrame, 0);
    EXPECT_EQ(Reports.commandStates.back(), std::make_pair(kCommandStop, 1));
    OnStopAll();
    RunEngineFor(250);
    EXPECT_EQ(Reports.engineFrames.back().first, 0);
    EXPECT_EQ(Engine.IndicatorFrame, 2);
    EXPECT_EQ(Reports.commandStates.back(), std::make_pair(kCommandStop, 0));
}

TEST_F(SchedulerTest, StopDuringABatchLeavesNoFilesAndNoEndMessages) {
    Engine.DownloadBatchRunning = 1;
    Options.InternalLinks = 1;
    OnAnalysePage(Url("/silent.jpg").c_str(), -1);
    for (int i = 0; i < 5; i++)
        OnDownload(Url("/drip-body.jpg?" + std::to_string(i)).c_str(), -1);
    // Three under way, their first bytes in (held in memory or in part files).
    auto underWay = [] {
        return std::count_if(Engine.ActiveJobs.begin(), Engine.ActiveJobs.end(), [](const Job& j) {
            return j.kind == KindDownload && j.chunks > 0 && !j.ended;
        });
    };
    RunEngineUntil([&] { return underWay() == 3; }, 2000);
    EXPECT_EQ(underWay(), 3);
    OnStopAll();
    RunEngineFor(250);
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_TRUE(AllFiles().empty());
    EXPECT_EQ(WatchedSocketCount(), 0);
}

TEST_F(SchedulerTest, SingleDownloadShowsByteProgressAndNoBatchMessage) {
    OnDownload(Url("/large.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.log,
              std::vector<std::string>{SJ("large.jpg(5000bytes)をダウンロードしました")});
    auto& p = Reports.progressPositions;
    EXPECT_NE(std::find(p.begin(), p.end(), 100), p.end());
    EXPECT_TRUE(std::is_sorted(p.begin() + 1, std::find(p.begin(), p.end(), 100)));
}

} // namespace

namespace {

// ---- Ordinary servers: Python's file server and tinyproxy ------------------

class RealServerTest : public EngineTest {
  protected:
    TempFolder site;
    FileServer files;
    void SetUp() override {
        EngineTest::SetUp();
        WriteWholeFile(site.File("index.html"),
                       "<html><title>Top</title><a href=\"a.jpg\">a</a><img src=\"b.gif\">"
                       "<a href=\"sub.html\">s</a></html>");
        WriteWholeFile(site.File("sub.html"), "<a href=\"c.png\">c</a>");
        WriteWholeFile(site.File("a.jpg"), "AAAA");
        WriteWholeFile(site.File("b.gif"), "GIF89a");
        WriteWholeFile(site.File("c.png"), "PNG");
        ASSERT_TRUE(files.Start(site.path.string()));
    }
};

TEST_F(RealServerTest, AnalyseFollowsInternalPagesAndHeadFillsSizesAndDates) {
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    OnAnalysePage(files.Url("/index.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{SJ("index.htmlを解析しました"),
                                        SJ("sub.htmlを解析しました"), SJ("解析が終了しました")}));
    EXPECT_EQ(Reports.history, std::vector<std::string>{files.Url("/index.html")});
    const char* sizes[][2] = {{"a.jpg", "4"}, {"b.gif", "6"}, {"sub.html", "21"}, {"c.png", "3"}};
    ASSERT_EQ(ListCount(), 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_STREQ(ListText(i, ColName), sizes[i][0]);
        EXPECT_STREQ(ListText(i, ColSize), sizes[i][1]);
        EXPECT_EQ(strlen(ListText(i, ColDate)), 19u);
    }
}

TEST_F(RealServerTest, DownloadThroughTinyproxy) {
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Start(temp.path.string()));
    Options.ProxyFlag = 1;
    CopyText(Options.Proxy, sizeof Options.Proxy, "localhost");
    Options.ProxyPort = proxy.port;
    Engine.DownloadBatchRunning = 1;
    OnDownload(files.Url("/a.jpg").c_str(), -1);
    OnDownload(files.Url("/b.gif").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("a.jpg"), "AAAA");
    EXPECT_EQ(Saved("b.gif"), "GIF89a");
    EXPECT_EQ(Reports.log.back(), SJ("ダウンロードが終了しました"));
}

} // namespace
