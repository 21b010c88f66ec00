// Persistent connections: answers framed by length, by chunks or by the
// close, the pool of idle connections with its limits, and the servers
// that end or refuse to keep a connection. Against the fixture server and
// against nginx.
#include <zlib.h>

#include <filesystem>

#include "tests/engine/engine_fixture.h"

namespace {

const std::string kAgain = "{\"again\": true}";
std::string Head11(const std::string& status, const std::string& lines = "") {
    return "HTTP/1.1 " + status + "\r\n" + lines + "\r\n";
}
std::string Ok11(const std::string& body, const std::string& lines = "") {
    return Head11("200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n" + lines) +
           body;
}
const std::string kChunked = "5;name=\"a b\"\r\nhello\r\n6 ; x\r\n world\r\n0;last\r\n"
                             "X-Sum: 11\r\nExpires: never\r\n\r\n";
// The pieces as chunks, sizes in hex, then the last chunk.
std::string Chunks(const std::vector<std::string>& pieces) {
    std::string out;
    char size[16];
    for (const std::string& p : pieces) {
        snprintf(size, sizeof size, "%zx", p.size());
        out += size + std::string(";i\r\n") + p + "\r\n";
    }
    return out + "0\r\n\r\n";
}
const std::string kChunkedPage =
    Chunks({"<html><a href=\"one.jpg\">1</", "a><a href=\"two.j", "pg\">2</", std::string(300, ' '),
            "a></html>"});

// text compressed: windowBits 31 gzip, 15 zlib-wrapped deflate, -15 raw.
std::string Compress(const std::string& text, int windowBits) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = (Bytef*)text.data();
    z.avail_in = (uInt)text.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
const std::string kLinks = "<html><a href=\"one.jpg\">1</a>" + std::string(5000, ' ') +
                           "<a href=\"two.jpg\">2</a></html>";
std::string Packed(const std::string& body, const char* coding) {
    return Send(Ok11(body, "Content-Type: text/html\r\nContent-Encoding: " + std::string(coding) +
                               "\r\n")) + ", " + kAgain;
}

std::string Routes() {
    std::vector<std::pair<std::string, std::string>> routes;
    // Compressed pages, and a download compressed though it asked for none.
    routes.push_back({"/z/gzip.html", Answer(Packed(Compress(kLinks, 31), "gzip"))});
    routes.push_back({"/z/zlib.html", Answer(Packed(Compress(kLinks, 15), "deflate"))});
    routes.push_back({"/z/raw.html", Answer(Packed(Compress(kLinks, -15), "deflate"))});
    routes.push_back({"/z/bomb.html", Answer(Packed(Compress(std::string(80 << 20, '<'), 31), "gzip"))});
    std::string corrupt = Compress(kLinks, 31);
    corrupt[corrupt.size() / 2] ^= 0x55;
    routes.push_back({"/z/corrupt.html", Answer(Packed(corrupt, "gzip"))});
    std::string cut = Compress(kLinks, 31);
    routes.push_back({"/z/cut.html", Answer(Packed(cut.substr(0, cut.size() - 12), "gzip"))});
    routes.push_back({"/z/file.jpg", Answer(Send(Ok11(Compress("jpeg bytes", 31),
                                                      "Content-Encoding: gzip\r\n")))});
    // Kept connections: each answer reads the next request.
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        routes.push_back({std::string("/k/") + name + ".jpg",
                          Answer(Send(Ok11(std::string("file ") + name)) + ", " + kAgain)});
    routes.push_back({"/k/head.jpg", Answer(Send(Head11("200 OK", "Content-Length: 123456\r\n")) +
                                            ", " + kAgain)});
    routes.push_back({"/k/chunked.jpg",
                      Answer(Send(Head11("200 OK", "Transfer-Encoding: chunked\r\n") + kChunked) +
                             ", " + kAgain)});
    routes.push_back({"/k/page.html", Answer(Send(Head11("200 OK", "Transfer-Encoding: chunked\r\n"
                                                               "Content-Type: text/html\r\n") +
                                                  kChunkedPage) +
                                             ", " + kAgain)});
    routes.push_back({"/k/continue.jpg",
                      Answer(Send(Head11("100 Continue") + Head11("102 Processing") + Ok11("after")) +
                             ", " + kAgain)});
    // Servers that end the connection after one answer, told or not.
    for (const char* name : {"1", "2"}) {
        // Closes a moment after its answer, with the next request unread.
        routes.push_back({std::string("/idle/") + name + ".jpg",
                          Answer(Send(Ok11("idle")) + ", {\"sleep\": 0.3}")});
        routes.push_back({std::string("/close/") + name + ".jpg",
                          Answer(Send(Ok11("close", "Connection: close\r\n")) + ", " + kAgain)});
        routes.push_back({std::string("/old/") + name + ".jpg",
                          Answer(Send(Ok("old", "Connection: keep-alive\r\n")) + ", " + kAgain)});
    }
    routes.push_back({"/untilclose.jpg", Answer(Send(Head11("200 OK") + "to the end"))});
    // Answers whose end cannot be trusted.
    routes.push_back({"/bad/huge.jpg", Answer(Send(Head11("200 OK", "Transfer-Encoding: chunked\r\n") +
                                                   "1000000000000000\r\nabc"))});
    routes.push_back({"/bad/junk.jpg", Answer(Send(Head11("200 OK", "Transfer-Encoding: chunked\r\n") +
                                                   "5\r\nhelloXX\r\n0\r\n\r\n"))});
    routes.push_back({"/bad/lengths.jpg",
                      Answer(Send(Head11("200 OK", "Content-Length: 5\r\nContent-Length: 6\r\n") +
                                  "hello!"))});
    routes.push_back({"/bad/cut.jpg", Answer(Send(Head11("200 OK", "Transfer-Encoding: chunked\r\n") +
                                                  "10\r\nonly part"))});
    return RoutesJson(routes);
}
const auto* const kSuite = AddFixtureSuite(Routes);

class KeepAliveTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fixture->Connections();  // counts from here
    }
    std::string Url(const std::string& path) const { return Fixture->Url(path); }
    void Download(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) OnDownload(Url(p).c_str(), -1);
    }
    bool Retried() const {
        for (const std::string& line : Reports.log)
            if (line.find(SJ("再試行")) != std::string::npos) return true;
        return false;
    }
};

TEST_F(KeepAliveTest, ManyFilesHeadChecksAndPagesShareOneConnection) {
    Options.Sockets = 1;
    int row = Row(Url("/k/head.jpg"));
    Engine.HeadQueue.push_back(MakeRequest(KindHead, row, 0, Url("/k/head.jpg").c_str()));
    ASSERT_TRUE(RunToIdle());
    EXPECT_STREQ(ListText(row, ColSize), "123456");
    Download({"/k/a.jpg", "/k/b.jpg", "/k/c.jpg", "/k/d.jpg", "/k/e.jpg", "/k/f.jpg",
              "/k/chunked.jpg", "/k/continue.jpg"});
    ASSERT_TRUE(RunToIdle());
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        EXPECT_EQ(Saved(std::string(name) + ".jpg"), std::string("file ") + name);
    EXPECT_EQ(Saved("chunked.jpg"), "hello world");
    EXPECT_EQ(Saved("continue.jpg"), "after");
    EXPECT_EQ(PoolSize(), 1);
    EXPECT_EQ(Fixture->Connections(), 1);
    // A chunked page is scanned whole, on the same connection.
    OnAnalysePage(Url("/k/page.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    ASSERT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(1, ColAddress), Url("/k/two.jpg").c_str());
    EXPECT_EQ(Fixture->Connections(), 0);
    // Stop closes what waits idle.
    OnStopAll();
    EXPECT_EQ(PoolSize(), 0);
}

TEST_F(KeepAliveTest, ServersThatEndTheConnectionGetANewOneForEachFile) {
    Options.Sockets = 1;
    // A server that closes the kept connection under the next request: that
    // request goes out again on a new one at once, no retry told.
    Download({"/idle/1.jpg", "/idle/2.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("1.jpg"), "idle");
    EXPECT_EQ(Saved("2.jpg"), "idle");
    EXPECT_FALSE(Retried());
    EXPECT_EQ(Fixture->Connections(), 2);
    // Connection: close, and HTTP/1.0 even when it offers to keep it.
    for (const char* folder : {"/close/", "/old/"}) {
        std::filesystem::remove_all(dl);
        std::filesystem::create_directories(dl);
        Download({std::string(folder) + "1.jpg", std::string(folder) + "2.jpg"});
        ASSERT_TRUE(RunToIdle());
        EXPECT_TRUE(Exists("1.jpg") && Exists("2.jpg")) << folder;
        EXPECT_EQ(Fixture->Connections(), 2) << folder;
    }
    // Neither length nor chunks: the close ends the file, which is whole.
    Download({"/untilclose.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("untilclose.jpg"), "to the end");
    EXPECT_EQ(PoolSize(), 0);
    EXPECT_FALSE(Retried());
}

TEST_F(KeepAliveTest, HostileFramingEndsWithAnErrorAndNoFile) {
    for (const char* path : {"/bad/huge.jpg", "/bad/junk.jpg", "/bad/lengths.jpg"}) {
        ClearReports();
        Download({path});
        ASSERT_TRUE(RunToIdle());
        EXPECT_TRUE(Logged(SJ("err:応答の長さが不正です - \"") + Url(path) + "\"")) << path;
    }
    // Cut inside a chunk: a broken transfer, tried again and given up.
    Download({"/bad/cut.jpg"});
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_TRUE(Logged(SJ("err:転送中断のため3回再試行しましたが失敗しました - \"") +
                       Url("/bad/cut.jpg") + "\""));
    EXPECT_TRUE(AllFiles().empty());
    EXPECT_EQ(PoolSize(), 0);
}

TEST_F(KeepAliveTest, PooledConnectionsCloseWhenIdleTooLong) {
    Download({"/k/a.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(PoolSize(), 1);
    AdvanceTickCountForTests(kIdleMs + 1);
    RunEngineFor(150);  // a tick
    EXPECT_EQ(PoolSize(), 0);
}

TEST_F(KeepAliveTest, CompressedPagesAreInflatedBeforeTheScanAndFilesKeptAsServed) {
    for (const char* page : {"/z/gzip.html", "/z/zlib.html", "/z/raw.html"}) {
        OnAnalysePage(Url(page).c_str(), -1);
        ASSERT_TRUE(RunToIdle());
        ASSERT_EQ(ListCount(), 2) << page;
        EXPECT_STREQ(ListText(1, ColAddress), Url("/z/two.jpg").c_str()) << page;
        EXPECT_NE(Fixture->Requests(page).back().find("\r\nAccept-Encoding: gzip, deflate\r\n"),
                  std::string::npos);
    }
    // Past the page's bound, broken, or cut short: an error line, no links.
    const struct {
        const char* page;
        std::string line;
    } failures[] = {
        {"/z/bomb.html", SJ("err:bomb.htmlを解析できませんでした")},
        {"/z/corrupt.html", SJ("err:圧縮されたページを展開できません - \"") + Url("/z/corrupt.html") + "\""},
        {"/z/cut.html", SJ("err:圧縮されたページを展開できません - \"") + Url("/z/cut.html") + "\""},
    };
    for (const auto& f : failures) {
        ClearReports();
        OnAnalysePage(Url(f.page).c_str(), -1);
        ASSERT_TRUE(RunToIdle());
        EXPECT_TRUE(Logged(f.line)) << f.page;
        EXPECT_EQ(ListCount(), 0) << f.page;
    }
    Download({"/z/file.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("file.jpg"), Compress("jpeg bytes", 31));
    EXPECT_EQ(Fixture->Requests("/z/file.jpg").back().find("Accept-Encoding"), std::string::npos);
}

// A real HTTP/1.1 server: 30 files over no more connections than the
// downloads run side by side.
TEST_F(KeepAliveTest, NginxServesABatchOverFewConnections) {
    TempFolder site;
    std::filesystem::create_directories(site.File("www").c_str());
    std::filesystem::create_directories(site.File("run").c_str());
    for (int i = 0; i < 30; i++)
        WriteWholeFile(site.File(("www/f" + std::to_string(i) + ".jpg").c_str()), std::string(2048 + i, 'n'));
    WriteWholeFile(site.File("www/page.html"), kLinks);
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(site.File("run").c_str(), site.File("www").c_str(),
                            "gzip on; gzip_min_length 1; gzip_types text/html;\n"));
    for (int i = 0; i < 30; i++) OnDownload(nginx.Url("/f" + std::to_string(i) + ".jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle(20000));
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(Saved("f" + std::to_string(i) + ".jpg").size(), (size_t)(2048 + i));
    RunEngineFor(200);  // the log is written as each answer ends
    EXPECT_EQ(nginx.Requests(), 30);
    EXPECT_LE(nginx.Connections(), Options.Sockets);
    EXPECT_GE(nginx.Connections(), 1);
    // Its page comes compressed (the page is larger than the answer) and is
    // scanned whole.
    OnAnalysePage(nginx.Url("/page.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    ASSERT_EQ(ListCount(), 2);
    EXPECT_STREQ(ListText(1, ColAddress), nginx.Url("/two.jpg").c_str());
    RunEngineFor(200);
    std::string log = nginx.Log();
    size_t line = log.rfind('\n', log.find(" GET /page.html")) + 1;
    EXPECT_LT(atoi(log.c_str() + log.find(' ', line) + 1), (int)kLinks.size() / 4) << log;
}

}  // namespace
