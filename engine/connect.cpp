// From a started request to a sent request: address, then a stream on an
// HTTP/2 connection to the same server, or an idle connection to it from the
// pool, or socket, look-up, connect and for "https://" the proxy's tunnel and
// the TLS handshake; and the send.
#include <cstdlib>
#include <cstring>

#include "engine/cookies.h"
#include "engine/engine.h"
#include "engine/h2_link.h"
#include "engine/host_cache.h"
#include "engine/http.h"
#include "engine/net.h"
#include "engine/report.h"
#include "engine/retry.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "text/text.h"

static void SendHttpRequest(Job* job);

// The server's (or proxy's) address is known: events, then the connect.
// False when the job was ended.
static bool ConnectTo(Job* job, uint32_t address) {
    if (!NetSelectEvents(job->conn.socket)) {
        Trace("Socketイベントを通知させる設定に失敗しました。");
        EndJob(job);
        return false;
    }
    uint16_t port = Options.ProxyFlag == 1 ? (uint16_t)Options.ProxyPort : job->port;
    if (!NetConnect(job->conn.socket, address, port)) {
        Trace("サーバへの接続に失敗しました。");
        EndJob(job);
        return false;
    }
    return true;
}

static const char* ServerName(const Job* job) {
    return Options.ProxyFlag == 1 ? Options.Proxy : job->host;
}

// Socket and look-up of a new connection; false when the job was ended.
static bool ConnectFresh(Job* job) {
    job->conn.socket = NetCreateSocket();
    if (job->conn.socket == kNoSocket) {
        Trace("Error:Socketの作成に失敗しました。");
        EndJob(job);
        return false;
    }
    const char* name = ServerName(job);
    job->lastActivity = TickCount();
    uint32_t known = 0;
    if (KnownHostAddress(name, job->lastActivity, &known)) {
        Trace("接続:%s", job->address);
        return ConnectTo(job, known);
    }
    job->lookup = NetStartLookup(name, job->hostEntry, sizeof job->hostEntry);
    if (job->lookup == kNoLookup) {
        Trace("サーバのIPアドレスの取得に失敗しました。");
        EndJob(job);
        return false;
    }
    job->lastActivity = TickCount();
    Trace("接続:%s", job->address);
    return true;
}

bool StartJob(const JobRequest& request, const RetryWait* retry) {
    Job* job = AddActiveJob(request);
    if (retry) {
        job->attempt = retry->attempt;
        job->refusals = retry->refusals;
        job->resume = retry->resume;
    }
    job->lastActivity = TickCount();
    // Cut, it would fetch another address.
    if (!EscapeSpaces(request.address, job->address, sizeof job->address)) {
        LogAppend("err:アドレスが長すぎます - \"%s\"", request.address);
        EndJob(job);
        return false;
    }
    LocalNameOf(job->address, job->localName, sizeof job->localName);
    SplitAddress(job->address, job->host, sizeof job->host, &job->port, job->path,
                 sizeof job->path);
    job->secure = IsSecureAddress(job->address) ? 1 : 0;
    if (job->secure && H2StartOnLink(job)) return !job->ended;
    if (PoolTake(job->secure == 1, job->host, job->port, &job->conn)) {
        Trace("再接続なし:%s", job->address);
        SendHttpRequest(job);
        return !job->ended;
    }
    return ConnectFresh(job);
}

void RetryOnFreshConnection(Job* job) {
    Trace("切断済みの接続:%s", job->address);
    CloseConnection(&job->conn);
    free(job->head);
    job->head = nullptr;
    job->headLength = 0;
    job->phase = PhaseConnect;
    job->requestSent = 0;
    ConnectFresh(job);
}

void OnHostResolved(LookupHandle lookup, int error) {
    EngineEventScope scope;
    Job* job = FindJobByLookup(lookup);
    if (!job) return; // the job ended meanwhile
    job->lookup = kNoLookup;
    uint32_t address = 0;
    if (error != 0 || !NetLookupAddress(job->hostEntry, &address)) {
        Trace("サーバのIPアドレスの取得に失敗しました。");
        EndJob(job);
        return;
    }
    RememberHostAddress(ServerName(job), address, TickCount());
    ConnectTo(job, address);
}

int JobSend(Job* job, const char* data, int len) {
    return job->conn.tls ? TlsSend(job->conn.tls, data, len) : NetSend(job->conn.socket, data, len);
}

int JobRecv(Job* job, char* buffer, int len) {
    return job->conn.tls ? TlsRecv(job->conn.tls, buffer, len) : NetRecv(job->conn.socket, buffer, len);
}

// A connection that never carried a request: as a failed send of HTTP.
// The server may be restarting or overloaded: it is tried again.
static void EndUnsent(Job* job) {
    // An idle connection the server closed meanwhile: at once on a new one,
    // which is no retry.
    if (job->conn.reused) {
        RetryOnFreshConnection(job);
        return;
    }
    Trace("error send:%d:%s\n", NetLastError(), job->address);
    if (RetryLater(job, "接続失敗", -1)) return;
    GiveUp(job, "接続失敗", "サーバーがみつかりません - Ferrow");
}

void EndWithTlsFailure(Job* job) {
    TlsFailure failure = TlsLastFailure(job->conn.tls);
    if (failure == TlsFailSocket && job->phase != PhaseResponse) {
        EndUnsent(job); // the server is not there: no TLS fault to tell
        return;
    }
    EndWithTlsFault(job, failure);
}

void EndWithTlsFault(Job* job, TlsFailure failure) {
    if (job->top == 1) SetCaption("SSLエラー - Ferrow");
    // Like an HTTP error, a failed HEAD request only leaves its size unknown.
    if (job->kind != KindHead)
        LogAppend("err:SSL %s - \"%s\"", TlsFailureText(failure), job->address);
    Trace("err:SSL %d - \"%s\"", (int)failure, job->address);
    EndJob(job);
}

int BuildJobRequest(Job* job, char* request, size_t size) {
    bool viaProxy = Options.ProxyFlag == 1;
    RequestParts parts;
    // An HTTP proxy needs the absolute form; inside a tunnel the server
    // itself reads the request.
    parts.head = job->kind == KindHead;
    parts.target = viaProxy && !job->secure ? job->address : job->path;
    parts.host = job->host;
    parts.port = job->port == (job->secure ? 443 : 80) ? 0 : job->port;
    parts.direct = !viaProxy;
    parts.referer = job->referer;
    parts.agent = Engine.BrowserAgent;
    static char cookie[kCookieHeaderSize];
    CookieHeaderFor(job->host, job->path, job->secure == 1, UnixTime(), cookie, sizeof cookie);
    parts.cookie = cookie;
    // A cut download asks for the rest, guarded by the file's validator:
    // a file changed meanwhile comes whole (200) instead.
    job->resuming = job->kind == KindDownload && job->resume.have > 0 ? 1 : 0;
    parts.rangeFrom = job->resuming ? job->resume.have : 0;
    parts.ifRange = job->resume.validator;
    // Pages are scanned after inflating; files are kept as served.
    parts.compressed = job->kind == KindAnalyse;
    return BuildRequest(request, size, parts);
}

void BeginReception(Job* job) {
    job->size = -1;
    job->chunks = 0;
    job->received = 0;
    job->framing = FrameUntilClose;
    job->bodyLeft = 0;
    memset(&job->chunk, 0, sizeof job->chunk);
    job->answerDone = 0;
    job->keepAlive = 0;
    job->requestSent = 1;
}

static void SendHttpRequest(Job* job) {
    char request[kRequestSize];
    int len = BuildJobRequest(job, request, sizeof request);
    job->phase = PhaseResponse;
    if (JobSend(job, request, len) != len) {
        if (job->conn.tls && TlsLastFailure(job->conn.tls) != TlsFailSocket)
            EndWithTlsFailure(job);
        else
            EndUnsent(job);
        return;
    }
    BeginReception(job);
}

// Advances the handshake; sends the request once it is done.
static void ContinueHandshake(Job* job) {
    TlsStep step = TlsHandshake(job->conn.tls);
    if (step == TlsStepWait) return;
    if (step == TlsStepFailed) {
        EndWithTlsFailure(job);
        return;
    }
    // A server that takes many requests at once on one connection gets
    // this job's as its first stream, and the next jobs' beside it.
    if (TlsChosenProtocol(job->conn.tls) == TlsAppH2) {
        H2AdoptConnection(job);
        return;
    }
    H2NotePlainServer(job->host, job->port);
    SendHttpRequest(job);
}

static void BeginTls(Job* job) {
    job->phase = PhaseHandshake;
    job->conn.tls = TlsOpen(job->conn.socket, job->host, true);
    if (!job->conn.tls) {
        LogAppend("err:SSL %s - \"%s\"", TlsFailureText(TlsFailSetup), job->address);
        EndJob(job);
        return;
    }
    ContinueHandshake(job);
}

// Gathers the proxy's answer to CONNECT; a 2xx opens the tunnel.
static void ContinueTunnel(Job* job, bool closed) {
    for (;;) {
        char piece[1024];
        int n = NetRecv(job->conn.socket, piece, sizeof piece);
        if (n == -2) break;
        if (n <= 0) {
            closed = true;
            break;
        }
        char* grown = (char*)realloc(job->head, (size_t)job->headLength + (size_t)n);
        if (!grown) {
            Trace("error not memory");
            EndJob(job);
            return;
        }
        job->head = grown;
        memcpy(job->head + job->headLength, piece, (size_t)n);
        job->headLength += n;
        if (FindHeadEnd(job->head, job->headLength) >= 0 || job->headLength > kHeadLimit) break;
    }
    int end = FindHeadEnd(job->head, job->headLength);
    if (end < 0 && !closed && job->headLength <= kHeadLimit) return; // more to come
    int status = end < 0 ? 0 : ParseStatusLine(job->head, end);
    free(job->head);
    job->head = nullptr;
    job->headLength = 0;
    if (status < 200 || status > 299) {
        if (job->top == 1) SetCaption("プロキシエラー - Ferrow");
        LogAppend("err:プロキシがトンネルを拒否しました(HTTP %d) - \"%s\"", status, job->address);
        EndJob(job);
        return;
    }
    BeginTls(job);
}

void SendRequest(Job* job) {
    // A connect event for a connection that is already on its way (some
    // socket layers report it again) must not start it a second time.
    if (job->phase != PhaseConnect || job->conn.tls) return;
    // A failed connection shows up here as a failed send.
    if (!job->secure) {
        SendHttpRequest(job);
        return;
    }
    if (Options.ProxyFlag != 1) {
        BeginTls(job);
        return;
    }
    char request[kRequestSize];
    int len = BuildTunnelRequest(request, sizeof request, job->host, job->port);
    job->phase = PhaseTunnel;
    if (NetSend(job->conn.socket, request, len) != len) EndUnsent(job);
}

void AdvanceConnection(Job* job, bool closed) {
    if (job->phase == PhaseTunnel)
        ContinueTunnel(job, closed);
    else if (job->phase == PhaseHandshake)
        ContinueHandshake(job);
}
