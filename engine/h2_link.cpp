#include "engine/h2_link.h"

#include <cstdlib>
#include <cstring>
#include <list>
#include <string>

#include "engine/engine.h"
#include "engine/h2_session.h"
#include "engine/http.h"
#include "engine/report.h"
#include "engine/retry.h"
#include "engine/tls.h"
#include "text/nocase.h"
#include "text/text.h"

static_assert(kOpenFileSlots >= kH2MaxStreams, "a file for every stream of a connection");

struct H2Link {
    Connection conn; // always TLS: plain HTTP stays HTTP/1.1
    H2Session* session;
    AddressText host;
    uint16_t port;
    uint32_t lastUsed; // a stream started or bytes arrived
    int32_t closed;    // gone or going: takes nothing, freed between events
};

namespace {

// In start order; entries stay put while jobs point at them.
std::list<H2Link> Links;
// Inside H2Feed the session's output waits for the feed's end, and no link
// is freed.
int FeedDepth = 0;

// Body bytes of one stream gathered across the DATA frames of one fill, so
// that a download is written in large pieces rather than one per frame.
struct Gathered {
    H2Link* link;
    int32_t stream;
    size_t length;
    bool end;
};
Gathered Pending = {};
char PendingBytes[kReceiveBufferSize];
char LinkBuffer[kReceiveBufferSize];

struct PlainServer {
    AddressText host;
    uint16_t port;
};
constexpr int kPlainServers = 16;
PlainServer PlainServers[kPlainServers] = {};
int NextPlainServer = 0; // the oldest, replaced next

Job* JobOn(const H2Link* link, int32_t stream) {
    for (Job& job : Engine.ActiveJobs)
        if (!job.ended && job.link == link && job.stream == stream) return &job;
    return nullptr;
}

bool CarriesJobs(const H2Link* link) {
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && job.link == link) return true;
    return false;
}

// A stream that ended without a whole answer: a TLS fault is told as one;
// a stream the server refused unprocessed goes again uncounted; anything
// else is a cut connection, retried.
void FailStream(Job* job, TlsFailure fault, bool refused) {
    if (fault != TlsOk && fault != TlsFailSocket) {
        EndWithTlsFault(job, fault);
        return;
    }
    if (refused && job->chunks == 0) {
        RetryRefused(job);
        return;
    }
    const char* reason = job->chunks > 0 ? "転送中断" : "接続切断";
    if (!RetryLater(job, reason, -1)) GiveUp(job, reason, nullptr);
}

// The connection is gone: its jobs fail; the record is freed later.
void LoseLink(H2Link* link, TlsFailure fault) {
    if (link->closed) return;
    link->closed = 1;
    if (Pending.link == link) Pending = {};
    for (Job& job : Engine.ActiveJobs) {
        if (job.ended || job.link != link) continue;
        job.link = nullptr;
        job.stream = 0;
        FailStream(&job, fault, false);
    }
}

// Sends what the session has queued; false when the connection failed.
bool SendOutput(H2Link* link) {
    if (link->closed) return false;
    if (FeedDepth > 0) return true; // the feed's end sends it
    for (;;) {
        size_t n = 0;
        const char* out = H2Output(link->session, &n);
        if (n == 0) return true;
        int piece = n > (size_t)kReceiveBufferSize ? kReceiveBufferSize : (int)n;
        int sent = TlsSend(link->conn.tls, out, piece);
        if (sent <= 0) {
            Trace("error send h2:%s", link->host);
            LoseLink(link, TlsLastFailure(link->conn.tls));
            return false;
        }
        H2OutputSent(link->session, (size_t)sent);
    }
}

// Hands the gathered bytes to their job, and ends its answer when the
// stream ended with them.
void FlushGathered() {
    if (!Pending.link) return;
    Gathered taken = Pending;
    Pending = {};
    Job* job = JobOn(taken.link, taken.stream);
    if (!job) return;
    job->lastActivity = TickCount();
    if (taken.length > 0) {
        // More than the announced length is no answer to trust.
        if (job->framing == FrameLength && (int64_t)taken.length > job->bodyLeft) {
            EndWithBadFraming(job);
            return;
        }
        if (ReceiveBytes(job, PendingBytes, (int)taken.length) == ReceiveStop) return;
    }
    if (taken.end) FinishJob(job);
}

// The answer's head as HTTP/1.1 text, read by the same code as any other.
void OnHead(void* context, int32_t stream, int status, const H2Header* fields, int count,
            bool endStream) {
    H2Link* link = (H2Link*)context;
    FlushGathered();
    Job* job = JobOn(link, stream);
    if (!job) return;
    job->lastActivity = TickCount();
    std::string head = "HTTP/1.1 " + std::to_string(status) + " \r\n";
    for (int i = 0; i < count; i++) {
        head.append(fields[i].name, (size_t)fields[i].nameLength);
        head += ": ";
        head.append(fields[i].value, (size_t)fields[i].valueLength);
        head += "\r\n";
    }
    head += "\r\n";
    if (ReceiveBytes(job, head.data(), (int)head.size()) == ReceiveStop) return;
    if (endStream) FinishJob(job);
}

bool OnData(void* context, int32_t stream, const char* bytes, int n, bool endStream) {
    H2Link* link = (H2Link*)context;
    if (Pending.link && (Pending.link != link || Pending.stream != stream)) FlushGathered();
    if ((size_t)n > sizeof PendingBytes - Pending.length) FlushGathered();
    if (!JobOn(link, stream)) return false;
    memcpy(PendingBytes + Pending.length, bytes, (size_t)n);
    Pending.link = link;
    Pending.stream = stream;
    Pending.length += (size_t)n;
    Pending.end = endStream;
    if (endStream) FlushGathered();
    return endStream || JobOn(link, stream) != nullptr;
}

void OnStreamFailed(void* context, int32_t stream, uint32_t error, bool refused) {
    H2Link* link = (H2Link*)context;
    FlushGathered();
    Job* job = JobOn(link, stream);
    if (!job) return;
    Trace("h2 stream %d ended: error %u%s - %s", stream, error, refused ? " (refused)" : "",
          job->address);
    job->link = nullptr;
    job->stream = 0;
    FailStream(job, TlsOk, refused);
}

bool IsConnectionField(const char* name, size_t length) {
    static const char* const kNames[] = {"host",       "connection",        "proxy-connection",
                                         "keep-alive", "transfer-encoding", "upgrade",
                                         "te"};
    for (const char* field : kNames)
        if (strlen(field) == length && memcmp(field, name, length) == 0) return true;
    return false;
}

// The job's request as a new stream: its HTTP/1.1 text taken apart, names
// in lower case, Host as the authority; false when the session cannot
// take it now.
bool StartStream(H2Link* link, Job* job) {
    if (link->closed || !H2CanOpen(link->session)) return false;
    static char text[kRequestSize];
    int length = BuildJobRequest(job, text, sizeof text);
    char* lineEnd = (char*)memchr(text, '\n', (size_t)length);
    char* space = (char*)memchr(text, ' ', (size_t)length);
    if (!lineEnd || !space || space > lineEnd) return false;
    *space = '\0';
    char* path = space + 1;
    char* pathEnd = (char*)memchr(path, ' ', (size_t)(lineEnd - path));
    if (!pathEnd) return false;
    *pathEnd = '\0';
    constexpr int kMaxFields = 16;
    H2Header fields[kMaxFields];
    int count = 0;
    const char* authority = job->host;
    char* end = text + length;
    for (char* line = lineEnd + 1; line < end && count < kMaxFields;) {
        char* next = (char*)memchr(line, '\n', (size_t)(end - line));
        if (!next) break;
        char* stop = next > line && next[-1] == '\r' ? next - 1 : next;
        char* colon = (char*)memchr(line, ':', (size_t)(stop - line));
        if (colon) {
            for (char* c = line; c < colon; c++)
                if (*c >= 'A' && *c <= 'Z') *c = (char)(*c - 'A' + 'a');
            char* value = colon + 1;
            while (value < stop && *value == ' ')
                value++;
            size_t nameLength = (size_t)(colon - line);
            if (nameLength == 4 && memcmp(line, "host", 4) == 0) {
                *stop = '\0';
                authority = value;
            } else if (!IsConnectionField(line, nameLength)) {
                fields[count++] = {line, (int32_t)nameLength, value, (int32_t)(stop - value)};
            }
        }
        line = next + 1;
    }
    H2Request request = {text, "https", authority, path, fields, count};
    int32_t id = H2StartRequest(link->session, request);
    if (id == 0) return false;
    job->link = link;
    job->stream = id;
    job->phase = PhaseResponse;
    BeginReception(job);
    link->lastUsed = TickCount();
    SendOutput(link);
    return true;
}

// The link to the server that takes new streams, full or not.
H2Link* LinkTo(bool secure, const char* host, uint16_t port) {
    if (!secure) return nullptr;
    for (H2Link& link : Links) {
        if (link.closed || link.port != port || !SameHostName(link.host, host)) continue;
        if (!H2Draining(link.session)) return &link;
    }
    return nullptr;
}

H2Link* LinkWithRoom(bool secure, const char* host, uint16_t port) {
    H2Link* link = LinkTo(secure, host, port);
    return link && H2CanOpen(link->session) ? link : nullptr;
}

// Reads what the connection holds, in fills, and feeds it to the session;
// closed when the server ended the stream.
void ReadLink(H2Link* link, bool closed) {
    for (int fills = 0;; fills++) {
        int used = 0;
        int last = 0;
        while (used < (int)sizeof LinkBuffer) {
            last = TlsRecv(link->conn.tls, LinkBuffer + used, (int)sizeof LinkBuffer - used);
            if (last <= 0) break;
            used += last;
        }
        if (used > 0) {
            link->lastUsed = TickCount();
            FeedDepth++;
            bool whole = H2Feed(link->session, LinkBuffer, (size_t)used);
            FlushGathered();
            FeedDepth--;
            if (!whole) {
                // Its streams were failed; the GOAWAY that says why goes out.
                Trace("h2 connection broken: error %u - %s", (unsigned)H2Failure(link->session),
                      link->host);
                SendOutput(link);
                LoseLink(link, TlsOk);
                return;
            }
            if (!SendOutput(link)) return;
        }
        if (last == 0 || (last == -2 && closed)) {
            LoseLink(link, TlsOk);
            return;
        }
        if (last < 0 && last != -2) {
            LoseLink(link, TlsLastFailure(link->conn.tls));
            return;
        }
        if (last == -2) return;
        if (fills + 1 >= kFillsPerEvent && !TlsPending(link->conn.tls)) return;
    }
}

void Close(H2Link* link) {
    if (link->closed) return;
    H2GoAway(link->session);
    SendOutput(link);
    link->closed = 1;
}

} // namespace

void H2AdoptConnection(Job* job) {
    Links.emplace_back();
    H2Link* link = &Links.back();
    link->conn = job->conn;
    job->conn = kNoConnection;
    CopyText(link->host, sizeof link->host, job->host);
    link->port = job->port;
    link->lastUsed = TickCount();
    link->closed = 0;
    link->session = H2Open({link, OnHead, OnData, OnStreamFailed});
    if (!link->session) {
        link->closed = 1;
        Trace("error not memory");
        EndJob(job);
        return;
    }
    Trace("HTTP/2:%s", job->address);
    if (StartStream(link, job)) return;
    if (job->ended) return;
    // Only a request head past what one frame may carry (a huge cookie).
    LogAppend("err:HTTP %d - \"%s\"", 0, job->address);
    EndJob(job);
}

bool H2StartOnLink(Job* job) {
    H2Link* link = LinkWithRoom(job->secure == 1, job->host, job->port);
    if (!link) return false;
    Trace("HTTP/2 stream:%s", job->address);
    return StartStream(link, job);
}

H2LinkRoom H2LinkRoomFor(const char* address) {
    if (Links.empty() || !IsSecureAddress(address)) return H2NoLink;
    AddressText host;
    char path[8];
    uint16_t port = 0;
    SplitAddress(address, host, sizeof host, &port, path, sizeof path);
    H2Link* link = LinkTo(true, host, port);
    if (!link) return H2NoLink;
    return H2CanOpen(link->session) ? H2Room : H2Full;
}

int H2LinkCountForHost(const char* host) {
    int n = 0;
    for (const H2Link& link : Links)
        if (!link.closed && SameHostName(link.host, host)) n++;
    return n;
}

bool H2AnyLink() {
    for (const H2Link& link : Links)
        if (!link.closed) return true;
    return false;
}

void H2NotePlainServer(const char* host, uint16_t port) {
    if (H2KnownPlain(host, port)) return;
    PlainServer& entry = PlainServers[NextPlainServer];
    NextPlainServer = (NextPlainServer + 1) % kPlainServers;
    CopyText(entry.host, sizeof entry.host, host);
    entry.port = port;
}

bool H2KnownPlain(const char* host, uint16_t port) {
    for (const PlainServer& entry : PlainServers)
        if (entry.port == port && entry.host[0] && SameHostName(entry.host, host)) return true;
    return false;
}

bool H2LinkOnSocketEvent(SocketHandle socket, int event) {
    if (socket == kNoSocket) return false;
    for (H2Link& link : Links) {
        if (link.conn.socket != socket) continue;
        if (link.closed) return true; // a late event of a connection on its way out
        if (event == NetEventRead)
            ReadLink(&link, false);
        else if (event == NetEventClose)
            ReadLink(&link, true);
        return true;
    }
    return false;
}

void H2DetachJob(Job* job) {
    H2Link* link = job->link;
    if (!link) return;
    job->link = nullptr;
    if (Pending.link == link && Pending.stream == job->stream) Pending = {};
    if (!link->closed) {
        H2CancelStream(link->session, job->stream);
        SendOutput(link);
        link->lastUsed = TickCount();
    }
    job->stream = 0;
}

void H2RetireLinkOf(Job* job) {
    if (!job->link || job->link->closed) return;
    H2GoAway(job->link->session);
    SendOutput(job->link);
}

void H2CloseStaleLinks(uint32_t now) {
    for (H2Link& link : Links) {
        if (!link.closed && !CarriesJobs(&link) && now - link.lastUsed > kIdleMs) Close(&link);
    }
}

void H2CloseAllLinks() {
    for (H2Link& link : Links) {
        for (Job& job : Engine.ActiveJobs)
            if (job.link == &link) H2DetachJob(&job);
        Close(&link);
    }
}

void H2ReleaseClosedLinks() {
    if (FeedDepth > 0) return;
    for (auto it = Links.begin(); it != Links.end();) {
        // A link the server is leaving closes once its last stream is done.
        if (!it->closed && H2Draining(it->session) && !CarriesJobs(&*it)) Close(&*it);
        if (!it->closed) {
            ++it;
            continue;
        }
        for (Job& job : Engine.ActiveJobs)
            if (job.link == &*it) job.link = nullptr;
        H2Close(it->session);
        CloseConnection(&it->conn);
        it = Links.erase(it);
    }
}

int H2LinkCount() {
    return (int)Links.size();
}
