// Drives the engine for tools/engine-bench.sh and tools/tls-bench.sh and
// prints the elapsed milliseconds; natively with the poll loop, on Windows
// (under Wine) through the engine window and the Winsock layer:
//   engine_bench download <folder> <sockets> <list-file> [host sockets]
//                                                          one batch of downloads
//   engine_bench analyse <address>                          InternalLinks = 1
// FERROW_BENCH_CA names a PEM authority to trust besides the system's (native).
#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>

#include "engine/engine_window_win.h"
#include "engine/net.h"
#else
#include "engine/event_loop.h"
#endif
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/engine.h"
#include "engine/event_loop.h"
#include "engine/file_table.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "text/text.h"

static bool Idle() {
    return Engine.ActiveJobs.empty() && Engine.DownloadQueue.empty() && Engine.HeadQueue.empty() &&
           Engine.AnalysisQueue.empty() && Engine.FetchSlot.empty();
}

#ifdef _WIN32
void PaintEngineWindow(HWND, HDC) {}

// The engine window under a plain parent (its creation empties the queues,
// so it comes first).
static HWND MainBenchWindow = nullptr;
static bool StartEngine() {
    if (!StartupSockets()) return false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "EngineBenchMain";
    RegisterClassA(&wc);
    MainBenchWindow = CreateWindowExA(0, "EngineBenchMain", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                      100, nullptr, nullptr, instance, nullptr);
    return CreateEngineWindow(MainBenchWindow, instance, 0, 0) != nullptr;
}

// The window's messages until the engine is idle.
static bool RunUntilIdle() {
    while (!Idle()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(MainBenchWindow);
    CleanupSockets();
    return true;
}
#else
static bool StartEngine() {
    return true;
}
static bool RunUntilIdle() {
    return RunEngineUntil(Idle, 600000);
}
#endif

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (const char* ca = getenv("FERROW_BENCH_CA")) TlsTrustFile(ca);
    if (!StartEngine()) return 3;
    memset(&Options, 0, sizeof Options);
    Options.TimeOut = 1;
    Options.TimeOutSec = 30;
    Options.JPG = Options.GIF = Options.PNG = Options.HTM = 1;
    auto start = std::chrono::steady_clock::now();
    if (strcmp(argv[1], "download") == 0 && (argc == 5 || argc == 6)) {
        CopyText(Options.DLPath, sizeof Options.DLPath, argv[2]);
        Options.Sockets = (int)strtol(argv[3], nullptr, 10);
        // The program's own per-host limit unless the caller names one.
        Options.HostSockets = argc == 6 ? (int)strtol(argv[5], nullptr, 10) : kDefaultHostSockets;
        Engine.DownloadBatchRunning = 1;
        std::ifstream list(argv[4]);
        std::string line;
        while (std::getline(list, line))
            if (!line.empty()) OnDownload(line.c_str(), -1);
    } else if (strcmp(argv[1], "analyse") == 0) {
        Options.InternalLinks = 1;
        OnAnalysePage(argv[2], -1);
    } else {
        return 2;
    }
    RunUntilIdle();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    int failures = 0;
    for (const std::string& l : Reports.log)
        if (l.find("err:") == 0) failures++;
    for (const std::string& l : Reports.log)
        if (l.find("err:") == 0) fprintf(stderr, "%s\n", l.c_str());
    printf("%lld ms, %d log lines, %d errors, %d rows\n", (long long)ms, (int)Reports.log.size(),
           failures, ListCount());
    return 0;
}
