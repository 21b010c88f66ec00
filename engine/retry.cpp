#include "engine/retry.h"

#include <cstring>

#include "engine/engine.h"
#include "engine/report.h"
#include "text/text.h"

int BackOffSeconds(int32_t attempt) {
    static const int kSeconds[kMaxRetries] = {1, 4, 16};
    if (attempt < 1) return kSeconds[0];
    return kSeconds[attempt > kMaxRetries ? kMaxRetries - 1 : attempt - 1];
}

// The part file goes on only when the server can be asked for the rest of
// the same file: it must know ranges and the file must have a validator.
static bool CanResume(const Job* job) {
    const ResumeState& r = job->resume;
    // A held download has no part file to go on from: it starts over.
    return !job->held && r.part[0] && job->received > 0 && r.validator[0] && !r.rangesRefused;
}

// The request that started the job, as it was queued.
static JobRequest RequestOf(const Job* job) {
    JobRequest request;
    memset(&request, 0, sizeof request);
    request.kind = job->kind;
    request.foundFile = job->foundFile;
    request.top = job->top;
    CopyText(request.address, sizeof request.address, job->requested);
    request.redirects = job->redirects;
    CopyText(request.referer, sizeof request.referer, job->referer);
    return request;
}

// A wait for the job's request that keeps what a cut download can resume
// from; the job is left for the caller to end.
static RetryWait& QueueWait(Job* job, int32_t attempt, uint32_t due) {
    Engine.RetryWaits.emplace_back();
    RetryWait& wait = Engine.RetryWaits.back();
    memset(&wait, 0, sizeof wait);
    wait.request = RequestOf(job);
    wait.attempt = attempt;
    wait.due = due;
    wait.resume = job->resume;
    wait.refusals = job->refusals;
    if (job->kind == KindDownload && CanResume(job)) {
        // Closed, not deleted: the retry goes on from its end.
        CloseTableFile(job->file);
        job->file = kNoFile;
        wait.resume.have = job->received;
        job->resume.part[0] = '\0';
    } else {
        wait.resume.have = 0;  // EndJob deletes what arrived
    }
    return wait;
}

bool RetryLater(Job* job, const char* reason, int delaySeconds) {
    if (job->attempt >= kMaxRetries) return false;
    int32_t attempt = job->attempt + 1;
    int delay = delaySeconds >= 0 ? delaySeconds : BackOffSeconds(attempt);
    QueueWait(job, attempt, TickCount() + (uint32_t)delay * 1000);
    LogAppend("%sのため%d秒後に再試行します(%d/%d) - \"%s\"", reason, delay, attempt,
              kMaxRetries, job->address);
    Trace("retry %d in %d s:%s", attempt, delay, job->address);
    EndJob(job);
    return true;
}

void RetryRefused(Job* job) {
    if (job->refusals >= kMaxRefusals) {
        if (!RetryLater(job, "接続切断", -1)) GiveUp(job, "接続切断", nullptr);
        return;
    }
    QueueWait(job, job->attempt, TickCount()).refusals++;
    Trace("refused %d:%s", job->refusals + 1, job->address);
    EndJob(job);
}

void GiveUp(Job* job, const char* reason, const char* caption) {
    if (job->top == 1) {
        char text[128];
        if (caption) CopyText(text, sizeof text, caption);
        else FormatText(text, sizeof text, "%s - Ferrow", reason);
        SetCaption(text);
    }
    LogAppend("err:%sのため%d回再試行しましたが失敗しました - \"%s\"", reason, job->attempt,
              job->address);
    EndJob(job);
}

bool AnyRetryWaiting(int32_t kind) {
    for (const RetryWait& wait : Engine.RetryWaits)
        if (kind == 0 || wait.request.kind == kind) return true;
    return false;
}

const RetryWait* DueRetry(int32_t kind, bool (*hostHasRoom)(const char* address)) {
    uint32_t now = TickCount();
    for (const RetryWait& wait : Engine.RetryWaits) {
        if (wait.request.kind != kind || (int32_t)(now - wait.due) < 0) continue;
        if (hostHasRoom(wait.request.address)) return &wait;
    }
    return nullptr;
}

void StartRetry(const RetryWait* wait) {
    for (auto it = Engine.RetryWaits.begin(); it != Engine.RetryWaits.end(); ++it) {
        if (&*it != wait) continue;
        RetryWait taken = *it;
        Engine.RetryWaits.erase(it);
        StartJob(taken.request, &taken);
        return;
    }
}

void DropRetryWaits(int32_t kind) {
    for (auto it = Engine.RetryWaits.begin(); it != Engine.RetryWaits.end();) {
        if (kind != 0 && it->request.kind != kind) {
            ++it;
            continue;
        }
        if (it->resume.part[0]) FileDelete(it->resume.part);
        it = Engine.RetryWaits.erase(it);
    }
}
