#include "engine/jobs.h"

#include <cstdlib>
#include <cstring>

#include "engine/engine.h"
#include "engine/file_table.h"
#include "engine/h2_link.h"
#include "engine/inflate.h"
#include "engine/report.h"
#include "engine/retry.h"
#include "engine/tls.h"
#include "text/text.h"

EngineState Engine;

JobRequest MakeRequest(int32_t kind, int32_t row, int32_t top, const char* address) {
    JobRequest request;
    memset(&request, 0, sizeof request);
    request.kind = kind;
    request.foundFile = ListFileId(row);
    request.top = top;
    CopyText(request.address, sizeof request.address, address);
    return request;
}

// An address longer than the one limit is refused, never cut.
static bool Refused(const char* address) {
    if (AddressFits(address)) return false;
    AddressText shown;  // its first kMaxAddress characters
    CopyText(shown, sizeof shown, address);
    LogAppend("err:アドレスが長すぎます - \"%s\"", shown);
    return true;
}

void BeginAnalysisRun(const char* address) {
    ListReset();
    CopyText(Engine.TopPageAddress, sizeof Engine.TopPageAddress, address);
    Engine.VisitedPages.clear();
    Engine.AnalysisQueue.clear();
    Engine.HeadQueue.clear();
    Engine.FetchSlot.clear();
    DropRetryWaits(KindAnalyse);
    DropRetryWaits(KindHead);
    DropRetryWaits(KindFetch);
    Engine.BrowserAgent[0] = '\0';
    Engine.AnalysisRunning = 1;
    Engine.VisitedPages.push_back(Engine.TopPageAddress);
}

void OnAnalysePage(const char* address, int32_t row) {
    if (Refused(address)) return;
    BeginAnalysisRun(address);
    Engine.AnalysisQueue.push_back(MakeRequest(KindAnalyse, row, 1, address));
    RequestJobStarts();
}

void OnAnalyseLink(const char* address, int32_t row) {
    if (Refused(address)) return;
    Engine.AnalysisQueue.push_back(MakeRequest(KindAnalyse, row, 0, address));
    Engine.VisitedPages.push_back(Engine.AnalysisQueue.back().address);
    RequestJobStarts();
}

void OnDownload(const char* address, int32_t row) {
    if (Refused(address)) return;
    Engine.DownloadQueue.push_back(MakeRequest(KindDownload, row, 0, address));
    // A listed file is asked for with the page it was found on.
    CopyText(Engine.DownloadQueue.back().referer, kAddressBufferSize, ListText(row, ColPage));
    Engine.DownloadsQueued++;
    if (Engine.DownloadsQueued == 1) ProgressSetPos(0);
    RequestJobStarts();
}

void OnFetch(const char* address, int32_t row) {
    if (Refused(address)) return;
    Engine.FetchSlot.clear();
    DropRetryWaits(KindFetch);
    Engine.FetchSlot.push_back(MakeRequest(KindFetch, row, 0, address));
    RequestJobStarts();
}

static void EndAllJobs() {
    for (Job& job : Engine.ActiveJobs)
        if (!job.ended) EndJob(&job);
}

void OnStopAll() {
    EngineEventScope scope;
    Engine.AnalysisQueue.clear();
    Engine.HeadQueue.clear();
    Engine.FetchSlot.clear();
    Engine.DownloadQueue.clear();
    Engine.DownloadsDone = 0;
    Engine.DownloadsQueued = 0;
    DropRetryWaits(0);
    EndAllJobs();
    PoolCloseAll();
    H2CloseAllLinks();
    Engine.AnalysisRunning = 0;
    Engine.DownloadBatchRunning = 0;
}

void ShutdownEngine() {
    EngineEventScope scope;
    // Nothing is told on the way out: the runs end without their end lines.
    Engine.AnalysisRunning = 0;
    Engine.DownloadBatchRunning = 0;
    Engine.AnalysisQueue.clear();
    Engine.HeadQueue.clear();
    Engine.FetchSlot.clear();
    Engine.DownloadQueue.clear();
    Engine.VisitedPages.clear();
    DropRetryWaits(0);
    EndAllJobs();
    PoolCloseAll();
    H2CloseAllLinks();
}

Job* AddActiveJob(const JobRequest& request) {
    Engine.ActiveJobs.emplace_back();
    Job* job = &Engine.ActiveJobs.back();
    memset(job, 0, sizeof *job);
    job->file = kNoFile;
    job->conn = kNoConnection;
    job->lookup = kNoLookup;
    job->size = -1;
    job->kind = request.kind;
    job->foundFile = request.foundFile;
    job->top = request.top;
    job->redirects = request.redirects;
    CopyText(job->requested, sizeof job->requested, request.address);
    CopyText(job->referer, sizeof job->referer, request.referer);
    return job;
}

void EndJob(Job* job) {
    if (job->ended) return;
    // An unfinished download leaves nothing behind, open or closed.
    if (job->file != kNoFile) {
        CloseAndDeleteTableFile(job->file);
        job->file = kNoFile;
    } else if (job->resume.part[0]) {
        FileDelete(job->resume.part);
    }
    job->resume.part[0] = '\0';
    // A stream ends alone; its connection carries the others on.
    H2DetachJob(job);
    // A reusable connection waits in the record until the event is over.
    if (!job->giveBack) CloseConnection(&job->conn);
    if (job->lookup != kNoLookup) NetCancelLookup(job->lookup);
    InflateClose(job->inflater);
    job->inflater = nullptr;
    free(job->data);
    free(job->head);
    job->lookup = kNoLookup;
    job->data = nullptr;
    job->head = nullptr;
    job->ended = 1;
    Engine.StartPending = 1;  // a place became free
}

void ReleaseEndedJobs() {
    for (Job& job : Engine.ActiveJobs) {
        if (!job.ended || !job.giveBack || job.conn.socket == kNoSocket) continue;
        PoolGive(job.conn, job.secure == 1, job.host, job.port);
        job.conn = kNoConnection;
    }
    Engine.ActiveJobs.remove_if([](const Job& job) { return job.ended != 0; });
    H2ReleaseClosedLinks();
}

Job* FindJobBySocket(SocketHandle socket) {
    if (socket == kNoSocket) return nullptr;
    for (Job& job : Engine.ActiveJobs)
        if (!job.ended && job.conn.socket == socket) return &job;
    return nullptr;
}

Job* FindJobByLookup(LookupHandle lookup) {
    if (lookup == kNoLookup) return nullptr;
    for (Job& job : Engine.ActiveJobs)
        if (!job.ended && job.lookup == lookup) return &job;
    return nullptr;
}

bool TargetInUse(const char* target) {
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && job.kind == KindDownload && strcmp(job.resume.target, target) == 0)
            return true;
    for (const RetryWait& wait : Engine.RetryWaits)
        if (strcmp(wait.resume.target, target) == 0) return true;
    return false;
}

bool AnyActive(int32_t kind) {
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && job.kind == kind) return true;
    return false;
}

void CountActiveByKind(int32_t countsOut[5]) {
    for (int k = 0; k < 5; k++) countsOut[k] = 0;
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && job.kind >= 1 && job.kind <= 4) countsOut[job.kind]++;
}

// Open download files: a slot keeps the path so that an unfinished file can
// be deleted when its job ends early.
struct OpenFileSlot {
    FileHandle file;
    char path[260];
};
static OpenFileSlot OpenFileTable[kOpenFileSlots] = {};
static bool OpenFileTableReady = false;

static void PrepareOpenFileTable() {
    if (OpenFileTableReady) return;
    for (OpenFileSlot& slot : OpenFileTable) slot.file = kNoFile;
    OpenFileTableReady = true;
}

FileHandle OpenTableFile(const char* path, bool append) {
    PrepareOpenFileTable();
    for (OpenFileSlot& slot : OpenFileTable) {
        if (slot.file != kNoFile) continue;
        FileHandle file = FileOpenPart(path, append);
        if (file == kNoFile) return kNoFile;
        slot.file = file;
        CopyText(slot.path, sizeof slot.path, path);
        return file;
    }
    return kNoFile;
}

static OpenFileSlot* FindOpenFile(FileHandle file) {
    PrepareOpenFileTable();
    if (file == kNoFile) return nullptr;
    for (OpenFileSlot& slot : OpenFileTable)
        if (slot.file == file) return &slot;
    return nullptr;
}

void CloseTableFile(FileHandle file) {
    OpenFileSlot* slot = FindOpenFile(file);
    if (!slot) return;
    FileClose(slot->file);
    slot->file = kNoFile;
}

void CloseAndDeleteTableFile(FileHandle file) {
    OpenFileSlot* slot = FindOpenFile(file);
    if (!slot) return;
    FileClose(slot->file);
    FileDelete(slot->path);
    slot->file = kNoFile;
}

int OpenFileTableCount() {
    PrepareOpenFileTable();
    int n = 0;
    for (const OpenFileSlot& slot : OpenFileTable)
        if (slot.file != kNoFile) n++;
    return n;
}
