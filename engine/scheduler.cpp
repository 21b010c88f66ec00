// The engine's clock and switchboard: the 100 ms tick that starts queued
// jobs and enforces the time-out, the socket-event dispatcher, and the
// completion of finished jobs by kind.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

#include "analysis/file_table.h"
#include "analysis/page_scan.h"
#include "engine/engine.h"
#include "engine/net.h"
#include "engine/report.h"
#include "engine/text.h"
#include "engine/tls.h"
#include "settings/options.h"

static constexpr int kLogoFrames = 17;
static constexpr int kIndicatorIdle = 2;
static constexpr int kTlsStepsPerEvent = 64; // 256 KiB of 4096-byte steps

// Certificate checks may wait inside the system and let the window's queued
// messages through: an event that arrives while another is being handled
// waits its turn, so no job is ended under the feet of the one at work.
static bool Dispatching = false;
static std::deque<std::pair<SocketHandle, int>> DeferredEvents;

// Sockets edited by hand beyond 1..10 would starve or flood the queue.
static int DownloadSlots() {
    if (Options.Sockets < 1) return 1;
    if (Options.Sockets > 10) return 10;
    return Options.Sockets;
}

static void StartFront(std::deque<JobRequest>& queue) {
    // The request leaves its queue whether or not its job starts.
    JobRequest request = queue.front();
    queue.pop_front();
    StartJob(request);
}

static void StartQueuedJobs() {
    int32_t active[5];
    CountActiveByKind(active);
    if (active[KindFetch] == 0 && !Engine.FetchSlot.empty()) StartFront(Engine.FetchSlot);
    if (active[KindAnalyse] == 0 && !Engine.AnalysisQueue.empty()) StartFront(Engine.AnalysisQueue);
    for (int free = DownloadSlots() - active[KindDownload];
         free > 0 && !Engine.DownloadQueue.empty(); free--)
        StartFront(Engine.DownloadQueue);
    if (active[KindHead] == 0 && !Engine.HeadQueue.empty()) StartFront(Engine.HeadQueue);
}

static void EndSilentJobs() {
    uint32_t now = TickCount();
    for (auto it = Engine.ActiveJobs.begin(); it != Engine.ActiveJobs.end();) {
        Job& job = *it++; // EndJob removes only this entry
        // Unsigned on both sides: a negative TimeOutSec never times out.
        if ((uint32_t)(now - job.lastActivity) / 1000 <= (uint32_t)Options.TimeOutSec) continue;
        LogAppend("タイムアウトしました - \"%s\"", job.localName);
        Trace("TimeOut:%s\n", job.address);
        EndJob(&job);
    }
}

void OnTimer() {
    if (Dispatching) return; // a tick inside an event handler: the next one comes in 100 ms
    DrawEngineFrames(Engine.LogoFrame, Engine.IndicatorFrame);
    if (Engine.AnalysisRunning == 1 && Engine.AnalysisQueue.empty() && !AnyActive(KindAnalyse)) {
        LogAppend("解析が終了しました");
        Engine.AnalysisRunning = 0;
    }
    if (Engine.DownloadBatchRunning == 1 && Engine.DownloadQueue.empty() &&
        !AnyActive(KindDownload)) {
        Engine.DownloadsDone = 0;
        Engine.DownloadsQueued = 0;
        LogAppend("ダウンロードが終了しました");
        Engine.DownloadBatchRunning = 0;
    }
    if (!AnyActive(KindDownload)) ProgressSetPos(0);
    StartQueuedJobs();
    if (!Engine.ActiveJobs.empty()) {
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
    Job* job = FindJobBySocket(socket);
    if (!job) return; // a late event of an ended job
    job->lastActivity = TickCount();
    Engine.IndicatorFrame = (Engine.IndicatorFrame + 1) % 2;
    switch (event) {
    case NetEventRead:
        if (job->phase != PhaseResponse) {
            AdvanceConnection(job, false);
            break;
        }
        // TLS keeps bytes of its own that no further event would announce:
        // read until they are handed up. Past a bound, what is left waits in
        // the socket for its next event, so that other jobs and the tick get
        // their turn during a long download.
        for (int steps = 1; ReceiveChunk(job) == ReceiveMore && job->tls; steps++)
            if (steps >= kTlsStepsPerEvent && !TlsPending(job->tls)) break;
        break;
    case NetEventConnect:
        SendRequest(job);
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
        while (ReceiveChunk(job) == ReceiveMore) {
        }
        if (FindJobBySocket(socket) != job) return; // ended while reading
        FinishJob(job);
        break;
    default:
        break;
    }
}

static void SetRowSize(int row, int32_t size) {
    char text[16];
    FormatText(text, sizeof text, "%d", size);
    ListSetText(row, ColSize, text);
}

void CompleteJob(Job* job) {
    switch (job->kind) {
    case KindDownload:
        CloseTableFile(job->file);
        job->file = kNoFile;
        Engine.DownloadsDone++;
        if (Engine.DownloadsQueued > 1) {
            int64_t percent = (int64_t)Engine.DownloadsDone * 100 / Engine.DownloadsQueued;
            ProgressSetPos(percent > 100 ? 100 : (int)percent);
        }
        if (job->row != -1) {
            SetRowSize(job->row, job->received);
            if (job->modified[0]) ListSetText(job->row, ColDate, job->modified);
        }
        LogAppend("%s(%dbytes)をダウンロードしました", job->localName, job->received);
        break;
    case KindHead:
        if (job->status != 200 || job->row == -1) break;
        if (job->size >= 0) SetRowSize(job->row, job->size);
        if (job->modified[0]) ListSetText(job->row, ColDate, job->modified);
        break;
    case KindAnalyse:
        if (!job->data) {
            LogAppend("err:%sを解析できませんでした", job->localName);
            break;
        }
        job->data[job->received] = '\0'; // the spare byte
        if (job->top == 1) AddToHistory(job->address);
        CopyText(Engine.AnalysedPage, sizeof Engine.AnalysedPage, job->address);
        AnalysePage(job->data, job->address);
        Engine.AnalysedPage[0] = '\0';
        LogAppend("%sを解析しました", job->localName);
        break;
    case KindFetch:
        if (!job->data) break;
        if (job->row != -1) {
            SetRowSize(job->row, job->received);
            if (job->modified[0]) ListSetText(job->row, ColDate, job->modified);
        }
        ViewerHandOver(job->data, (size_t)job->received);
        job->data = nullptr; // the viewer owns it now
        break;
    default:
        break;
    }
}
