#include "engine/requests.h"

#include "engine/cookie_file.h"
#include "engine/jobs.h"

void BeginDownloadBatch() {
    Engine.DownloadBatchRunning = 1;
}

void ReadCookieFileSetting() {
    LoadCookieFile();
}
