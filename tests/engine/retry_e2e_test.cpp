// Downloads against servers that refuse, slow down and break off: retries
// with their waits, downloads resumed from a hidden part file, and the
// limit of connections to one host. Each test starts its own fixture
// server, so that answers that change per request start from the first.
#include <algorithm>
#include <filesystem>

#include "tests/engine/engine_fixture.h"

namespace {

std::string Body(int64_t n, int64_t from = 0) {
    return "{\"body\": " + std::to_string(n) + ", \"from\": " + std::to_string(from) + "}";
}
std::string Turns(const std::vector<std::string>& answers) {
    std::string json = "{\"turns\": [";
    for (size_t i = 0; i < answers.size(); i++) json += (i ? ", [" : "[") + answers[i] + "]";
    return json + "]}";
}
// Bytes from..from+n of the server's pattern.
std::string Pattern(int64_t n, int64_t from = 0) {
    std::string bytes((size_t)n, '\0');
    for (int64_t i = 0; i < n; i++) bytes[(size_t)i] = (char)((from + i) & 255);
    return bytes;
}

constexpr int64_t kBig = 5 * 1024 * 1024;
constexpr int64_t kCut = kBig * 6 / 10;  // where the first answer breaks off
const char* const kModified = "Sun, 06 Nov 1994 08:49:37 GMT";

// The first answer of a 5 MiB file that stops at 60%, with what a later
// request needs to resume it.
std::string CutAnswer(const std::string& validator) {
    return Send(Head("200 OK", "Content-Length: " + std::to_string(kBig) +
                                   "\r\nAccept-Ranges: bytes\r\n" + validator)) +
           ", " + Body(kCut);
}

class RetryTest : public EngineTest {
protected:
    TempFolder serverFolder;
    FixtureServer server;
    bool Serve(const std::string& routes) {
        return server.Start(serverFolder.path.string(), "{" + routes + "}");
    }
    std::string Url(const std::string& path) const { return server.Url(path); }
    std::string Retry(const char* reason, int seconds, int attempt, const std::string& path) {
        return SJ(reason) + SJ("のため") + std::to_string(seconds) + SJ("秒後に再試行します(") +
               std::to_string(attempt) + "/3) - \"" + Url(path) + "\"";
    }
    std::string GaveUp(const char* reason, const std::string& path) {
        return SJ("err:") + SJ(reason) + SJ("のため3回再試行しましたが失敗しました - \"") +
               Url(path) + "\"";
    }
    std::string Saved_(const std::string& name, int64_t size) {
        return name + "(" + std::to_string(size) + SJ("bytes)をダウンロードしました");
    }
    // Runs until a retry waits, without moving the clock.
    static bool RunUntilWaiting() {
        return RunEngineUntil([] { return !Engine.RetryWaits.empty(); }, 5000);
    }
};

// ---- Answers that ask for a retry, and those that do not -------------------

TEST_F(RetryTest, TooManyRequestsWaitsTheTimeTheServerNamesThenSucceeds) {
    ASSERT_TRUE(Serve(Json("/busy.jpg") + ": " +
                      Turns({Send(Head("429 Too Many Requests", "Retry-After: 1\r\n")),
                             Send(Head("200 OK", "Content-Length: 10\r\n")) + ", " + Body(10)})));
    OnDownload(Url("/busy.jpg").c_str(), -1);
    ASSERT_TRUE(RunUntilWaiting());
    RunEngineFor(300);  // the clock has not reached the second yet
    EXPECT_EQ(server.Requests("/busy.jpg").size(), 1u);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_EQ(server.Requests("/busy.jpg").size(), 2u);
    EXPECT_EQ(Saved("busy.jpg"), Pattern(10));
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{Retry("HTTP 429", 1, 1, "/busy.jpg"),
                                        Saved_("busy.jpg", 10)}));
}

TEST_F(RetryTest, RetryAfterAsADateIsMeasuredAgainstTheAnswersDateAndCapped) {
    std::string dated = Head("503 Service Unavailable",
                             std::string("Date: ") + kModified +
                                 "\r\nRetry-After: Sun, 06 Nov 1994 08:49:44 GMT\r\n");
    ASSERT_TRUE(Serve(Json("/dated.jpg") + ": " + Turns({Send(dated), Send(Head("200 OK"))}) +
                      ", " + Json("/long.jpg") + ": " +
                      Turns({Send(Head("503 Busy", "Retry-After: 600\r\n")), Send(Head("200 OK"))})));
    OnDownload(Url("/dated.jpg").c_str(), -1);
    OnDownload(Url("/long.jpg").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_TRUE(Logged(Retry("HTTP 503", 7, 1, "/dated.jpg"))) << Reports.log.size();
    EXPECT_TRUE(Logged(Retry("HTTP 503", 120, 1, "/long.jpg")));
    EXPECT_TRUE(Exists("dated.jpg"));
    EXPECT_TRUE(Exists("long.jpg"));
}

TEST_F(RetryTest, UnavailableThreeTimesMoreBacksOffThenGivesUp) {
    ASSERT_TRUE(Serve(Json("/down.jpg") + ": [" + Send(Head("503 Service Unavailable")) + "]"));
    OnDownload(Url("/down.jpg").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_EQ(server.Requests("/down.jpg").size(), 4u);
    EXPECT_EQ(Reports.log,
              (std::vector<std::string>{
                  Retry("HTTP 503", 1, 1, "/down.jpg"), Retry("HTTP 503", 4, 2, "/down.jpg"),
                  Retry("HTTP 503", 16, 3, "/down.jpg"), GaveUp("HTTP 503", "/down.jpg")}));
    EXPECT_TRUE(AllFiles().empty());
}

TEST_F(RetryTest, OtherErrorsAreNotRetried) {
    ASSERT_TRUE(Serve(Json("/gone.jpg") + ": [" + Send(Head("404 Not Found")) + "], " +
                      Json("/broken.jpg") + ": [" + Send(Head("500 Internal Server Error")) + "]"));
    OnDownload(Url("/gone.jpg").c_str(), -1);
    OnDownload(Url("/broken.jpg").c_str(), -1);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Engine.RetryWaits.empty());
    EXPECT_EQ(server.Requests("/gone.jpg").size(), 1u);
    EXPECT_EQ(server.Requests("/broken.jpg").size(), 1u);
    EXPECT_TRUE(Logged("err:HTTP 404 - \"" + Url("/gone.jpg") + "\""));
    EXPECT_TRUE(Logged("err:HTTP 500 - \"" + Url("/broken.jpg") + "\""));
}

TEST_F(RetryTest, ResetConnectionIsRetried) {
    ASSERT_TRUE(Serve(Json("/reset.jpg") + ": " +
                      Turns({"{\"reset\": true}",
                             Send(Head("200 OK", "Content-Length: 3\r\n")) + ", " + Body(3)})));
    OnDownload(Url("/reset.jpg").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_EQ(Saved("reset.jpg"), Pattern(3));
    ASSERT_FALSE(Reports.log.empty());
    // A reset before any answer reads either as a cut or as no answer.
    EXPECT_NE(Reports.log[0].find(SJ("秒後に再試行します(1/3)")), std::string::npos);
}

TEST_F(RetryTest, StopDropsWaitingRetriesAndTheirPartFiles) {
    ASSERT_TRUE(Serve(Json("/big.bin") + ": [" + CutAnswer(std::string("Last-Modified: ") +
                                                           kModified + "\r\n") + "]"));
    OnDownload(Url("/big.bin").c_str(), -1);
    ASSERT_TRUE(RunUntilWaiting());
    EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/.big.bin.part"});
    OnStopAll();
    EXPECT_TRUE(Engine.RetryWaits.empty());
    EXPECT_TRUE(AllFiles().empty());
    AdvanceTickCountForTests(2000);
    RunEngineFor(250);
    EXPECT_EQ(server.Requests("/big.bin").size(), 1u);
}

// ---- Resumed downloads --------------------------------------------------------

TEST_F(RetryTest, CutDownloadGoesOnFromWhereItBrokeAndIsIdentical) {
    std::string rest = Send(Head("206 Partial Content",
                                 "Content-Range: bytes " + std::to_string(kCut) + "-" +
                                     std::to_string(kBig - 1) + "/" + std::to_string(kBig) +
                                     "\r\nContent-Length: " + std::to_string(kBig - kCut) + "\r\n")) +
                       ", " + Body(kBig - kCut, kCut);
    ASSERT_TRUE(Serve(Json("/big.bin") + ": " +
                      Turns({CutAnswer(std::string("Last-Modified: ") + kModified + "\r\n"), rest})));
    int row = Row(Url("/big.bin"));
    OnDownload(Url("/big.bin").c_str(), row);
    ASSERT_TRUE(RunUntilWaiting());
    // What arrived waits hidden; nothing has the file's name yet.
    EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/.big.bin.part"});
    EXPECT_EQ((int64_t)std::filesystem::file_size(dl + "/.big.bin.part"), kCut);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/big.bin"});
    EXPECT_TRUE(Saved("big.bin") == Pattern(kBig)) << "the resumed file differs";
    auto requests = server.Requests("/big.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("Range:"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nRange: bytes=" + std::to_string(kCut) + "-\r\n"), std::string::npos);
    EXPECT_NE(requests[1].find(std::string("\r\nIf-Range: ") + kModified + "\r\n"), std::string::npos);
    EXPECT_EQ(Reports.log, (std::vector<std::string>{Retry("転送中断", 1, 1, "/big.bin"),
                                                     Saved_("big.bin", kBig)}));
    EXPECT_STREQ(ListText(row, ColSize), std::to_string(kBig).c_str());
}

TEST_F(RetryTest, ServerThatIgnoresTheRangeOrChangedTheFileStartsOver) {
    // One answers the range with the whole file; for the other the file
    // changed (its ETag no longer matches), so it sends the new one whole.
    std::string whole = Send(Head("200 OK", "Content-Length: " + std::to_string(kBig) + "\r\n")) +
                        ", " + Body(kBig);
    std::string changed =
        Send(Head("200 OK", "Content-Length: " + std::to_string(kBig) + "\r\nETag: \"v2\"\r\n")) +
        ", " + Body(kBig, 7);
    ASSERT_TRUE(Serve(Json("/ignores.bin") + ": " +
                      Turns({CutAnswer(std::string("Last-Modified: ") + kModified + "\r\n"), whole}) +
                      ", " + Json("/changed.bin") + ": " +
                      Turns({CutAnswer("ETag: \"v1\"\r\nLast-Modified: " + std::string(kModified) +
                                       "\r\n"),
                             changed})));
    OnDownload(Url("/ignores.bin").c_str(), -1);
    OnDownload(Url("/changed.bin").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_TRUE(Saved("ignores.bin") == Pattern(kBig));
    EXPECT_TRUE(Saved("changed.bin") == Pattern(kBig, 7)) << "old and new bytes were mixed";
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{"dl/changed.bin", "dl/ignores.bin"}));
    auto changedRequests = server.Requests("/changed.bin");
    ASSERT_EQ(changedRequests.size(), 2u);
    EXPECT_NE(changedRequests[1].find("\r\nIf-Range: \"v1\"\r\n"), std::string::npos);
}

TEST_F(RetryTest, CutFileWithoutValidatorOrRangesStartsOverWithoutRange) {
    ASSERT_TRUE(Serve(Json("/plain.bin") + ": " +
                      Turns({Send(Head("200 OK", "Content-Length: 1000\r\n")) + ", " + Body(400),
                             Send(Head("200 OK", "Content-Length: 1000\r\n")) + ", " + Body(1000)}) +
                      ", " + Json("/none.bin") + ": " +
                      Turns({Send(Head("200 OK", "Content-Length: 1000\r\nAccept-Ranges: none\r\n"
                                                 "ETag: \"n\"\r\n")) +
                                 ", " + Body(400),
                             Send(Head("200 OK", "Content-Length: 1000\r\n")) + ", " + Body(1000)})));
    OnDownload(Url("/plain.bin").c_str(), -1);
    OnDownload(Url("/none.bin").c_str(), -1);
    ASSERT_TRUE(RunThroughRetries());
    for (const char* name : {"plain.bin", "none.bin"}) {
        EXPECT_EQ(Saved(name), Pattern(1000)) << name;
        auto requests = server.Requests((std::string("/") + name).c_str());
        ASSERT_EQ(requests.size(), 2u) << name;
        EXPECT_EQ(requests[1].find("Range:"), std::string::npos) << name;
    }
}

// A small file is kept in memory until whole: a cut leaves nothing on disk,
// and its retry asks for the whole file again, though the server knows ranges.
TEST_F(RetryTest, CutSmallFileLeavesNothingAndStartsOver) {
    std::string head = Send(Head("200 OK", "Content-Length: 3000\r\nAccept-Ranges: bytes\r\n"
                                           "ETag: \"s\"\r\n"));
    ASSERT_TRUE(Serve(Json("/small.bin") + ": " +
                      Turns({head + ", " + Body(1200), head + ", " + Body(3000)})));
    OnDownload(Url("/small.bin").c_str(), -1);
    ASSERT_TRUE(RunUntilWaiting());
    EXPECT_TRUE(AllFiles().empty());
    ASSERT_TRUE(RunThroughRetries());
    EXPECT_EQ(AllFiles(), std::vector<std::string>{"dl/small.bin"});
    EXPECT_EQ(Saved("small.bin"), Pattern(3000));
    auto requests = server.Requests("/small.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].find("Range:"), std::string::npos);
}

// ---- Connections per host ----------------------------------------------------

TEST_F(RetryTest, NoMoreConnectionsToOneHostThanItsLimit) {
    for (int limit : {2, 4}) {
        FixtureServer limited;
        // Each answer ends with the server's close, so that the server has
        // counted a connection closed before the engine sees it end.
        std::string routes = "{";
        for (int i = 0; i < 12; i++)
            routes += (i ? ", " : "") + Json("/h/" + std::to_string(i) + ".jpg") +
                      ": [{\"sleep\": 0.15}, " + Send(Head("200 OK")) + ", " + Body(5) + "]";
        std::string folder = serverFolder.File(("limited" + std::to_string(limit)).c_str());
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(limited.Start(folder, routes + "}"));
        Options.Sockets = 10;
        Options.HostSockets = limit;
        for (int i = 0; i < 12; i++)
            OnDownload(limited.Url("/h/" + std::to_string(i) + ".jpg").c_str(), -1);
        ASSERT_TRUE(RunToIdle(10000));
        EXPECT_EQ(limited.MostOpen(), limit);
        for (int i = 0; i < 12; i++) EXPECT_EQ(Saved(std::to_string(i) + ".jpg"), Pattern(5)) << i;
        for (int i = 0; i < 12; i++) std::filesystem::remove(dl + "/" + std::to_string(i) + ".jpg");
    }
}

TEST_F(RetryTest, AFullHostLetsDownloadsOfAnotherHostBy) {
    ASSERT_TRUE(Serve(Json("/held.jpg") + ": [{\"hold\": \"first\"}, " +
                      Send(Head("200 OK", "Content-Length: 1\r\n")) + ", " + Body(1) + "], " +
                      Json("/next.jpg") + ": [" + Send(Head("200 OK", "Content-Length: 1\r\n")) +
                      ", " + Body(1) + "]"));
    Options.HostSockets = 1;
    std::string other = "http://localhost:" + std::to_string(server.port) + "/next.jpg";
    OnDownload(Url("/held.jpg").c_str(), -1);
    OnDownload(Url("/next.jpg").c_str(), -1);  // same host: waits
    OnDownload(other.c_str(), -1);             // another host: goes by
    ASSERT_TRUE(RunEngineUntil([&] { return server.Requests("/next.jpg").size() == 1; }, 5000));
    RunEngineFor(200);
    EXPECT_EQ(server.Requests("/next.jpg").size(), 1u);  // 127.0.0.1 is still full
    ASSERT_TRUE(server.Release("first"));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(server.Requests("/next.jpg").size(), 2u);
    EXPECT_NE(server.Requests("/next.jpg")[0].find("Host: localhost"), std::string::npos);
}

}  // namespace
