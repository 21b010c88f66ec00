// The engine's clock and switchboard: the 100 ms tick that starts queued
// jobs and enforces the time-out, the socket-event dispatcher, and the
// completion of finished jobs by kind.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

#include "engine/engine.h"
#include "engine/file_table.h"
#include "engine/h2_link.h"
#include "engine/http.h"
#include "engine/net.h"
#include "engine/page_links.h"
#include "engine/report.h"
#include "engine/retry.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "text/nocase.h"
#include "text/text.h"

static constexpr int kLogoFrames = 17;
static constexpr int kIndicatorIdle = 2;

// Certificate checks may wait inside the system and let the window's queued
// messages through: an event that arrives while another is being handled
// waits its turn, so no job is ended under the feet of the one at work.
static bool Dispatching = false;
static std::deque<std::pair<SocketHandle, int>> DeferredEvents;

// Sockets edited by hand beyond the dialog's range would starve or flood the queue.
static int DownloadSlots() {
    if (Options.Sockets < kMinSockets) return kMinSockets;
    if (Options.Sockets > kMaxSockets) return kMaxSockets;
    return Options.Sockets;
}

// Servers ban clients that open many connections at once; an unset value or
// one outside the range counts as the default.
static int HostSlots() {
    if (Options.HostSockets < kMinSockets || Options.HostSockets > kMaxSockets)
        return kDefaultHostSockets;
    return Options.HostSockets;
}

// Downloads further down the queue than this do not overtake a front whose
// host is full, so that a long queue is not scanned at every start.
static constexpr size_t kHostLookAhead = 256;

// Connections open to a host are its active jobs, its idle pooled ones and
// its HTTP/2 links (one connection each, whatever they carry). A link with
// room takes the request as one more stream; an idle one for the same
// server is taken instead of a new one; else the oldest idle one to the
// host makes room when the host is full.
static bool HostHasRoom(const char* address) {
    // A full link is waited for: another connection would only split it.
    H2LinkRoom room = H2LinkRoomFor(address);
    if (room != H2NoLink) return room == H2Room;
    AddressText host;
    char path[8];
    uint16_t port = 0;
    SplitAddress(address, host, sizeof host, &port, path, sizeof path);
    bool secure = IsSecureAddress(address);
    if (PoolHas(secure, host, port)) return true;
    int open = PoolCountForHost(host) + H2LinkCountForHost(host);
    bool handshaking = false, plain = false;
    for (const Job& job : Engine.ActiveJobs) {
        if (job.ended || job.link || !SameHostName(job.host, host)) continue;
        open++;
        if (job.secure != (secure ? 1 : 0) || job.port != port) continue;
        if (job.phase == PhaseResponse) plain = true;
        else handshaking = true;
    }
    // While the first connection to a server is still being made, whether
    // it takes every request on that one connection (HTTP/2) is unknown:
    // the next requests wait for its handshake instead of opening more.
    if (secure && handshaking && !plain && !H2KnownPlain(host, port)) return false;
    if (open < HostSlots()) return true;
    return open - PoolCountForHost(host) < HostSlots() && PoolDropOldestForHost(host);
}

// The request at position i leaves its queue whether or not its job starts.
static void StartAt(std::deque<JobRequest>& queue, size_t i) {
    JobRequest request = queue[i];
    queue.erase(queue.begin() + (std::ptrdiff_t)i);
    StartJob(request);
}

// A kind that runs one job at a time keeps its order: a waiting retry goes
// before the queue, and the queue waits for it.
static void StartOneOf(int32_t kind, std::deque<JobRequest>& queue) {
    if (AnyRetryWaiting(kind)) {
        if (const RetryWait* wait = DueRetry(kind, HostHasRoom)) StartRetry(wait);
        return;
    }
    if (!queue.empty() && HostHasRoom(queue.front().address)) StartAt(queue, 0);
}

// Downloads run side by side, each on a connection of its own, up to
// Sockets of them; those that ride as streams of an HTTP/2 connection take
// no socket, and the table of open files bounds them all.
static int DownloadJobs = 0;       // active downloads
static int FreeDownloadSockets = 0;

static bool DownloadMayStart(const char* address) {
    if (DownloadJobs >= kOpenFileSlots) return false;
    if (H2LinkHasRoom(address)) return true;
    return FreeDownloadSockets > 0 && HostHasRoom(address);
}

// Counts the start of a download for address that DownloadMayStart allowed.
static void CountDownloadStart(bool onLink) {
    DownloadJobs++;
    if (!onLink) FreeDownloadSockets--;
}

// Due retries first, then the queue in order, where a request whose host
// is full lets the next ones by.
static void StartDownloads() {
    DownloadJobs = 0;
    int sockets = 0;
    for (const Job& job : Engine.ActiveJobs) {
        if (job.ended || job.kind != KindDownload) continue;
        DownloadJobs++;
        if (!job.link) sockets++;
    }
    FreeDownloadSockets = DownloadSlots() - sockets;
    while (const RetryWait* wait = DueRetry(KindDownload, DownloadMayStart)) {
        bool onLink = H2LinkHasRoom(wait->request.address);
        StartRetry(wait);
        CountDownloadStart(onLink);
    }
    std::deque<JobRequest>& queue = Engine.DownloadQueue;
    for (size_t i = 0; i < queue.size() && i < kHostLookAhead;) {
        if (DownloadJobs >= kOpenFileSlots || (FreeDownloadSockets <= 0 && !H2AnyLink())) break;
        if (!DownloadMayStart(queue[i].address)) {
            i++;
            continue;
        }
        bool onLink = H2LinkHasRoom(queue[i].address);
        StartAt(queue, i);
        CountDownloadStart(onLink);
    }
}

// Size checks run one at a time, since each would cost a connection; over
// HTTP/2 one costs a stream, so the next ones in the queue go beside it, in
// order, while their server's link has room.
static constexpr int kLinkedHeadChecks = 16;
static void StartHeadChecks() {
    int32_t active[5];
    CountActiveByKind(active);
    if (active[KindHead] == 0) StartOneOf(KindHead, Engine.HeadQueue);
    std::deque<JobRequest>& queue = Engine.HeadQueue;
    if (queue.empty() || AnyRetryWaiting(KindHead)) return;
    CountActiveByKind(active);
    for (int n = active[KindHead]; n > 0 && n < kLinkedHeadChecks && !queue.empty(); n++) {
        if (!H2LinkHasRoom(queue.front().address)) break;
        StartAt(queue, 0);
    }
}

static void StartQueuedJobs() {
    int32_t active[5];
    CountActiveByKind(active);
    if (active[KindFetch] == 0) StartOneOf(KindFetch, Engine.FetchSlot);
    if (active[KindAnalyse] == 0) StartOneOf(KindAnalyse, Engine.AnalysisQueue);
    StartDownloads();
    StartHeadChecks();
}

// The end of an analysis or of a batch of downloads, told once nothing of
// it waits or runs: when the event that ended its last job settles, and on
// the tick for runs that never started a job.
static void ReportEndedRuns() {
    bool ended = false;
    // A waiting retry belongs to its run: the run has not ended.
    if (Engine.AnalysisRunning == 1 && Engine.AnalysisQueue.empty() && !AnyActive(KindAnalyse) &&
        !AnyRetryWaiting(KindAnalyse)) {
        LogAppend("解析が終了しました");
        Engine.AnalysisRunning = 0;
        ended = true;
    }
    if (Engine.DownloadBatchRunning == 1 && Engine.DownloadQueue.empty() &&
        !AnyActive(KindDownload) && !AnyRetryWaiting(KindDownload)) {
        Engine.DownloadsDone = 0;
        Engine.DownloadsQueued = 0;
        LogAppend("ダウンロードが終了しました");
        Engine.DownloadBatchRunning = 0;
        ended = true;
    }
    if (ended) ShowResultsNow();
}

// Starts what may start, round again while a failed start freed its place
// at once (bounded: each round takes requests from the queues), then frees
// the records of the jobs that ended and tells the runs that ended.
static void SettleEngine() {
    for (int round = 0; round < 100; round++) {
        Engine.StartPending = 0;
        ReleaseEndedJobs();  // their connections become idle: the next jobs take them
        StartQueuedJobs();
        ReleaseEndedJobs();
        if (!Engine.StartPending) break;
    }
    ReportEndedRuns();
}

static int EventDepth = 0;
static bool WakePosted = false;

EngineEventScope::EngineEventScope() { EventDepth++; }
EngineEventScope::~EngineEventScope() {
    if (--EventDepth == 0) SettleEngine();
}

void RequestJobStarts() {
    Engine.StartPending = 1;
    if (EventDepth > 0 || WakePosted) return;  // the running event settles
    WakePosted = WakeEngine();
}

void OnStartJobs() {
    WakePosted = false;
    EngineEventScope scope;
}

static void EndSilentJobs() {
    uint32_t now = TickCount();
    for (Job& job : Engine.ActiveJobs) {
        if (job.ended) continue;
        // Unsigned on both sides: a negative TimeOutSec never times out.
        if ((uint32_t)(now - job.lastActivity) / 1000 <= (uint32_t)Options.TimeOutSec) continue;
        Trace("TimeOut:%s\n", job.address);
        H2RetireLinkOf(&job);  // new requests go to a new connection
        if (!RetryLater(&job, "タイムアウト", -1)) GiveUp(&job, "タイムアウト", nullptr);
    }
}

// First active download, or none.
static const Job* FirstDownload() {
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && job.kind == KindDownload) return &job;
    return nullptr;
}

void ShowByteProgress() {
    const Job* job = FirstDownload();
    if (Engine.DownloadsQueued != 1 || !job || job->size <= 0) return;
    // Sizes past 2^63 / 100 are divided first, so that nothing overflows.
    int64_t percent = job->size <= INT64_MAX / 100 ? job->received * 100 / job->size
                                                   : job->received / (job->size / 100);
    ProgressSetPos(percent > 100 ? 100 : (int)percent);
}

void OnTimer() {
    // A tick inside an event handler (a certificate check may pump
    // messages): the next one comes in 100 ms.
    if (Dispatching) return;
    EngineEventScope scope;
    DrawEngineFrames(Engine.LogoFrame, Engine.IndicatorFrame);
    ReportEndedRuns();
    if (!AnyActive(KindDownload)) ProgressSetPos(0);
    else ShowByteProgress();  // per tick, not per read
    StartQueuedJobs();
    PoolCloseStale(TickCount());
    H2CloseStaleLinks(TickCount());
    if (!Engine.ActiveJobs.empty() || AnyRetryWaiting(0)) {
        if (Options.TimeOut == 1) EndSilentJobs();
        SetCommandState(kCommandStop, 1);
        Engine.LogoFrame = (Engine.LogoFrame + 1) % kLogoFrames;
    } else {
        ProgressSetPos(0);
        SetCommandState(kCommandStop, 0);
        Engine.LogoFrame = 0;
        Engine.IndicatorFrame = kIndicatorIdle;
    }
}

static void DispatchSocketEvent(SocketHandle socket, int event);

void OnSocketEvent(SocketHandle socket, int event) {
    EngineEventScope scope;
    if (Dispatching) {
        DeferredEvents.emplace_back(socket, event);
        return;
    }
    Dispatching = true;
    DispatchSocketEvent(socket, event);
    while (!DeferredEvents.empty()) {
        auto next = DeferredEvents.front();
        DeferredEvents.pop_front();
        DispatchSocketEvent(next.first, next.second);
    }
    Dispatching = false;
}

static void DispatchSocketEvent(SocketHandle socket, int event) {
    if (H2LinkOnSocketEvent(socket, event)) {
        Engine.IndicatorFrame = (Engine.IndicatorFrame + 1) % 2;
        return;
    }
    Job* job = FindJobBySocket(socket);
    if (!job) {
        PoolOnSocketEvent(socket, event);  // an idle connection, or a late event of an ended job
        return;
    }
    job->lastActivity = TickCount();
    Engine.IndicatorFrame = (Engine.IndicatorFrame + 1) % 2;
    // Until the connection is up only the connect event means anything: a
    // late read or close of an earlier socket with the same number must not
    // reach this job.
    if (job->phase == PhaseConnect && event != NetEventConnect) return;
    ReadOutcome outcome = ReadWait;
    switch (event) {
    case NetEventRead:
        if (job->phase != PhaseResponse) {
            AdvanceConnection(job, false);
            break;
        }
        // The end of the stream completes the job now; its close event then
        // finds no job.
        outcome = ReadAvailable(job);
        if (outcome == ReadEnd || outcome == ReadDone) FinishJob(job);
        break;
    case NetEventConnect:
        if (!job->requestSent) SendRequest(job);
        break;
    case NetEventClose:
        if (job->phase != PhaseResponse) {
            AdvanceConnection(job, true);
            if (FindJobBySocket(socket) != job) return;                     // ended
            if (job->phase == PhaseHandshake) AdvanceConnection(job, true); // a tunnel just opened
            if (FindJobBySocket(socket) != job) return;
            if (job->phase != PhaseResponse) {
                EndWithTlsFailure(job); // the stream ended before the handshake did
                return;
            }
        }
        do outcome = ReadAvailable(job);
        while (outcome == ReadMore);
        if (outcome == ReadEnded) break;
        job->keepAlive = 0;  // the server closed it
        FinishJob(job);
        break;
    default:
        break;
    }
}

// Results go to the row of the job's own file, wherever sorting put it;
// a file no longer in the table (a new analysis) takes none.
static void ShowSizeAndDate(const Job* job, int64_t size) {
    char text[kSizeSize];
    FormatSize(size, text, sizeof text);
    if (size >= 0) ListSetFileText(job->foundFile, ColSize, text);
    if (job->modified[0]) ListSetFileText(job->foundFile, ColDate, job->modified);
}

// Gives a whole download its name. A held one is written now, straight
// under that name when no file is there yet; else it goes through its part
// file as every other download, so that a file it replaces stays until the
// new one is whole.
static bool FinishDownloadFile(Job* job) {
    const ResumeState& r = job->resume;
    if (job->held) {
        if (FileWriteNew(r.target, job->data, (size_t)job->received)) return true;
        FileHandle part = FileOpenPart(r.part, false);
        if (part == kNoFile) return false;
        int written = FileWrite(part, job->data, (size_t)job->received);
        FileClose(part);
        if (!written) return false;  // EndJob deletes the part
    } else {
        CloseTableFile(job->file);
        job->file = kNoFile;
    }
    return FileFinishPart(r.part, r.target) == 1;
}

void CompleteJob(Job* job) {
    switch (job->kind) {
    case KindDownload:
        if (!FinishDownloadFile(job)) {
            LogAppend("ファイルの作成に失敗しました - \"%s\"", job->localName);
            break;  // EndJob deletes the part
        }
        job->resume.part[0] = '\0';
        Engine.DownloadsDone++;
        if (Engine.DownloadsQueued == 1 && job->size > 0) {
            ProgressSetPos(100);  // the last byte progress, which no tick saw
        } else if (Engine.DownloadsQueued > 1) {
            int64_t percent = (int64_t)Engine.DownloadsDone * 100 / Engine.DownloadsQueued;
            ProgressSetPos(percent > 100 ? 100 : (int)percent);
        }
        ShowSizeAndDate(job, job->received);
        {
            char count[kSizeSize];
            FormatSize(job->received, count, sizeof count);
            LogAppend("%s(%sbytes)をダウンロードしました", job->localName, count);
        }
        break;
    case KindHead:
        if (job->status == 200) ShowSizeAndDate(job, job->size);
        break;
    case KindAnalyse:
        if (!job->data) {
            LogAppend("err:%sを解析できませんでした", job->localName);
            break;
        }
        job->data[job->received] = '\0'; // the spare byte
        if (job->top == 1) AddToHistory(job->address);
        AnalysePage(job->data, (size_t)job->received, job->address, job->charset);
        LogAppend("%sを解析しました", job->localName);
        break;
    case KindFetch:
        if (!job->data) break;
        ShowSizeAndDate(job, job->received);
        ViewerHandOver(job->data, (size_t)job->received);
        job->data = nullptr; // the viewer owns it now
        break;
    default:
        break;
    }
}
