// Reception: the response head (status, redirects, framing, Content-Length,
// Last-Modified), the download's file, and the body, read in large fills.
//
// A job's reception states:
//   head     chunks == 0: bytes gather in job->head until the blank line
//            (or kHeadLimit, an error); interim 1xx heads are dropped; then
//            the head is read and the job either ends (error, redirect,
//            filter, same name) or goes on
//   body     chunks > 0: bytes go to the file or to job->data, through the
//            chunk decoder for a chunked answer, up to the length for one
//            with Content-Length, else until the stream ends
//   finished the framing said the answer is whole (answerDone), or the
//            stream ended: FinishJob completes the job or fails it, and a
//            connection that may carry another answer goes back to the pool
#include <cstdlib>
#include <cstring>

#include "analysis/links.h"
#include "analysis/page_charset.h"
#include "engine/cookies.h"
#include "engine/engine.h"
#include "engine/file_table.h"
#include "engine/http.h"
#include "engine/inflate.h"
#include "engine/local_path.h"
#include "engine/net.h"
#include "engine/page_links.h"
#include "engine/picture_type.h"
#include "engine/report.h"
#include "engine/retry.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "text/nocase.h"
#include "text/text.h"

static void EndWithHttpError(Job* job, int code) {
    if (job->top == 1) {
        char caption[64];
        FormatText(caption, sizeof caption, "HTTP %d - Ferrow", code);
        SetCaption(caption);
    }
    LogAppend("err:HTTP %d - \"%s\"", code, job->address);
    Trace("err:HTTP %d - \"%s\"", code, job->address);
    EndJob(job);
}

// A memory-kept response ends here when it passes its cap.
static void EndOverCap(Job* job) {
    if (job->kind == KindAnalyse) LogAppend("err:%sを解析できませんでした", job->localName);
    Trace("error too large:%s", job->address);
    EndJob(job);
}

static int32_t CapOf(const Job* job) { return job->kind == KindFetch ? kFetchCap : kPageCap; }

// Makes room for need bytes in data (plus the spare NUL byte), doubling.
static bool GrowData(Job* job, int32_t need) {
    if (job->data && need <= job->capacity) return true;
    int64_t capacity = job->capacity > 0 ? job->capacity : 100000;
    while (capacity < need) capacity *= 2;
    if (capacity > CapOf(job)) capacity = CapOf(job);
    char* grown = (char*)realloc(job->data, (size_t)capacity + 1);
    if (!grown) return false;
    job->data = grown;
    job->capacity = (int32_t)capacity;
    return true;
}

static void AddReceived(Job* job, int n) {
    job->received = job->received > INT64_MAX - n ? INT64_MAX : job->received + n;
}

// Stores body bytes; false when the job was ended.
static bool StoreBody(Job* job, const char* bytes, int n) {
    if (n <= 0) return true;
    if (job->kind == KindDownload && job->held) {
        // Never more than announced: the answer's length frames its body.
        if (job->received + n > job->capacity) {
            LogAppend("ファイルの書き込みに失敗しました - \"%s\"", job->localName);
            EndJob(job);
            return false;
        }
        memcpy(job->data + job->received, bytes, (size_t)n);
    } else if (job->kind == KindDownload) {
        if (!FileWrite(job->file, bytes, (size_t)n)) {
            LogAppend("ファイルの書き込みに失敗しました - \"%s\"", job->localName);
            EndJob(job);
            return false;
        }
    } else if (job->kind == KindHead) {
        return true;  // a HEAD answer has no body to keep
    } else {
        int64_t need = job->received + n;
        if (need > CapOf(job)) {
            EndOverCap(job);
            return false;
        }
        if (!GrowData(job, (int32_t)need)) {
            Trace("error not memory");
            EndJob(job);
            return false;
        }
        memcpy(job->data + job->received, bytes, (size_t)n);
    }
    AddReceived(job, n);
    return true;
}

// Follows a 301 or 302 by queueing the new address as a fresh request that
// carries the redirect count; the job ends either way.
static void FollowRedirect(Job* job, int code, const char* head, int len) {
    // Room for more than an address: a longer Location arrives whole enough
    // to be refused, not cut into another address.
    char location[kAddressInputSize];
    char target[kAddressBufferSize];
    if (!FindHeaderValue(head, len, "Location", location, sizeof location) || !location[0] ||
        job->redirects >= kMaxRedirects ||
        !ResolveLink(location, job->address, target, sizeof target)) {
        EndWithHttpError(job, code);
        return;
    }
    int32_t redirects = job->redirects + 1;
    if (job->top == 1) {
        OnAnalysePage(target, -1);
        Engine.AnalysisQueue.back().redirects = redirects;
    } else if (job->kind == KindFetch) {
        OnFetch(target, -1);
        Engine.FetchSlot.back().foundFile = job->foundFile;
        Engine.FetchSlot.back().redirects = redirects;
    } else if (job->kind == KindDownload) {
        // The new address replaces this download: it is not one more file.
        int32_t queued = Engine.DownloadsQueued;
        OnDownload(target, -1);
        Engine.DownloadsQueued = queued;
        Engine.DownloadQueue.back().foundFile = job->foundFile;
        Engine.DownloadQueue.back().redirects = redirects;
    }
    // Pages found by the analysis are not followed when they move.
    EndJob(job);
}

// An answer for a picture whose address has no extension: its Content-Type
// settles whether it is one of the selected types. A download goes on with
// the type's extension in its name (true); anything else ends it (false).
// Either shows a known type in the list.
static bool SettlePictureType(Job* job, const char* contentType) {
    if (!ListIsUntyped(job->foundFile)) return true;
    char extension[sizeof job->pictureExtension];
    PictureAnswer answer =
        JudgePictureAnswer(contentType, OptionTypeFilter(), extension, sizeof extension);
    const char* shown = contentType[0] ? contentType : "-";
    if (answer == PictureNot) {
        LogAppend("画像ではない応答の為保存しません (%s) - \"%s\"", shown, job->localName);
        ListRemoveFile(job->foundFile);
    } else if (answer == PictureUnticked) {
        LogAppend("選択されていない種類の画像の為スキップしました (%s) - \"%s\"", shown,
                  job->localName);
        ListRemoveFile(job->foundFile);
    } else if (job->kind == KindHead) {
        ListShowPictureType(job->foundFile, extension);
    } else {
        char typed[kAddressBufferSize];
        if (TypedAddress(job->address, extension, typed, sizeof typed)) {
            CopyText(job->pictureExtension, sizeof job->pictureExtension, extension);
            LocalNameOf(typed, job->localName, sizeof job->localName);
        }
        ListShowPictureType(job->foundFile, extension);
    }
    if (answer == PictureTyped || job->kind == KindHead) return true;
    EndJob(job);
    return false;
}

// Size filters, local path, same-name rule and the file; false when the
// job was ended.
static bool OpenDownloadFile(Job* job) {
    // Options hold 32-bit sizes; the comparisons widen them, never the size.
    if (job->size >= 0 && Options.MinSizeCheck == 1 && job->size < (int64_t)Options.MinSize) {
        LogAppend("サイズが小さい為スキップしました - \"%s\"", job->localName);
        EndJob(job);
        return false;
    }
    if (job->size >= 0 && Options.MaxSizeCheck == 1 && job->size > (int64_t)Options.MaxSize) {
        LogAppend("サイズが大きい為スキップしました - \"%s\"", job->localName);
        EndJob(job);
        return false;
    }
    // A retry keeps the name its first try chose (and reserved).
    ResumeState& r = job->resume;
    if (!r.target[0]) {
        // An untyped picture is named as if its address had its type's extension.
        char typed[kAddressBufferSize];
        const char* named = job->address;
        if (job->pictureExtension[0] &&
            TypedAddress(job->address, job->pictureExtension, typed, sizeof typed))
            named = typed;
        char path[kMaxPathChars + 1];
        if (!DownloadPath(Options.DLPath, named, job->localName,
                          Options.Hierarchical == 1, path, sizeof path)) {
            LogAppend("ファイルの作成に失敗しました - \"%s\"", job->localName);
            EndJob(job);
            return false;
        }
        MakeFolders(path);
        if (ResolveSameName(path, sizeof path, job->size, Options.SameFileName == 1,
                            TargetInUse) == SameNameSkip) {
            LogAppend("同名ファイルが存在するためスキップしました - \"%s\"", job->localName);
            EndJob(job);
            return false;
        }
        if (!PartPathOf(path, r.part, sizeof r.part)) {
            LogAppend("ファイルの作成に失敗しました - \"%s\"", job->localName);
            EndJob(job);
            return false;
        }
        CopyText(r.target, sizeof r.target, path);
    }
    r.have = 0;
    r.total = job->size;
    if (job->framing == FrameLength && job->size >= 0 && job->size <= kHeldDownloadCap) {
        job->data = (char*)malloc((size_t)job->size + 1);
        if (!job->data) {
            Trace("error not memory");
            EndJob(job);
            return false;
        }
        job->capacity = (int32_t)job->size;
        job->held = 1;
        return true;
    }
    job->file = OpenTableFile(r.part);
    if (job->file == kNoFile) {
        LogAppend("ファイルの作成に失敗しました - \"%s\"", job->localName);
        EndJob(job);
        return false;
    }
    return true;
}

// What a later resumed request needs from a whole answer: whether the
// server takes ranges, and a validator that names this version of the file
// (a strong ETag, else Last-Modified).
static void KeepValidator(Job* job, const char* head, int len) {
    char value[kAddressBufferSize];
    ResumeState& r = job->resume;
    r.rangesRefused = FindHeaderValue(head, len, "Accept-Ranges", value, sizeof value) &&
                      StrNCmpI(value, "none", 5) == 0;
    r.validator[0] = '\0';
    if (FindHeaderValue(head, len, "ETag", value, sizeof value) && value[0] == '"' &&
        strlen(value) < sizeof r.validator)
        CopyText(r.validator, sizeof r.validator, value);
    else if (FindHeaderValue(head, len, "Last-Modified", value, sizeof value) &&
             strlen(value) < sizeof r.validator)
        CopyText(r.validator, sizeof r.validator, value);
}

// A 206 answer to a resumed request: goes on at the end of the part file
// when it holds the bytes asked for of the same file; false when the job
// was ended.
static bool ContinuePart(Job* job, const char* head, int len) {
    char value[kAddressBufferSize];
    int64_t first = -1, total = -1;
    ResumeState& r = job->resume;
    if (!FindHeaderValue(head, len, "Content-Range", value, sizeof value) ||
        !ParseContentRange(value, &first, &total) || first != r.have ||
        (r.total >= 0 && total >= 0 && total != r.total)) {
        // Not the rest of what we have: it starts over.
        FileDelete(r.part);
        r.have = 0;
        if (!RetryLater(job, "HTTP 206", -1)) GiveUp(job, "HTTP 206", nullptr);
        return false;
    }
    job->size = total >= 0 ? total : r.total;
    job->received = r.have;
    job->file = OpenTableFile(r.part, true);
    if (job->file == kNoFile) {
        LogAppend("ファイルの作成に失敗しました - \"%s\"", job->localName);
        EndJob(job);
        return false;
    }
    return true;
}

// Reads a complete head; false when the job was ended.
static bool HandleHead(Job* job, const char* head, int len) {
    job->status = ParseStatusLine(head, len);
    // The server asks to be asked later: after the time it names, if any.
    if (job->status == 429 || job->status == 503) {
        char after[64], date[64], reason[16];
        bool named = FindHeaderValue(head, len, "Retry-After", after, sizeof after);
        bool dated = FindHeaderValue(head, len, "Date", date, sizeof date);
        int delay = named ? RetryAfterSeconds(after, dated ? date : nullptr, kMaxRetryAfter) : -1;
        FormatText(reason, sizeof reason, "HTTP %d", job->status);
        if (!RetryLater(job, reason, delay)) GiveUp(job, reason, nullptr);
        return false;
    }
    char value[kAddressBufferSize];
    job->size = -1;
    if (FindHeaderValue(head, len, "Content-Length", value, sizeof value))
        job->size = ParseContentLength(value);
    job->modified[0] = '\0';
    if (FindHeaderValue(head, len, "Last-Modified", value, sizeof value))
        FormatHttpDate(value, job->modified);
    char contentType[128] = "";
    if (FindHeaderValue(head, len, "Content-Type", value, sizeof value)) {
        job->charset = CharsetOfLabel(value);
        CopyText(contentType, sizeof contentType, value);
    }
    if (job->kind == KindHead) {
        if (job->status == 200) SettlePictureType(job, contentType);
        return true;  // the rest is read at completion
    }
    if (job->status == 301 || job->status == 302) {
        FollowRedirect(job, job->status, head, len);
        return false;
    }
    bool resumed = job->status == 206 && job->resuming;
    if (job->status != 200 && !resumed) {
        EndWithHttpError(job, job->status);
        return false;
    }
    if (job->kind == KindDownload && !resumed && !SettlePictureType(job, contentType)) return false;
    if (job->kind == KindDownload && !resumed) KeepValidator(job, head, len);
    if (job->size >= 0) {
        char size[kSizeSize];
        FormatSize(job->size, size, sizeof size);
        ListSetFileText(job->foundFile, ColSize, size);
    }
    if (job->modified[0]) ListSetFileText(job->foundFile, ColDate, job->modified);
    if (resumed) return ContinuePart(job, head, len);
    if (job->kind == KindDownload) return OpenDownloadFile(job);
    // A page or a fetched file: an announced length beyond the cap fails now.
    if (job->size > CapOf(job)) {
        EndOverCap(job);
        return false;
    }
    // Pages asked for gzip and deflate; the scan wants them inflated.
    InflateFormat format = InflateNone;
    if (job->kind == KindAnalyse && FindHeaderValue(head, len, "Content-Encoding", value, sizeof value))
        format = InflateFormatOf(value);
    if (format != InflateNone && !(job->inflater = InflateOpen(format))) {
        Trace("error not memory");
        EndJob(job);
        return false;
    }
    int32_t first = job->size > 0 && job->size < (1 << 20) ? (int32_t)job->size : 100000;
    if (!GrowData(job, first)) {
        Trace("error not memory");
        EndJob(job);
        return false;
    }
    return true;
}

// A body whose end cannot be trusted: a lying or hostile length or a
// broken chunk stream. A HEAD check only stays without its size.
void EndWithBadFraming(Job* job) {
    if (job->top == 1) SetCaption("応答エラー - Ferrow");
    if (job->kind != KindHead) LogAppend("err:応答の長さが不正です - \"%s\"", job->address);
    Trace("err:framing %d - \"%s\"", job->status, job->address);
    EndJob(job);
}

// Content-Length visitor: the value; -1 while no line held a plain
// number, -2 once two numbers disagree.
static void KeepOneLength(const char* value, int len, void* context) {
    int64_t* length = (int64_t*)context;
    char text[32];
    if (len >= (int)sizeof text) return;
    memcpy(text, value, (size_t)len);
    text[len] = '\0';
    int64_t n = ParseContentLength(text);
    if (n < 0 || *length == -2) return;
    *length = *length >= 0 && *length != n ? -2 : n;
}

// How the body ends and whether the connection may carry another answer;
// false when the head announces no trustworthy end.
static bool ReadFraming(Job* job, const char* head, int len) {
    int status = ParseStatusLine(head, len);
    // A length that is no number reads as none (until the close); two that
    // disagree cannot both be believed.
    int64_t length = -1;
    VisitHeaderValues(head, len, "Content-Length", KeepOneLength, &length);
    bool lengthGiven = length >= 0;
    bool chunked = IsChunkedAnswer(head, len);
    if (job->kind == KindHead || status == 204 || status == 304) job->framing = FrameNone;
    else if (chunked) job->framing = FrameChunked;
    else if (length == -2) return false;
    else if (lengthGiven) job->framing = FrameLength;
    else job->framing = FrameUntilClose;
    job->bodyLeft = job->framing == FrameLength ? length : 0;
    memset(&job->chunk, 0, sizeof job->chunk);
    job->answerDone = job->framing == FrameNone || (job->framing == FrameLength && length == 0);
    // A length beside chunks is not trusted with a next answer; HTTP/1.0
    // answers end the connection.
    job->keepAlive = IsHttp11(head, len) && job->framing != FrameUntilClose &&
                     !(chunked && lengthGiven) && !HeaderHasToken(head, len, "Connection", "close");
    return true;
}

static bool StoreRun(const char* bytes, int n, void* context) {
    return StoreBody((Job*)context, bytes, n);
}

static void EndWithCorruptPage(Job* job) {
    LogAppend("err:圧縮されたページを展開できません - \"%s\"", job->address);
    Trace("err:inflate - \"%s\"", job->address);
    EndJob(job);
}

// The body as it came off the wire: inflated first when compressed.
static bool TakeBody(Job* job, const char* bytes, int n) {
    if (!job->inflater) return StoreBody(job, bytes, n);
    switch (InflateFeed(job->inflater, bytes, n, StoreRun, job)) {
    case InflateStopped:
        return false;
    case InflateCorrupt:
        EndWithCorruptPage(job);
        return false;
    case InflateTooLarge:
        EndOverCap(job);
        return false;
    default:
        return true;
    }
}

static bool TakeRun(const char* bytes, int n, void* context) {
    return TakeBody((Job*)context, bytes, n);
}

// Body bytes as the framing reads them; false when the job was ended.
static bool ReceiveBody(Job* job, const char* bytes, int n) {
    if (n <= 0) return true;
    if (job->answerDone) {
        job->keepAlive = 0;  // more than the answer: the stream is not ours to reuse
        return true;
    }
    if (job->framing == FrameLength) {
        int take = job->bodyLeft < (int64_t)n ? (int)job->bodyLeft : n;
        if (!TakeBody(job, bytes, take)) return false;
        job->bodyLeft -= take;
        if (job->bodyLeft == 0) job->answerDone = 1;
        if (take < n) job->keepAlive = 0;
        return true;
    }
    if (job->framing == FrameChunked) {
        int used = 0;
        switch (ChunkFeed(&job->chunk, bytes, n, TakeRun, job, &used)) {
        case ChunkStopped:
            return false;
        case ChunkError:
            EndWithBadFraming(job);
            return false;
        case ChunkDone:
            job->answerDone = 1;
            if (used < n) job->keepAlive = 0;
            return true;
        default:
            return true;
        }
    }
    return TakeBody(job, bytes, n);
}

static bool IsInterim(int status) { return status >= 100 && status <= 199 && status != 101; }

ReceiveAnswer ReceiveBytes(Job* job, const char* bytes, int n) {
    if (job->chunks > 0) {
        if (!ReceiveBody(job, bytes, n)) return ReceiveStop;
        job->chunks++;
        return ReceiveMore;
    }
    // Gather the head; it never reaches the file or data. At most
    // kHeadLimit bytes wait here, so one more step bounds the buffer.
    char* grown = (char*)realloc(job->head, (size_t)job->headLength + (size_t)n);
    if (!grown) {
        Trace("error not memory");
        EndJob(job);
        return ReceiveStop;
    }
    job->head = grown;
    memcpy(job->head + job->headLength, bytes, (size_t)n);
    // The end mark may straddle two steps: look again from 3 bytes back.
    int from = job->headLength > 3 ? job->headLength - 3 : 0;
    job->headLength += n;
    int end = -1;
    for (;;) {
        end = FindHeadEnd(job->head + from, job->headLength - from);
        if (end >= 0) end += from;
        if (end < 0 && job->headLength <= kHeadLimit) return ReceiveMore;
        if (end < 0 || end > kHeadLimit) {
            if (job->kind == KindHead) EndJob(job);
            else EndWithHttpError(job, 0);  // no readable response
            return ReceiveStop;
        }
        // An interim answer (100 Continue...): the real one follows.
        if (!IsInterim(ParseStatusLine(job->head, end))) break;
        job->headLength -= end;
        memmove(job->head, job->head + end, (size_t)job->headLength);
        from = 0;
    }
    if (!ReadFraming(job, job->head, end)) {
        job->status = ParseStatusLine(job->head, end);
        EndWithBadFraming(job);
        return ReceiveStop;
    }
    StoreResponseCookies(job->head, end, job->host, job->path, job->secure == 1, UnixTime());
    if (!HandleHead(job, job->head, end)) return ReceiveStop;
    // What followed the head in the gathered bytes is the body's start.
    char* head = job->head;
    int headLength = job->headLength;
    job->head = nullptr;
    job->headLength = 0;
    bool alive = ReceiveBody(job, head + end, headLength - end);
    free(head);
    if (!alive) return ReceiveStop;
    job->chunks++;
    return ReceiveMore;
}

// One buffer for every job: events are handled one at a time, and each fill
// is handed on before the next recv.
static char ReceiveBuffer[kReceiveBufferSize];

// Ends a job whose stream failed: over TLS that is lost or forged data, which
// must never become a whole file.
// A connection the server cut (a reset) is tried again.
static void EndWithReadFailure(Job* job) {
    Trace("error recv");
    if (job->conn.reused && job->chunks == 0 && job->headLength == 0) {
        RetryOnFreshConnection(job);
        return;
    }
    if (job->conn.tls && TlsLastFailure(job->conn.tls) != TlsFailSocket) {
        EndWithTlsFailure(job);
        return;
    }
    if (!RetryLater(job, "接続切断", -1)) GiveUp(job, "接続切断", nullptr);
}

ReadOutcome ReadAvailable(Job* job) {
    for (int fills = 0;; fills++) {
        int used = 0;
        int last = 0;
        while (used < kReceiveBufferSize) {
            last = JobRecv(job, ReceiveBuffer + used, kReceiveBufferSize - used);
            if (last <= 0) break;
            used += last;
        }
        if (used > 0 && ReceiveBytes(job, ReceiveBuffer, used) == ReceiveStop) return ReadEnded;
        if (last == 0) {
            job->keepAlive = 0;
            return ReadEnd;
        }
        if (job->answerDone) return ReadDone;
        if (last == -2) return ReadWait;
        if (last < 0) {
            EndWithReadFailure(job);
            return ReadEnded;
        }
        // Past the bound what is left waits in the socket for its next event,
        // so that other jobs and the tick get their turn. Bytes the TLS layer
        // already holds would announce themselves by no event: read them now.
        if (fills + 1 >= kFillsPerEvent && !(job->conn.tls && TlsPending(job->conn.tls))) break;
    }
    return ReadMore;
}

void FinishJob(Job* job) {
    if (job->chunks == 0) {
        // Closed without a byte of answer: the server dropped the request
        // (restarting, overloaded), which is worth another try.
        if (job->headLength == 0) {
            // An idle connection the server closed meanwhile: at once on a
            // new one, which is no retry.
            if (job->conn.reused) {
                RetryOnFreshConnection(job);
                return;
            }
            if (!RetryLater(job, "接続切断", -1)) GiveUp(job, "接続切断", nullptr);
            return;
        }
        // The stream ended before a whole head: nothing readable arrived.
        if (job->kind == KindHead) EndJob(job);
        else EndWithHttpError(job, 0);
        return;
    }
    bool cut = job->framing == FrameChunked && !job->answerDone;
    if (cut || (job->kind == KindDownload && job->size >= 0 && job->received < job->size)) {
        // Tried again, from where it broke when the server allows; the last
        // failure deletes what arrived.
        if (!RetryLater(job, "転送中断", -1)) GiveUp(job, "転送中断", nullptr);
        return;
    }
    // A compressed page that stopped short of its end is not the page.
    if (job->inflater && !InflateFinished(job->inflater)) {
        EndWithCorruptPage(job);
        return;
    }
    // Surplus bytes held by the TLS layer belong to no request.
    bool reusable = job->answerDone && job->keepAlive &&
                    !(job->conn.tls && TlsPending(job->conn.tls));
    CompleteJob(job);
    job->giveBack = reusable ? 1 : 0;
    EndJob(job);
}
