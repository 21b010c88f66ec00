// The engine through the Winsock layer and the LogoClass window, under Wine,
// against servers on 127.0.0.1 started by run_win_engine_test.sh:
//   --files-port=N    Python's file server over the folder the script filled
//   --fixture-port=N  the fixture server with the script's routes
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/engine.h"
#include "engine/engine_window_win.h"
#include "engine/file_table.h"
#include "engine/net.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"
#include "text/text.h"

namespace {

int FilesPort = 0;
int FixturePort = 0;
int AlpnPort = 0;  // TLS, choosing h2 before http/1.1
HWND MainWindow = nullptr;
HWND Logo = nullptr;

std::string FilesUrl(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(FilesPort) + path;
}
std::string FixtureUrl(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(FixturePort) + path;
}

// Pumps the thread's messages until done() or the time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

bool Idle() {
    return Engine.ActiveJobs.empty() && Engine.DownloadQueue.empty() && Engine.HeadQueue.empty() &&
           Engine.AnalysisQueue.empty() && Engine.FetchSlot.empty();
}

// Runs until every queue and job is done, then until the next tick, whose
// end messages are then seen.
bool RunToIdle(DWORD timeoutMs = 10000) {
    bool idle = PumpUntil(Idle, timeoutMs);
    const size_t ticks = Reports.engineFrames.size();
    PumpUntil([&] { return Reports.engineFrames.size() > ticks; }, 1000);
    return idle;
}

class WinEngineTest : public ::testing::Test {
protected:
    TempFolder temp;
    std::string dl;
    void SetUp() override {
        SendMessageA(Logo, MsgStopAll, 0, 0);
        ListReset();
        memset(&Options, 0, sizeof Options);
        Options.Sockets = 2;
        Options.TimeOut = 1;
        Options.TimeOutSec = 10;
        Options.JPG = Options.GIF = Options.PNG = Options.HTM = 1;
        dl = temp.File("dl");
        std::filesystem::create_directories(dl);
        CopyText(Options.DLPath, sizeof Options.DLPath, dl.c_str());
        ClearReports();
    }
    void TearDown() override { SendMessageA(Logo, MsgStopAll, 0, 0); }
    bool Logged(const std::string& line) const {
        return std::find(Reports.log.begin(), Reports.log.end(), line) != Reports.log.end();
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> all;
        for (auto& e : std::filesystem::recursive_directory_iterator(dl))
            if (e.is_regular_file()) all.push_back(std::filesystem::relative(e.path(), dl).string());
        std::sort(all.begin(), all.end());
        return all;
    }
    void Download(const std::string& url, int row = -1) {
        SendMessageA(Logo, MsgDownload, (WPARAM)url.c_str(), (LPARAM)row);
    }
};

TEST_F(WinEngineTest, AnalyseALocalPageWithHeadSizesAndDates) {
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    std::string top = FilesUrl("/index.html");
    AnalyseBlock block = {top.c_str(), -1, 0};
    SendMessageA(Logo, MsgAnalysePage, (WPARAM)&block, 0);
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(Logged("index.htmlを解析しました"));
    EXPECT_TRUE(Logged("sub.htmlを解析しました"));
    EXPECT_EQ(Reports.log.back(), "解析が終了しました");
    EXPECT_EQ(Reports.captions.back(), "Top - Ferrow");
    const struct {
        const char* name;
        const char* size;
    } rows[] = {{"a.jpg", "4"}, {"b.gif", "6"}, {"sub.html", "30"}, {"c.png", "3"}};
    ASSERT_EQ(ListCount(), 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_STREQ(ListText(i, ColName), rows[i].name);
        EXPECT_STREQ(ListText(i, ColSize), rows[i].size) << rows[i].name;
        EXPECT_EQ(strlen(ListText(i, ColDate)), 19u) << rows[i].name;
    }
}

TEST_F(WinEngineTest, SeveralDownloadsAtATimeEndTheBatch) {
    Engine.DownloadBatchRunning = 1;
    for (int i = 1; i <= 4; i++) Download(FilesUrl("/f" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Files(), (std::vector<std::string>{"f1.jpg", "f2.jpg", "f3.jpg", "f4.jpg"}));
    for (int i = 1; i <= 4; i++)
        EXPECT_EQ(ReadWholeFile(dl + "/f" + std::to_string(i) + ".jpg"),
                  std::string(10000 * i, (char)('0' + i)));
    EXPECT_EQ(Reports.log.back(), "ダウンロードが終了しました");
    EXPECT_EQ(Reports.log.size(), 5u);
}

TEST_F(WinEngineTest, RedirectAnd404) {
    Download(FixtureUrl("/r1.jpg"));
    Download(FilesUrl("/missing.jpg"));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Files(), std::vector<std::string>{"final.jpg"});
    EXPECT_EQ(ReadWholeFile(dl + "/final.jpg"), "final");
    EXPECT_TRUE(Logged("err:HTTP 404 - \"" + FilesUrl("/missing.jpg") + "\""));
}

TEST_F(WinEngineTest, StopLeavesNoPartialFiles) {
    Engine.DownloadBatchRunning = 1;
    for (int i = 0; i < 3; i++) Download(FixtureUrl("/drip-body.jpg?" + std::to_string(i)));
    // Two under way, their first bytes in (held in memory or in part files).
    auto underWay = [] {
        return std::count_if(Engine.ActiveJobs.begin(), Engine.ActiveJobs.end(), [](const Job& j) {
            return j.kind == KindDownload && j.chunks > 0 && !j.ended;
        });
    };
    PumpUntil([&] { return underWay() == 2; }, 5000);
    EXPECT_EQ(underWay(), 2);
    SendMessageA(Logo, MsgStopAll, 0, 0);
    RunToIdle();
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(Reports.log.empty());
    EXPECT_EQ(Engine.LogoFrame, 0);
}

// One Schannel handshake with the ALPN server, offering HTTP/2 or not: what
// the server chose, or -1 when the handshake failed.
int Negotiate(bool offerH2) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((u_short)AlpnPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET || connect(s, (sockaddr*)&to, sizeof to) != 0) return -1;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    TlsConn* tls = TlsOpen((SocketHandle)s, "localhost", offerH2);
    TlsStep step = TlsStepFailed;
    for (int waits = 0; tls && (step = TlsHandshake(tls)) == TlsStepWait && waits < 2500; waits++)
        Sleep(2);
    int chosen = step == TlsStepDone ? (int)TlsChosenProtocol(tls) : -1;
    TlsClose(tls);
    closesocket(s);
    return chosen;
}

// Schannel offers the protocols as OpenSSL does and tells the server's choice.
TEST_F(WinEngineTest, SchannelOffersApplicationProtocols) {
    EXPECT_EQ(Negotiate(true), TlsAppH2);
    EXPECT_EQ(Negotiate(false), TlsAppHttp11);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "--files-port=", 13) == 0) FilesPort = (int)strtol(argv[i] + 13, nullptr, 10);
        if (strncmp(argv[i], "--fixture-port=", 15) == 0)
            FixturePort = (int)strtol(argv[i] + 15, nullptr, 10);
        if (strncmp(argv[i], "--alpn-port=", 12) == 0) AlpnPort = (int)strtol(argv[i] + 12, nullptr, 10);
    }
    if (!FilesPort || !FixturePort || !AlpnPort) {
        fprintf(stderr, "usage: win_engine_tests --files-port=N --fixture-port=N --alpn-port=N\n");
        return 2;
    }
    if (!StartupSockets()) return 3;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "EngineTestMain";
    RegisterClassA(&wc);
    MainWindow = CreateWindowExA(0, "EngineTestMain", "test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                 nullptr, nullptr, instance, nullptr);
    Logo = CreateEngineWindow(MainWindow, instance, 0, 0);
    if (!Logo) return 4;
    int result = RUN_ALL_TESTS();
    DestroyWindow(MainWindow);
    CleanupSockets();
    return result;
}
