// Drives the engine natively for tools/engine-bench.sh and prints the
// elapsed milliseconds:
//   engine_bench download <folder> <sockets> <list-file>   one batch of downloads
//   engine_bench analyse <address>                          InternalLinks = 1
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "analysis/file_table.h"
#include "engine/engine.h"
#include "engine/event_loop.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "text/text.h"

static bool Idle() {
    return Engine.ActiveJobs.empty() && Engine.DownloadQueue.empty() && Engine.HeadQueue.empty() &&
           Engine.AnalysisQueue.empty() && Engine.FetchSlot.empty();
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    memset(&Options, 0, sizeof Options);
    Options.TimeOut = 1;
    Options.TimeOutSec = 30;
    Options.JPG = Options.GIF = Options.PNG = Options.HTM = 1;
    auto start = std::chrono::steady_clock::now();
    if (strcmp(argv[1], "download") == 0 && argc == 5) {
        CopyText(Options.DLPath, sizeof Options.DLPath, argv[2]);
        Options.Sockets = (int)strtol(argv[3], nullptr, 10);
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
    RunEngineUntil(Idle, 600000);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    int failures = 0;
    for (const std::string& l : Reports.log)
        if (l.find("err:") == 0) failures++;
    printf("%lld ms, %d log lines, %d errors, %d rows\n", (long long)ms, (int)Reports.log.size(),
           failures, ListCount());
    return 0;
}
