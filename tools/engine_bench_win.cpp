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

#include "tests/ui/ferrow_app.h"

namespace {

constexpr char kAnalysed[] = "解析が終了しました";
constexpr char kBatchDone[] = "ダウンロードが終了しました";
constexpr char kOneDone[] = "をダウンロードしました";

// The last line the log shows. Only single lines cross the process
// boundary: reading the whole text at every poll would steal time from the
// program's own thread, which also runs the engine, and would make the log
// show the lines it gathers at once, at a pace no user ever causes.
std::string LastLogLine(HWND log) {
    static LRESULT lastCount = -1;
    static std::string lastLine;
    LRESULT count = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
    if (count == lastCount) return lastLine;
    lastCount = count;
    LRESULT start = SendMessageA(log, EM_LINEINDEX, (WPARAM)(count - 1), 0);
    LRESULT length = SendMessageA(log, EM_LINELENGTH, (WPARAM)start, 0);
    // The length counts characters; a Shift_JIS character takes up to two bytes.
    std::string line((size_t)length * 2 + 16, '\0');
    *(WORD*)&line[0] = (WORD)line.size();
    LRESULT got = SendMessageA(log, EM_GETLINE, (WPARAM)(count - 1), (LPARAM)&line[0]);
    line.resize(got > 0 ? (size_t)got : 0);
    lastLine = line;
    return lastLine;
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
long long TimeUntilLog(const FerrowApp& app, const char* tail, long long start, int timeoutMs) {
    HWND log = app.Log();
    while (!EndsWith(LastLogLine(log), tail)) {
        if (Now() - start > timeoutMs) return -1;
        Sleep(5);
    }
    return Now() - start;
}

int Download(const char* page, int sockets) {
    FerrowApp app;
    std::string ini = "[OPTION]\r\nHeadCheck=0\r\nInternalLinks=0\r\nGIF=1\r\nPNG=1\r\nJPG=1\r\n"
                      "HTM=1\r\nTimeOut=1\r\nTimeOutSec=60\r\nSockets=" +
                      std::to_string(sockets) + "\r\n[WINDOW]\r\nviewer=0\r\n";
    if (!app.Start(page, ini)) return 1;
    if (TimeUntilLog(app, kAnalysed, Now(), 60000) < 0) return 1;
    const int rows = app.ListCount();
    const long long start = Now();
    app.Command(40004);  // download all
    long long ms = TimeUntilLog(app, rows > 1 ? kBatchDone : kOneDone, start, 600000);
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
    app.Command(40001);  // analyse
    long long ms = TimeUntilLog(app, kAnalysed, start, 600000);
    if (ms < 0) return 1;
    printf("%lld ms, %d rows\n", ms, app.ListCount());
    app.Exit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "download") == 0) return Download(argv[2], (int)strtol(argv[3], nullptr, 10));
    if (argc == 3 && strcmp(argv[1], "analyse") == 0) return Analyse(argv[2]);
    fprintf(stderr, "usage: engine_bench_win download <page> <sockets> | analyse <page>\n");
    return 2;
}
