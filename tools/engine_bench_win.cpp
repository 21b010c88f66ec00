// Drives Ferrow.exe under Wine for tools/engine-bench.sh and prints the
// elapsed milliseconds of the engine's work, measured from the command to
// the log line that ends it:
//   engine_bench_win download <page address> <sockets>   "download all" of the page's files
//   engine_bench_win analyse <page address>              analysis with InternalLinks = 1
// FERROW_UI_EXE names the program (Windows path).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/resource.h"
#include "tests/ui/ferrow_app.h"

namespace {

constexpr char kAnalysed[] = "解析が終了しました";
constexpr char kBatchDone[] = "ダウンロードが終了しました";
constexpr char kOneDone[] = "をダウンロードしました";

// The last non-empty line of the log.
std::string LastLogLine(HWND log) {
    std::string text = WindowText(log);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    size_t start = text.find_last_of('\n');
    return start == std::string::npos ? text : text.substr(start + 1);
}

// Whether the last line the log shows may be the awaited one: a whole line
// of its length (in characters or bytes, as the control counts), or for a
// tail, any new line. Reading the whole text at every poll would steal time
// from the program's own thread, which also runs the engine, and would make
// the log show the lines it gathers at once, at a pace no user ever causes.
bool LastLineMayBe(HWND log, const char* tail, bool whole) {
    static LRESULT lastCount = -1;
    LRESULT count = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
    if (!whole) {
        bool changed = count != lastCount;
        lastCount = count;
        return changed;
    }
    LRESULT start = SendMessageA(log, EM_LINEINDEX, (WPARAM)(count - 1), 0);
    LRESULT length = SendMessageA(log, EM_LINELENGTH, (WPARAM)start, 0);
    int bytes = (int)strlen(tail);
    int chars = MultiByteToWideChar(CP_ACP, 0, tail, bytes, nullptr, 0);
    return length == bytes || length == chars;
}

bool EndsWith(const std::string& text, const char* tail) {
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

long long Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Polls every 5 ms until the last log line ends with tail; the elapsed ms.
// whole: the line is the tail itself, else it ends with it.
long long TimeUntilLog(const FerrowApp& app, const char* tail, bool whole, long long start,
                       int timeoutMs) {
    HWND log = app.Log();
    while (!LastLineMayBe(log, tail, whole) || !EndsWith(LastLogLine(log), tail)) {
        if (Now() - start > timeoutMs) return -1;
        Sleep(5);
    }
    return Now() - start;
}

// hostSockets 0 leaves the program's own per-host limit.
int Download(const char* page, int sockets, int hostSockets) {
    FerrowApp app;
    std::string ini = "[OPTION]\r\nHeadCheck=0\r\nInternalLinks=0\r\nGIF=1\r\nPNG=1\r\nJPG=1\r\n"
                      "HTM=1\r\nTimeOut=1\r\nTimeOutSec=60\r\nSockets=" +
                      std::to_string(sockets) + "\r\n";
    if (hostSockets > 0) ini += "HostSockets=" + std::to_string(hostSockets) + "\r\n";
    ini += "[WINDOW]\r\nviewer=0\r\n";
    if (!app.Start(page, ini)) return 1;
    if (TimeUntilLog(app, kAnalysed, true, Now(), 60000) < 0) return 1;
    const int rows = app.ListCount();
    const long long start = Now();
    app.Command(IDM_DOWNLOAD_ALL);
    long long ms = TimeUntilLog(app, rows > 1 ? kBatchDone : kOneDone, rows > 1, start, 600000);
    if (ms < 0) return 1;
    printf("%lld ms, %d files\n", ms, rows);
    app.Exit();
    return 0;
}

int Analyse(const char* page) {
    FerrowApp app;
    std::string ini = "[OPTION]\r\nHeadCheck=0\r\nInternalLinks=1\r\nGIF=1\r\nPNG=1\r\nJPG=1\r\n"
                      "HTM=1\r\n[WINDOW]\r\nviewer=0\r\n";
    if (!app.Start("", ini)) return 1;
    SendMessageA(app.UrlEdit(), WM_SETTEXT, 0, (LPARAM)page);
    const long long start = Now();
    app.Command(IDM_ANALYSE);
    long long ms = TimeUntilLog(app, kAnalysed, true, start, 600000);
    if (ms < 0) return 1;
    printf("%lld ms, %d rows\n", ms, app.ListCount());
    app.Exit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "download") == 0)
        return Download(argv[2], (int)strtol(argv[3], nullptr, 10),
                        argc == 5 ? (int)strtol(argv[4], nullptr, 10) : 0);
    if (argc == 3 && strcmp(argv[1], "analyse") == 0) return Analyse(argv[2]);
    fprintf(stderr, "usage: engine_bench_win download <page> <sockets> [host sockets] | analyse <page>\n");
    return 2;
}
