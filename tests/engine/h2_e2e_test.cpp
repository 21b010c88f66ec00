// End-to-end tests of the engine over HTTP/2 on 127.0.0.1: the jobs of one
// host ride as streams of one TLS connection, against
// tools/h2_fixture_server.py (ordinary answers, and hostile ones chosen by
// path) and nginx. What the user sees is as over HTTP/1.1; a server that
// does not take h2 is still served over HTTP/1.1.
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "engine/cookies.h"
#include "engine/tls.h"
#include "resources/version.h"
#include "tests/engine/engine_fixture.h"

namespace {

TempFolder* World; // authority and site
std::string Ca, Site;
std::vector<std::string> Names;           // f00.jpg .. f29.jpg
std::map<std::string, std::string> Bytes; // each file of the site
constexpr int kBig = 1 << 20;             // past kHeldDownloadCap: written through a part file
const std::string kHalf = std::to_string(kBig / 2);

class H2Site : public ::testing::Environment {
  public:
    void SetUp() override {
        World = new TempFolder;
        Ca = World->File("ca");
        Site = World->File("site");
        ASSERT_TRUE(MakeTestAuthority(Ca));
        TlsTrustFile((Ca + "/ca.pem").c_str());
        std::filesystem::create_directories(Site);
        std::mt19937 random(2);
        auto make = [&](const std::string& name, size_t size) {
            std::string bytes(size, '\0');
            for (char& c : bytes)
                c = (char)(random() & 0xFF);
            WriteWholeFile(Site + "/" + name, bytes);
            Bytes[name] = bytes;
        };
        for (int i = 0; i < 30; i++) {
            char name[16];
            snprintf(name, sizeof name, "f%02d.jpg", i);
            // A few bytes, tens of KB, and past the held-download cap.
            make(name, i % 3 == 0 ? 5 + i : i % 3 == 1 ? 40000 + i * 997 : 300000 + i * 4099);
            Names.push_back(name);
        }
        make("big.bin", kBig);
        WriteWholeFile(Site + "/index.html",
                       "<html><title>Two</title><a href=\"f00.jpg\">a</a>"
                       "<img src=\"f01.jpg\"><a href=\"sub.html\">s</a></html>");
        WriteWholeFile(Site + "/sub.html", "<img src=\"f02.jpg\">");
    }
    void TearDown() override { delete World; }
};
const auto* const kH2Site = ::testing::AddGlobalTestEnvironment(new H2Site);

class H2Test : public EngineTest {
  protected:
    H2Server server;
    void Serve(const std::string& settings = "") { ASSERT_TRUE(server.Start(Ca, Site, settings)); }
    std::string Url(const std::string& path) const { return server.Url(path); }
    void Download(const std::vector<std::string>& paths) {
        for (const std::string& p : paths)
            OnDownload(Url(p).c_str(), -1);
    }
    bool Whole(const std::string& name) const { return Saved(name) == Bytes.at(name); }
    static std::string Done(const std::string& name) {
        return name + "(" + std::to_string(Bytes.at(name).size()) +
               SJ("bytes)をダウンロードしました");
    }
    // Retry lines for the path, whatever their reason, and any at all.
    int Retries(const std::string& path) const {
        return (int)std::count_if(
            Reports.log.begin(), Reports.log.end(), [&](const std::string& l) {
                return l.find(SJ("秒後に再試行します(")) != std::string::npos &&
                       l.find("\"" + Url(path) + "\"") != std::string::npos;
            });
    }
    int AllRetries() const {
        return (int)std::count_if(Reports.log.begin(), Reports.log.end(), [](const std::string& l) {
            return l.find(SJ("再試行")) != std::string::npos;
        });
    }
    // The last log line that names the path.
    std::string LastAbout(const std::string& path) const {
        for (auto it = Reports.log.rbegin(); it != Reports.log.rend(); ++it)
            if (it->find("\"" + Url(path) + "\"") != std::string::npos) return *it;
        return "";
    }
    bool GaveUp(const std::string& path) const {
        std::string line = LastAbout(path);
        return line.rfind("err:", 0) == 0 &&
               line.find(SJ("のため3回再試行しましたが失敗しました")) != std::string::npos;
    }
    void Forget(const std::string& name) { std::filesystem::remove(dl + "/" + name); }
};

// ---- Ordinary answers ---------------------------------------------------------

TEST_F(H2Test, PageHeadChecksAndViewerShareOneConnectionAndReadAsOverHttp11) {
    Serve();
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    std::string top = Url("/index.html");
    OnAnalysePage(top.c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{SJ("index.htmlを解析しました"),
                                        SJ("sub.htmlを解析しました"), SJ("解析が終了しました")}));
    const char* rows[] = {"f00.jpg", "f01.jpg", "sub.html", "f02.jpg"};
    ASSERT_EQ(ListCount(), 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_STREQ(ListText(i, ColAddress), Url(std::string("/") + rows[i]).c_str());
        std::string size = std::to_string(std::filesystem::file_size(Site + "/" + rows[i]));
        EXPECT_STREQ(ListText(i, ColSize), size.c_str()) << rows[i];
        EXPECT_EQ(strlen(ListText(i, ColDate)), 19u) << rows[i];
    }
    auto heads = server.Requests("/f00.jpg");
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].rfind("HEAD /f00.jpg HTTP/2\r\n", 0), 0u) << heads[0];
    for (std::string field : {":authority: localhost:" + std::to_string(server.port),
                              std::string("user-agent: Ferrow/" FERROW_VERSION), "referer: " + top})
        EXPECT_NE(heads[0].find("\r\n" + field + "\r\n"), std::string::npos) << field;
    auto page = server.Requests("/index.html");
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].find("referer"), std::string::npos);
    // The viewer's fetch takes the same connection.
    OnFetch(Url("/f03.jpg").c_str(), Row(Url("/f03.jpg")));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Reports.viewerBuffers, std::vector<std::string>{Bytes["f03.jpg"]});
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

// Size checks cost no connection over HTTP/2: they go side by side.
TEST_F(H2Test, SizeChecksGoSideBySideOnTheConnection) {
    Serve();
    std::string page;
    for (int i = 0; i < 10; i++) page += "<img src=\"slow/" + Names[i] + "\">";
    WriteWholeFile(Site + "/checks.html", page);
    Options.HeadCheck = 1;
    OnAnalysePage(Url("/checks.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    ASSERT_EQ(ListCount(), 10);
    for (int i = 0; i < 10; i++)
        EXPECT_STREQ(ListText(i, ColSize), std::to_string(Bytes[Names[i]].size()).c_str()) << i;
    int most = 0;
    for (const auto& r : server.Log())
        if (r.raw.rfind("HEAD ", 0) == 0) most = std::max(most, r.open);
    EXPECT_GE(most, 5);  // one at a time, each would wait 0.3 s alone
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(H2Test, ThirtyDownloadsAreByteIdenticalOverOneConnection) {
    Serve();
    Engine.DownloadBatchRunning = 1;
    for (const std::string& name : Names)
        OnDownload(Url("/" + name).c_str(), -1);
    ASSERT_TRUE(RunToIdle(15000));
    for (const std::string& name : Names) {
        EXPECT_TRUE(Whole(name)) << name;
        EXPECT_TRUE(Logged(Done(name))) << name;
    }
    EXPECT_EQ(AllFiles().size(), Names.size()); // no part file stays
    EXPECT_EQ(Reports.log.back(), SJ("ダウンロードが終了しました"));
    EXPECT_EQ(server.Requests().size(), Names.size());
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

// One connection counts as one socket: its streams go past Options.Sockets,
// up to the server's SETTINGS_MAX_CONCURRENT_STREAMS and never past it once
// the client has it (a stream opened before may be refused, and goes again).
TEST_F(H2Test, StreamsGoPastTheSocketOptionUpToTheServersLimit) {
    Serve("max_concurrent_streams=4");
    Options.Sockets = 2;
    for (int i = 0; i < 12; i++)
        OnDownload(Url("/slow/" + Names[i]).c_str(), -1);
    ASSERT_TRUE(RunThroughRetries(15000));
    for (int i = 0; i < 12; i++)
        EXPECT_TRUE(Whole(Names[i])) << Names[i];
    EXPECT_EQ(AllRetries(), 0);
    int most = 0;
    for (const H2Server::Request& r : server.Log())
        if (!r.refused) most = std::max(most, r.open);
    EXPECT_EQ(most, 4);
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

// Legal but unusual: heads in CONTINUATION frames, an HPACK table resized
// and evicting on every answer, windows at their largest and a stream
// window lowered mid-body, no window at all for what the client sends.
TEST_F(H2Test, UnusualButLegalFramingReadsAsUsual) {
    Serve("initial_window_size=0");
    std::vector<std::string> paths = {"/windows/big.bin", "/continuation/" + Names[4]};
    for (int i = 5; i < 11; i++)
        paths.push_back("/evict/" + Names[i]);
    paths.push_back("/windows/continuation/evict/" + Names[11]);
    // HEAD checks read sizes through the churning table too.
    std::vector<int> rows;
    for (int i = 12; i < 16; i++) {
        std::string address = Url((i % 2 ? "/evict/" : "/continuation/") + Names[i]);
        rows.push_back(Row(address));
        Engine.HeadQueue.push_back(MakeRequest(KindHead, rows.back(), 0, address.c_str()));
    }
    Download(paths);
    ASSERT_TRUE(RunToIdle(10000));
    for (const std::string& p : paths) {
        std::string name = p.substr(p.rfind('/') + 1);
        EXPECT_TRUE(Whole(name)) << p;
        EXPECT_TRUE(Logged(Done(name))) << p;
    }
    for (int i = 0; i < 4; i++)
        EXPECT_STREQ(ListText(rows[i], ColSize),
                     std::to_string(Bytes[Names[12 + i]].size()).c_str());
    EXPECT_EQ(Reports.log.size(), paths.size()); // nothing but the downloads
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

TEST_F(H2Test, RedirectsAndCookiesWorkAsOverHttp11) {
    Serve();
    ClearCookies();
    Download({"/moved/moved/f03.jpg", "/cookie/f04.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Whole("f03.jpg"));
    EXPECT_TRUE(Logged(Done("f03.jpg")));
    EXPECT_TRUE(Logged(Done("f04.jpg")));
    EXPECT_EQ(server.Requests("/moved/f03.jpg").size(), 1u);
    EXPECT_EQ(server.Requests("/f03.jpg").size(), 1u);
    // Both cookies of the answer go with the next request (403 without).
    Download({"/needcookie/f05.jpg"});
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Whole("f05.jpg"));
    auto asked = server.Requests("/needcookie/f05.jpg");
    ASSERT_EQ(asked.size(), 1u);
    size_t cookie = asked[0].find("\r\ncookie: ");
    ASSERT_NE(cookie, std::string::npos) << asked[0];
    std::string line = asked[0].substr(cookie, asked[0].find("\r\n", cookie + 2) - cookie);
    EXPECT_NE(line.find("h2c=1"), std::string::npos) << line;
    EXPECT_NE(line.find("seen=yes"), std::string::npos) << line;
    EXPECT_EQ(server.Requests("/cookie/f04.jpg")[0].find("cookie:"), std::string::npos);
    ClearCookies();
}

// ---- Streams that fail alone --------------------------------------------------

TEST_F(H2Test, BusyStreamAloneWaitsTheTimeNamedAndRetries) {
    Serve();
    std::vector<std::string> paths = {"/once/busy/f06.jpg"};
    for (int i = 20; i < 29; i++)
        paths.push_back("/" + Names[i]);
    Download(paths);
    ASSERT_TRUE(RunThroughRetries());
    for (const std::string& p : paths)
        EXPECT_TRUE(Whole(p.substr(p.rfind('/') + 1))) << p;
    EXPECT_EQ(AllRetries(), 1);
    EXPECT_TRUE(Logged(SJ("HTTP 503のため1秒後に再試行します(1/3) - \"") + Url(paths[0]) + "\""));
    EXPECT_EQ(server.Requests(paths[0].c_str()).size(), 2u);
    EXPECT_EQ(server.Requests().size(), paths.size() + 1);
}

// Refused streams were never processed: they go again at once, and no retry
// is counted or logged. Past a GOAWAY's last stream, that is on a new
// connection; the partial answers the server sent for them count for nothing.
TEST_F(H2Test, RefusedStreamsGoAgainWithoutCountingAsRetries) {
    Serve();
    Download({"/f07.jpg", "/once/refuse/f08.jpg", "/f09.jpg"});
    ASSERT_TRUE(RunThroughRetries());
    for (const char* name : {"f07.jpg", "f08.jpg", "f09.jpg"})
        EXPECT_TRUE(Whole(name)) << name;
    EXPECT_EQ(server.Requests("/once/refuse/f08.jpg").size(), 2u);
    EXPECT_EQ(AllRetries(), 0);

    H2Server draining;
    ASSERT_TRUE(draining.Start(Ca, Site));
    OnDownload(draining.Url("/once/goaway/f10.jpg").c_str(), -1);
    for (int i = 11; i < 20; i++)
        OnDownload(draining.Url("/" + Names[i]).c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    for (int i = 10; i < 20; i++)
        EXPECT_TRUE(Whole(Names[i])) << Names[i];
    EXPECT_EQ(AllRetries(), 0);
    EXPECT_EQ(draining.Connections(), 2);
    auto log = draining.Log();
    auto last = std::find_if(log.begin(), log.end(), [](const H2Server::Request& r) {
        return r.path == "/once/goaway/f10.jpg";
    });
    ASSERT_NE(last, log.end());
    for (const H2Server::Request& r : log) {
        if (r.conn != 1 || r.stream <= last->stream) continue;
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [&](const H2Server::Request& again) {
                                    return again.conn == 2 && again.path == r.path;
                                }),
                  1)
            << r.path;
    }
}

// ---- Cut streams and broken connections ---------------------------------------

// Cut by a reset stream, an early END_STREAM or a lost connection, a download
// retries as a cut one and goes on from where it broke.
TEST_F(H2Test, CutDownloadsResumeWithRangeAndEndWhole) {
    Serve();
    for (std::string way : {"rst", "short", "drop"}) {
        std::string path = "/once/" + way + "/big.bin";
        ClearReports();
        OnDownload(Url(path).c_str(), -1);
        ASSERT_TRUE(RunThroughRetries()) << way;
        EXPECT_TRUE(Whole("big.bin")) << way;
        EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/big.bin"}) << way;
        EXPECT_EQ(Retries(path), 1) << way;
        auto asked = server.Requests(path.c_str());
        ASSERT_EQ(asked.size(), 2u) << way;
        EXPECT_EQ(asked[0].find("range:"), std::string::npos) << way;
        EXPECT_NE(asked[1].find("\r\nrange: bytes=" + kHalf + "-\r\n"), std::string::npos) << way;
        EXPECT_NE(asked[1].find("\r\nif-range: \"big.bin-" + std::to_string(kBig) + "\"\r\n"),
                  std::string::npos)
            << way;
        Forget("big.bin");
    }
}

// A broken connection (GOAWAY with an error, a frame past our maximum size,
// a head HPACK cannot decode, a PING flood) costs its jobs a retry at most.
TEST_F(H2Test, BrokenConnectionsRetryTheirJobsOnANewOne) {
    Serve();
    for (std::string way : {"goaway-error", "oversized", "badhpack", "pings"}) {
        std::string path = "/once/" + way + "/" + Names[5];
        ClearReports();
        OnDownload(Url(path).c_str(), -1);
        ASSERT_TRUE(RunThroughRetries()) << way;
        EXPECT_TRUE(Whole(Names[5])) << way;
        EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/" + Names[5]}) << way;
        // A client may bear the flood; then nothing is retried.
        if (way == "pings")
            EXPECT_LE(Retries(path), 1);
        else
            EXPECT_EQ(Retries(path), 1) << way;
        Forget(Names[5]);
    }
}

TEST_F(H2Test, StreamsThatAlwaysBreakGiveUpAfterThreeRetriesLeavingNothing) {
    Serve();
    for (std::string way : {"rst", "short", "goaway-error", "oversized"}) {
        std::string path = "/" + way + "/big.bin";
        ClearReports();
        OnDownload(Url(path).c_str(), -1);
        ASSERT_TRUE(RunThroughRetries(15000)) << way;
        EXPECT_EQ(Retries(path), 3) << way;
        EXPECT_TRUE(GaveUp(path)) << way << ": " << LastAbout(path);
        EXPECT_EQ(server.Requests(path.c_str()).size(), 4u) << way;
        EXPECT_EQ(AllFiles(), std::vector<std::string>{}) << way;
    }
}

// Heads past our bounds (decoding past 64 KiB, too many fields) and a window
// pushed past 2^31-1 end the stream: the job ends with an error line, after
// retries or not, and a download beside it on the connection is whole.
TEST_F(H2Test, HeadsAndWindowsPastTheBoundsEndTheJobWithAnError) {
    Serve();
    int beside = 20;
    for (std::string way : {"bomb", "many", "overflow"}) {
        std::string path = "/" + way + "/" + Names[6];
        ClearReports();
        Download({path, "/" + Names[beside]});
        ASSERT_TRUE(RunThroughRetries(15000)) << way;
        EXPECT_EQ(LastAbout(path).rfind("err:", 0), 0u) << way << ": " << LastAbout(path);
        EXPECT_FALSE(Exists(Names[6])) << way;
        EXPECT_TRUE(Whole(Names[beside++])) << way;
    }
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

// A connection that goes silent mid-body, reading nothing more: the job
// times out and its retry goes on, on a new connection, from where it broke.
TEST_F(H2Test, StalledConnectionTimesOutAndTheRetryResumesOnANewOne) {
    Serve();
    Options.TimeOutSec = 10;
    const std::string path = "/once/stall/big.bin";
    OnDownload(Url(path).c_str(), -1);
    ASSERT_TRUE(RunEngineUntil([&] { return server.Requests().size() == 1; }, 5000));
    RunEngineFor(500);
    AdvanceTickCountForTests(11000);
    RunEngineFor(150);
    EXPECT_EQ(Reports.log,
              std::vector<std::string>{SJ("タイムアウトのため1秒後に再試行します(1/3) - \"") +
                                       Url(path) + "\""});
    ASSERT_TRUE(RunThroughRetries(8000));
    EXPECT_TRUE(Whole("big.bin"));
    EXPECT_EQ(server.Connections(), 2);
    auto asked = server.Requests(path.c_str());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].find("\r\nrange: bytes=" + kHalf + "-\r\n"), std::string::npos);
}

// ---- Other servers --------------------------------------------------------------

TEST_F(H2Test, AServerThatDoesNotTakeH2IsServedOverHttp11) {
    for (std::string alpn : {"http/1.1", ""}) {
        TlsServer old;
        ASSERT_TRUE(old.Start(Ca, "localhost", Site, "serve", {}, 0, alpn));
        OnDownload(old.Url("/" + Names[7]).c_str(), -1);
        ASSERT_TRUE(RunToIdle());
        EXPECT_TRUE(Whole(Names[7])) << alpn;
        auto asked = old.Requests();
        ASSERT_EQ(asked.size(), 1u) << alpn;
        EXPECT_EQ(asked[0].rfind("GET /" + Names[7] + " HTTP/1.1\r\n", 0), 0u) << alpn;
        Forget(Names[7]);
    }
}

// Through an HTTP proxy the handshake inside the tunnel chooses h2 as well.
TEST_F(H2Test, TheTunnelOfAProxyCarriesHttp2Too) {
    Serve();
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Start(temp.path.string()));
    Options.ProxyFlag = 1;
    CopyText(Options.Proxy, sizeof Options.Proxy, "127.0.0.1");
    Options.ProxyPort = proxy.port;
    Download({"/" + Names[4], "/" + Names[5]});
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Whole(Names[4]) && Whole(Names[5]));
    auto asked = server.Log();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].raw.rfind("GET /" + Names[4] + " HTTP/2\r\n", 0), 0u) << asked[0].raw;
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(H2Test, NginxServesABatchOverOneHttp2Connection) {
    TempFolder folder;
    Nginx nginx;
    ASSERT_TRUE(nginx.Start(folder.path.string(), Site, "", Ca));
    for (const std::string& name : Names)
        OnDownload(nginx.Url("/" + name).c_str(), -1);
    ASSERT_TRUE(RunToIdle(15000));
    for (const std::string& name : Names)
        EXPECT_TRUE(Whole(name)) << name;
    EXPECT_EQ(nginx.Requests(), (int)Names.size());
    EXPECT_EQ(nginx.Connections(), 1);
    std::string log = nginx.Log();
    size_t h2 = 0;
    for (size_t at = 0; (at = log.find(" HTTP/2.0\n", at)) != std::string::npos; at++)
        h2++;
    EXPECT_EQ(h2, Names.size()) << log;
}

} // namespace
