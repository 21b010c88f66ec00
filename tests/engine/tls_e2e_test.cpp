// End-to-end tests of the engine over TLS on 127.0.0.1: a test authority
// made with the openssl command and trusted only by this program, the
// fixture server speaking TLS (well-behaved and hostile) and plain HTTP
// for redirects and a refusing proxy, and tinyproxy.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/platform.h"
#include "engine/tls.h"
#include "resources/version.h"
#include "tests/engine/engine_fixture.h"
#include "text/text.h"


namespace {

TempFolder* World; // authority, site and server logs
std::string Ca;
std::string Site;
TlsServer* Good;
FixtureServer* Plain;
std::string Binary; // the bytes of site/dir/photo.jpg

class TlsServers : public ::testing::Environment {
  public:
    void SetUp() override {
        World = new TempFolder;
        Ca = World->File("ca");
        Site = World->File("site");
        ASSERT_TRUE(MakeTestAuthority(Ca));
        TlsTrustFile((Ca + "/ca.pem").c_str());
        std::filesystem::create_directories(Site + "/dir");
        std::mt19937 random(15);
        for (int i = 0; i < 300000; i++)
            Binary += (char)(random() & 0xFF);
        WriteWholeFile(Site + "/dir/photo.jpg", Binary);
        WriteWholeFile(Site + "/a.jpg", "AAAA");
        WriteWholeFile(Site + "/index.html",
                       "<html><title>Secure</title><a href=\"dir/photo.jpg\">p</a>"
                       "<img src=\"/a.jpg\"><a href=\"sub.html\">s</a></html>");
        WriteWholeFile(Site + "/sub.html", "<img src=\"//localhost:{port}/a.jpg\">");
        // Both servers name each other in their redirects: the TLS port is
        // chosen first.
        int tlsPort = FreePort();
        Plain = new FixtureServer;
        std::string toTls = "https://localhost:" + std::to_string(tlsPort);
        ASSERT_TRUE(Plain->Start(
            World->path.string(),
            "{\"/up.jpg\": [{\"send\": " +
                Json("HTTP/1.0 302 Found\r\nLocation: " + toTls + "/dir/photo.jpg\r\n\r\n") +
                "}], \"/back.jpg\": [{\"send\": " +
                Json("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nback") +
                "}], \"*\": [{\"send\": " + Json("HTTP/1.0 403 Forbidden\r\n\r\n") + "}]}"));
        Good = new TlsServer;
        ASSERT_TRUE(
            Good->Start(Ca, "localhost", Site, "serve",
                        {"/down.jpg=http://127.0.0.1:" + std::to_string(Plain->port) + "/back.jpg",
                         "/moved.html=/index.html", "/loop.jpg=/loop.jpg"},
                        tlsPort));
        // The sub page names the server's own port.
        WriteWholeFile(Site + "/sub.html",
                       "<img src=\"//localhost:" + std::to_string(tlsPort) + "/a.jpg\">");
    }
    void TearDown() override {
        delete Good;
        delete Plain;
        delete World;
    }
};
const auto* const kTlsServers = ::testing::AddGlobalTestEnvironment(new TlsServers);

class TlsTest : public EngineTest {
  protected:
    std::string ErrorLine(TlsFailure failure, const std::string& address) {
        return SJ("err:SSL ") + TlsFailureText(failure) + " - \"" + address + "\"";
    }
    // Downloads one address and runs the engine until it is done.
    void Download(const std::string& address, uint32_t timeoutMs = 8000) {
        OnDownload(address.c_str(), -1);
        ASSERT_TRUE(RunToIdle(timeoutMs));
    }
};

// ---- Pages and files over TLS ---------------------------------------------

TEST_F(TlsTest, AnalysesAPageAndFillsRowsWithHeadRequestsThatNameThePage) {
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    std::string top = Good->Url("/index.html");
    OnAnalysePage(top.c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{SJ("index.htmlを解析しました"),
                                        SJ("sub.htmlを解析しました"), SJ("解析が終了しました")}));
    EXPECT_EQ(Reports.history, std::vector<std::string>{top});
    ASSERT_EQ(ListCount(), 3);
    // Relative links keep https; the protocol-relative one takes it.
    EXPECT_STREQ(ListText(0, ColAddress), Good->Url("/dir/photo.jpg").c_str());
    EXPECT_STREQ(ListText(1, ColAddress), Good->Url("/a.jpg").c_str());
    EXPECT_STREQ(ListText(2, ColAddress), Good->Url("/sub.html").c_str());
    EXPECT_STREQ(ListText(0, ColSize), "300000");
    EXPECT_EQ(strlen(ListText(0, ColDate)), 19u);
    auto heads = Good->Requests("/dir/photo.jpg");
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0], "HEAD /dir/photo.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\n"
                        "Host: localhost:" + std::to_string(Good->port) +
                            "\r\nUser-Agent: Ferrow/" FERROW_VERSION "\r\nReferer: " + top +
                            "\r\n\r\n");
    // The page itself is asked for without a Referer.
    auto pages = Good->Requests("/index.html");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].find("Referer"), std::string::npos);
}

TEST_F(TlsTest, DownloadsAreByteIdenticalFlatAndHierarchical) {
    Engine.DownloadBatchRunning = 1;
    Download(Good->Url("/dir/photo.jpg"));
    EXPECT_EQ(Saved("photo.jpg"), Binary);
    EXPECT_TRUE(Logged(SJ("photo.jpg(300000bytes)をダウンロードしました")));
    Options.Hierarchical = 1;
    Download(Good->Url("/dir/photo.jpg", "127.0.0.1")); // the certificate names the address too
    std::string folder = "127.0.0.1_" + std::to_string(Good->port);
    EXPECT_EQ(Saved(folder + "/dir/photo.jpg"), Binary);
}

TEST_F(TlsTest, DownloadOfAListedFileNamesItsPage) {
    int row = Row(Good->Url("/a.jpg"));
    ListSetText(row, ColPage, "https://localhost/gallery.html");
    OnDownload(ListText(row, ColAddress), row);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_EQ(Saved("a.jpg"), "AAAA");
    auto requests = Good->Requests("/a.jpg");
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.back().find("\r\nReferer: https://localhost/gallery.html\r\n"),
              std::string::npos);
}

TEST_F(TlsTest, RedirectsCrossBetweenTheSchemesBothWays) {
    Download(Plain->Url("/up.jpg"));
    EXPECT_EQ(Saved("photo.jpg"), Binary);
    Download(Good->Url("/down.jpg"));
    EXPECT_EQ(Saved("back.jpg"), "back");
    // A moved top page starts a fresh analysis at the new https address.
    OnAnalysePage(Good->Url("/moved.html").c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_TRUE(Logged(SJ("index.htmlを解析しました")));
    // The redirect limit holds over TLS as well.
    ClearReports();
    Download(Good->Url("/loop.jpg"));
    EXPECT_EQ(Reports.log,
              std::vector<std::string>{"err:HTTP 302 - \"" + Good->Url("/loop.jpg") + "\""});
}

// ---- Certificates -----------------------------------------------------------

TEST_F(TlsTest, CertificatesThatDoNotProveTheServerAreRefusedWithNothingWritten) {
    const struct {
        const char* cert;
        const char* host;
        TlsFailure failure;
    } cases[] = {
        {"untrusted", "localhost", TlsFailUntrusted},
        {"wronghost", "localhost", TlsFailHostName},
        {"expired", "localhost", TlsFailExpired},
        // A name never matches an address entry, an address never a DNS entry.
        {"iponly", "localhost", TlsFailHostName},
        {"ipasdns", "127.0.0.1", TlsFailHostName},
    };
    for (const auto& c : cases) {
        TlsServer server;
        ASSERT_TRUE(server.Start(Ca, c.cert, Site));
        ClearReports();
        Download(server.Url("/a.jpg", c.host));
        EXPECT_EQ(Reports.log,
                  std::vector<std::string>{ErrorLine(c.failure, server.Url("/a.jpg", c.host))})
            << c.cert;
        EXPECT_TRUE(AllFiles().empty()) << c.cert;
        EXPECT_TRUE(server.Requests().empty()) << c.cert; // no request was sent
    }
    // Named only by its address, the server is proved for that address.
    {
        TlsServer server;
        ASSERT_TRUE(server.Start(Ca, "iponly", Site));
        Download(server.Url("/a.jpg", "127.0.0.1"));
        EXPECT_EQ(AllFiles().size(), 1u);
    }
    // A refused top page says so in the caption, as HTTP errors do.
    TlsServer server;
    ASSERT_TRUE(server.Start(Ca, "wronghost", Site));
    ClearReports();
    OnAnalysePage(server.Url("/index.html", "127.0.0.1").c_str(), -1);
    ASSERT_TRUE(RunToIdle(8000));
    EXPECT_TRUE(Logged(ErrorLine(TlsFailHostName, server.Url("/index.html", "127.0.0.1"))));
    EXPECT_EQ(Reports.captions.back(), SJ("SSLエラー - Ferrow"));
}

// ---- Hostile servers ----------------------------------------------------------

TEST_F(TlsTest, HostileServersEndTheJobWithAnErrorAndNoFile) {
    const struct {
        const char* mode;
        const char* path;
        TlsFailure failure;
    } cases[] = {
        {"garbage", "/a.jpg", TlsFailRecord},              // plain HTTP on the https port
        {"bighello", "/a.jpg", TlsFailRecord},             // a record over the largest size
        {"serve", "/cut/dir/photo.jpg", TlsFailTruncated}, // closed inside a record
        {"serve", "/oversized/dir/photo.jpg", TlsFailRecord},
    };
    for (const auto& c : cases) {
        TlsServer server;
        ASSERT_TRUE(server.Start(Ca, "localhost", Site, c.mode));
        ClearReports();
        Download(server.Url(c.path));
        EXPECT_EQ(Reports.log, std::vector<std::string>{ErrorLine(c.failure, server.Url(c.path))})
            << c.mode << c.path;
        EXPECT_TRUE(AllFiles().empty()) << c.mode << c.path;
    }
}

// One handshake with the server on port, offering HTTP/2 or not: what the
// server chose, or -1 when the handshake failed.
int Negotiate(int port, bool offerH2) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((uint16_t)port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, (sockaddr*)&to, sizeof to) != 0) return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    TlsConn* tls = TlsOpen((SocketHandle)fd, "localhost", offerH2);
    TlsStep step = TlsStepFailed;
    for (int waits = 0; tls && (step = TlsHandshake(tls)) == TlsStepWait && waits < 2500; waits++)
        usleep(2000);
    int chosen = step == TlsStepDone ? (int)TlsChosenProtocol(tls) : -1;
    TlsClose(tls);
    close(fd);
    return chosen;
}

// The handshake offers HTTP/1.1, and HTTP/2 first only when asked; a server
// without the extension chooses nothing. A server that knows only HTTP/1.1
// serves the engine's offer of both over HTTP/1.1.
TEST_F(TlsTest, ApplicationProtocolsAreOfferedAndTheChoiceIsKnown) {
    TlsServer both, older;
    ASSERT_TRUE(both.Start(Ca, "localhost", Site, "serve", {}, 0, "h2,http/1.1"));
    ASSERT_TRUE(older.Start(Ca, "localhost", Site, "serve", {}, 0, "http/1.1"));
    EXPECT_EQ(Negotiate(both.port, true), TlsAppH2);
    EXPECT_EQ(Negotiate(both.port, false), TlsAppHttp11);
    EXPECT_EQ(Negotiate(Good->port, true), TlsAppNone);
    EXPECT_EQ(Negotiate(older.port, true), TlsAppHttp11);
    OnDownload(older.Url("/a.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("a.jpg"), "AAAA");
}

TEST_F(TlsTest, CloseWithoutGoodbyeBetweenRecordsIsAnOrdinaryEnd) {
    Download(Good->Url("/abrupt/dir/photo.jpg"));
    EXPECT_EQ(Saved("photo.jpg"), Binary);
}

TEST_F(TlsTest, StalledHandshakeTimesOut) {
    TlsServer server;
    ASSERT_TRUE(server.Start(Ca, "localhost", Site, "stall"));
    Options.TimeOutSec = 10;
    OnDownload(server.Url("/a.jpg").c_str(), -1);
    RunEngineFor(500);
    ASSERT_EQ(Engine.ActiveJobs.size(), 1u);
    EXPECT_EQ(Engine.ActiveJobs.front().phase, PhaseHandshake);
    AdvanceTickCountForTests(11000);
    RunEngineFor(150);
    EXPECT_TRUE(Engine.ActiveJobs.empty());
    EXPECT_EQ(Reports.log, std::vector<std::string>{SJ("タイムアウトのため1秒後に再試行します(1/3) - \"") +
                                                    server.Url("/a.jpg") + "\""});
    EXPECT_TRUE(AllFiles().empty());
}

// ---- Through a proxy ------------------------------------------------------------

TEST_F(TlsTest, DownloadThroughTinyproxyTunnel) {
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Start(temp.path.string()));
    Options.ProxyFlag = 1;
    CopyText(Options.Proxy, sizeof Options.Proxy, "127.0.0.1");
    Options.ProxyPort = proxy.port;
    size_t before = Good->Requests("/dir/photo.jpg").size();
    Download(Good->Url("/dir/photo.jpg"));
    EXPECT_EQ(Saved("photo.jpg"), Binary);
    // Inside the tunnel the server reads an ordinary request with its path.
    auto requests = Good->Requests("/dir/photo.jpg");
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().substr(0, 28), "GET /dir/photo.jpg HTTP/1.1\r");
    EXPECT_EQ(requests.back().find("Proxy-Connection"), std::string::npos);
}

TEST_F(TlsTest, RefusedTunnelIsAnError) {
    Options.ProxyFlag = 1;
    CopyText(Options.Proxy, sizeof Options.Proxy, "127.0.0.1");
    Options.ProxyPort = Plain->port; // answers 403 to everything unknown
    Download("https://origin.invalid/a.jpg");
    EXPECT_EQ(Reports.log,
              std::vector<std::string>{SJ("err:プロキシがトンネルを拒否しました(HTTP 403) - "
                                          "\"https://origin.invalid/a.jpg\"")});
    auto asked = Plain->Requests();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), "CONNECT origin.invalid:443 HTTP/1.0\r\nHost: origin.invalid:443\r\n"
                            "User-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n");
    EXPECT_TRUE(AllFiles().empty());
}

} // namespace
