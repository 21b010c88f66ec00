// Ferrow.exe under Wine against the fixture server that
// run_engine_app_tests.sh starts: HEAD answers that land on their own rows
// while the user re-sorts the list, one download past 2 GiB, downloads
// that need a retry or a resume under a per-host limit, cookies from a
// page and from a cookies.txt, and a crawl and a batch over HTTP/2.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tests/ui/ferrow_app.h"
#include "tests/ui/fixture_ask_win.h"

namespace {

using Texts = std::vector<std::string>;

// What the script's slow files answer (kept in step with the script).
struct SlowFile {
    std::string name, size, date;
};
std::vector<SlowFile> SlowFiles() {
    std::vector<SlowFile> files;
    for (int i = 0; i < 12; i++) {
        char name[16], date[32];
        snprintf(name, sizeof name, "%c%02d.jpg", 'a' + (i * 5) % 12, i);
        snprintf(date, sizeof date, "1994/11/%02d 08:49:37", i + 1);
        files.push_back({name, std::to_string(1000 + (i * 7) % 12 * 111), date});
    }
    return files;
}

int KnownSizes(const FerrowApp& app) {
    int known = 0;
    for (const std::string& size : app.ListColumn(1)) known += !size.empty();
    return known;
}

TEST(EngineAppTest, HeadResultsFindTheirRowsWhileTheListIsResorted) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("slow.html"),
                          "[OPTION]\r\nHeadCheck=1\r\nJPG=1\r\nHTM=1\r\n[WINDOW]\r\nviewer=0\r\n"));
    const std::vector<SlowFile> files = SlowFiles();
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == (int)files.size(); }));
    // The answers come in three groups as the test lets them: sort by name
    // after the first, by size after the second.
    const char* const kPort = "FERROW_UI_PORT";
    ASSERT_TRUE(ReleaseHeld(kPort, "slow0"));
    ASSERT_TRUE(WaitUntil([&] { return KnownSizes(app) == 4; }));
    app.Command(40013);  // by name
    ASSERT_TRUE(ReleaseHeld(kPort, "slow1"));
    ASSERT_TRUE(WaitUntil([&] { return KnownSizes(app) == 8; }));
    app.ClickHeader(1);  // by size
    ASSERT_TRUE(ReleaseHeld(kPort, "slow2"));
    ASSERT_TRUE(WaitUntil([&] { return KnownSizes(app) == (int)files.size(); }, 30000));
    std::map<std::string, const SlowFile*> byName;
    for (const SlowFile& f : files) byName[f.name] = &f;
    for (int row = 0; row < app.ListCount(); row++) {
        auto it = byName.find(app.ListText(row, 0));
        ASSERT_NE(it, byName.end()) << app.ListText(row, 0);
        EXPECT_EQ(app.ListText(row, 1), it->second->size) << it->first;
        EXPECT_EQ(app.ListText(row, 2), it->second->date) << it->first;
        EXPECT_EQ(app.ListText(row, 3), ServerAddress("slow/" + it->first));
    }
    EXPECT_EQ(app.Exit(), 0);
}

// The stream the fixture server makes for /big.jpg (tools/fixture_server.py).
constexpr int64_t kBigSize = (int64_t{1} << 31) + 1234;
constexpr int kBlock = 1 << 20;

TEST(EngineAppTest, DownloadPastTwoGiBKeepsItsRealSize) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("big.html"), "[OPTION]\r\nHeadCheck=0\r\nHierarchical=0\r\n"
                                                     "JPG=1\r\nHTM=1\r\n[WINDOW]\r\nviewer=0\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 1; }));
    app.SelectRows({0});
    app.Command(40003);  // download
    const std::string count = std::to_string(kBigSize);
    ASSERT_TRUE(app.WaitForLog("big.jpg(" + count + "bytes)をダウンロードしました", 240000))
        << app.LogText();
    EXPECT_EQ(app.ListText(0, 1), count);
    const std::string path = app.folder() + "\\dl\\big.jpg";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good());
    std::vector<unsigned char> base(kBlock), got(kBlock);
    for (int i = 0; i < kBlock; i++) base[i] = (unsigned char)((i * 131 + (i >> 8) * 7) & 255);
    int64_t left = kBigSize;
    int badBlocks = 0;
    for (uint64_t k = 0; left > 0; k++) {
        size_t n = (size_t)(left < kBlock ? left : kBlock);
        memcpy(base.data(), &k, 8);
        in.read((char*)got.data(), (std::streamsize)n);
        ASSERT_EQ((size_t)in.gcount(), n) << k;
        if (memcmp(got.data(), base.data(), n) != 0) badBlocks++;
        left -= (int64_t)n;
    }
    EXPECT_EQ(in.peek(), EOF);
    in.close();
    EXPECT_EQ(badBlocks, 0);
    DeleteFileA(path.c_str());
    EXPECT_EQ(app.Exit(), 0);
}

std::string Pattern(int64_t n, int64_t from = 0) {
    std::string bytes((size_t)n, '\0');
    for (int64_t i = 0; i < n; i++) bytes[(size_t)i] = (char)((from + i) & 255);
    return bytes;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(EngineAppTest, RetriesResumesAndThePerHostLimit) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("retry.html"),
                          "[OPTION]\r\nHeadCheck=0\r\nHierarchical=0\r\nSockets=10\r\n"
                          "HostSockets=2\r\nJPG=1\r\nHTM=1\r\nExtension=bin\r\n"
                          "[WINDOW]\r\nviewer=0\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 10; })) << app.ListCount();
    std::vector<int> rows;
    for (int row = 0; row < 10; row++) rows.push_back(row);
    app.SelectRows(rows);
    FixtureMostOpen("FERROW_UI_PORT");  // counts from here
    app.Command(40003);     // download
    const int64_t big = 5 << 20;
    ASSERT_TRUE(app.WaitForLog("resume.bin(" + std::to_string(big) + "bytes)をダウンロードしました",
                               60000))
        << app.LogText();
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました", 30000)) << app.LogText();
    const std::string log = app.LogText();
    for (const std::string& line :
         {"HTTP 429のため1秒後に再試行します(1/3) - \"" + ServerAddress("busy.jpg") + "\"",
          "転送中断のため1秒後に再試行します(1/3) - \"" + ServerAddress("resume.bin") + "\"",
          std::string("busy.jpg(10bytes)をダウンロードしました")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_TRUE(FileText(dl + "resume.bin") == Pattern(big)) << "the resumed file differs";
    EXPECT_EQ(GetFileAttributesA((dl + ".resume.bin.part").c_str()), INVALID_FILE_ATTRIBUTES);
    DWORD attributes = GetFileAttributesA((dl + "resume.bin").c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(FileText(dl + "busy.jpg"), Pattern(10));
    for (int i = 0; i < 8; i++) EXPECT_EQ(FileText(dl + std::to_string(i) + ".jpg"), Pattern(5)) << i;
    EXPECT_EQ(FixtureMostOpen("FERROW_UI_PORT"), 2);
    // The server's log holds each request head as JSON text.
    const char* requests = getenv("FERROW_FIXTURE_LOG");
    ASSERT_NE(requests, nullptr);
    EXPECT_NE(FileText(requests).find("Range: bytes=3145728-\\r\\nIf-Range: \\\"r1\\\""),
              std::string::npos);
    EXPECT_EQ(app.Exit(), 0);
}

TEST(EngineAppTest, GzipPageAndABatchOverKeptConnections) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("keep.html"),
                          "[OPTION]\r\nHeadCheck=0\r\nHierarchical=0\r\nSockets=2\r\n"
                          "HostSockets=2\r\nJPG=1\r\nHTM=1\r\n[WINDOW]\r\nviewer=0\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 12; })) << app.LogText();
    std::vector<int> rows;
    for (int row = 0; row < 12; row++) rows.push_back(row);
    app.SelectRows(rows);
    FixtureConnections("FERROW_UI_PORT");  // counts from here
    app.Command(40003);  // download
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました", 30000)) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    for (int i = 0; i < 12; i++) EXPECT_EQ(FileText(dl + std::to_string(i) + ".jpg"), Pattern(5)) << i;
    // No more connections than the limit carry the twelve files, the page's among them.
    int connections = FixtureConnections("FERROW_UI_PORT");
    EXPECT_GE(connections, 0);
    EXPECT_LE(connections, 2);
    EXPECT_EQ(app.Exit(), 0);
}

// The Cookie line of each logged request for path, "-" for none
// (requests.log holds one JSON line per request, its head escaped).
std::vector<std::string> CookiesSent(const std::string& path) {
    std::ifstream in(getenv("FERROW_FIXTURE_LOG"), std::ios::binary);
    std::vector<std::string> sent;
    std::string line;
    const std::string key = "{\"path\": \"" + path + "\"", mark = "\\r\\nCookie: ";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        size_t at = line.find(mark);
        if (at == std::string::npos) {
            sent.push_back("-");
            continue;
        }
        at += mark.size();
        sent.push_back(line.substr(at, line.find("\\r\\n", at) - at));
    }
    return sent;
}

const char kCookieIni[] = "[OPTION]\r\nHeadCheck=0\r\nHierarchical=0\r\nJPG=1\r\nHTM=1\r\n";

TEST(EngineAppTest, PageCookieOpensItsImages) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("cookie/page.html"),
                          std::string(kCookieIni) + "[WINDOW]\r\nviewer=0\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 2; }));
    app.SelectRows({0, 1});
    app.Command(40003); // download
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    EXPECT_TRUE(app.LogHas("a.jpg(4bytes)をダウンロードしました")) << app.LogText();
    EXPECT_TRUE(app.LogHas("b.jpg(4bytes)をダウンロードしました")) << app.LogText();
    for (const char* name : {"a.jpg", "b.jpg"}) {
        std::ifstream in(app.folder() + "\\dl\\" + name, std::ios::binary);
        std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(body, name[0] == 'a' ? "AAAA" : "BBBB");
        EXPECT_EQ(CookiesSent(std::string("/cookie/") + name), std::vector<std::string>{"sid=abc"});
    }
    EXPECT_EQ(CookiesSent("/cookie/page.html"), std::vector<std::string>{"-"});
    EXPECT_EQ(app.Exit(), 0);
}

TEST(EngineAppTest, CookieFileBringsHostOnlyAndDomainCookiesButNotExpiredOnes) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string file =
        std::string(temp) + "ferrow-cookies-" + std::to_string(GetTickCount()) + ".txt";
    std::ofstream(file, std::ios::binary)
        << "# Netscape HTTP Cookie File\r\n"
           "127.0.0.1\tFALSE\t/\tFALSE\t0\thostonly\th1\r\n"
           ".localhost\tTRUE\t/jar\tFALSE\t4102444800\tdomain\td1\r\n"
           "localhost\tFALSE\t/\tFALSE\t1000000000\texpired\te1\r\n"
           "this line is not a cookie\r\n";
    FerrowApp app;
    ASSERT_TRUE(
        app.Start(ServerAddress("jar/page.html"),
                  std::string(kCookieIni) + "CookieFile=" + file + "\r\n[WINDOW]\r\nviewer=0\r\n"));
    EXPECT_TRUE(app.WaitForLog("クッキーファイル" + file + "から2個のクッキーを読み込みました"))
        << app.LogText();
    ASSERT_TRUE(WaitUntil([&] { return app.ListCount() == 2; })) << app.LogText();
    app.SelectRows({0, 1});
    app.Command(40003); // download
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    EXPECT_EQ(CookiesSent("/jar/page.html"), std::vector<std::string>{"hostonly=h1"});
    EXPECT_EQ(CookiesSent("/jar/a.jpg"), std::vector<std::string>{"hostonly=h1"});
    EXPECT_EQ(CookiesSent("/jar/b.jpg"), std::vector<std::string>{"domain=d1"});
    EXPECT_EQ(app.Exit(), 0);
    DeleteFileA(file.c_str());
}

// Lines of nginx's log of the HTTP/2 site: "CONNECTION PROTOCOL REQUEST".
std::vector<std::string> H2Log() {
    std::ifstream in(getenv("FERROW_H2_LOG"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Three pages that link to each other, crawled and their twelve pictures
// downloaded, all as streams of one connection; the pictures past the size
// kept in memory go through their part files.
TEST(EngineAppTest, CrawlAndBatchOverHttp2RideOneConnection) {
    const std::string site = getenv("FERROW_H2_SITE");
    const std::string top =
        "https://localhost:" + std::string(getenv("FERROW_H2_PORT")) + "/page1.html";
    FerrowApp app;
    ASSERT_TRUE(app.Start(top, "[OPTION]\r\nHeadCheck=1\r\nHierarchical=0\r\nInternalLinks=1\r\n"
                               "JPG=1\r\nHTM=0\r\n[WINDOW]\r\nviewer=0\r\n"));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました", 30000)) << app.LogText();
    ASSERT_TRUE(WaitUntil([&] { return KnownSizes(app) == 12; })) << app.LogText();
    std::vector<int> rows;
    for (int row = 0; row < 12; row++) rows.push_back(row);
    app.SelectRows(rows);
    app.Command(40003);  // download
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました", 30000)) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    for (int p = 1; p <= 3; p++) {
        for (int i = 1; i <= 4; i++) {
            std::string name = "p" + std::to_string(p) + "-" + std::to_string(i) + ".jpg";
            std::string saved = FileBytes(dl + name);
            EXPECT_TRUE(!saved.empty() && saved == FileBytes(site + "\\pics\\" + name)) << name;
        }
    }
    // Three pages, twelve HEAD checks and twelve downloads.
    std::vector<std::string> log = H2Log();
    EXPECT_EQ(log.size(), 27u);
    for (const std::string& line : log) {
        EXPECT_NE(line.find(" HTTP/2.0 "), std::string::npos) << line;
        EXPECT_EQ(line.substr(0, line.find(' ')), log[0].substr(0, log[0].find(' '))) << line;
    }
    EXPECT_EQ(app.Exit(), 0);
}

}  // namespace
