// Download jobs, their queues and the engine's requests.
#pragma once
#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <vector>

#include "engine/chunked.h"
#include "engine/connection.h"
#include "engine/file_table.h"
#include "engine/net.h"
#include "engine/platform.h"
#include "engine/snapshot.h"

enum JobKind : int32_t {
    KindDownload = 1,  // GET, body to a file
    KindHead = 2,      // HEAD, size and date into the list row
    KindAnalyse = 3,   // GET, body analysed as HTML
    KindFetch = 4,     // GET, body handed to the viewer
};

// Engine window messages (private to LogoClass).
enum EngineMessage : uint32_t {
    MsgAnalysePage = 0x8002,
    MsgAnalyseLink = 0x8003,
    MsgDownload = 0x8004,
    MsgFetch = 0x8005,
    MsgFetched = 0x8006,
    MsgStopAll = 0x8007,
    MsgSocketEvent = 0x8008,
    MsgHostResolved = 0x8009,
    MsgStartJobs = 0x800A,  // posted by the engine to itself when work was queued
};

// wParam block of MsgAnalysePage and MsgAnalyseLink.
struct AnalyseBlock {
    const char* address;
    int32_t row;
    int32_t unused;  // senders set 0
};

constexpr int kJobTextSize = 256;
constexpr int kModifiedSize = 20;
constexpr int kHostEntrySize = 1024;
constexpr int kMaxRedirects = 10;

struct JobRequest {
    int32_t kind;
    FileId foundFile;  // the found file whose row shows the results, kNoFileId for none
    int32_t top;  // 1 only for the page the user asked to analyse
    AddressText address;
    int32_t redirects;  // redirects followed so far to reach this address
    AddressText referer;  // page the file was found on, or ""
};

// Where a download is saved, and what a cut download keeps for its next
// attempt: the bytes so far wait in a hidden part file beside the target
// and take the target's name only when the file is whole.
constexpr int kPathSize = 260;
constexpr int kValidatorChars = 128;  // kValidatorSize of http.h
struct ResumeState {
    char target[kPathSize];  // "" until the download's file opened
    char part[kPathSize];
    int64_t have;   // bytes in the part file
    int64_t total;  // the whole file's size, -1 when unknown
    char validator[kValidatorChars];  // ETag or Last-Modified of the answer, "" for none
    int32_t rangesRefused;  // the server said "Accept-Ranges: none"
};

// Where a job's connection stands before the response can arrive.
enum JobPhase : int32_t {
    PhaseConnect = 0,    // looking up, connecting
    PhaseTunnel = 1,     // waiting for the proxy's answer to CONNECT
    PhaseHandshake = 2,  // TLS handshake
    PhaseResponse = 3,   // request sent; reception (receive.cpp)
};

// How the answer's body ends, read with its head.
enum BodyFraming : int32_t {
    FrameUntilClose = 0,  // neither length nor chunks: the server's close ends it
    FrameLength = 1,      // Content-Length
    FrameChunked = 2,     // Transfer-Encoding: chunked
    FrameNone = 3,        // no body (HEAD, 204, 304)
};

struct Inflater;
struct H2Link;

struct Job {
    char localName[kJobTextSize];
    AddressText address;  // spaces escaped as %20
    AddressText host;
    AddressText path;
    uint16_t port;
    char modified[kModifiedSize];
    char* data;  // memory-kept response (kinds 2, 3, 4)
    FileHandle file;
    int32_t top;
    FileId foundFile;  // the found file whose row shows the results
    int64_t size;      // Content-Length, -1 when absent or unusable
    int32_t chunks;    // reception steps that delivered data; 0 until the head ended
    int64_t received;  // bytes stored so far
    uint32_t lastActivity;
    int32_t kind;
    Connection conn;  // borrowed from the pool or made for this job
    LookupHandle lookup;
    char hostEntry[kHostEntrySize];
    int32_t redirects;
    AddressText requested;  // the address as requested
    int32_t capacity;  // bytes allocated for data, the spare NUL byte not counted
    int32_t status;    // status code of the response, 0 until the head ended
    char* head;        // the response head while it is still arriving
    int32_t headLength;
    int32_t requestSent;  // 1 once the request went out: reception may begin
    int32_t ended;        // 1 after EndJob; released once its event has been handled
    int32_t charset;      // what the Content-Type header names (a PageCharset), 0 for none
    int32_t secure;  // 1 for an "https://" address
    int32_t phase;   // JobPhase
    AddressText referer;
    int32_t attempt;  // retries made before this one (0 for the first try)
    ResumeState resume;
    int32_t resuming;  // 1 when the request asked for the bytes from resume.have on
    int32_t framing;     // BodyFraming of the answer
    int64_t bodyLeft;    // FrameLength: body bytes still to come
    ChunkDecoder chunk;  // FrameChunked
    int32_t answerDone;  // the framing says the answer is whole
    int32_t keepAlive;   // the server lets the connection carry another answer
    int32_t giveBack;    // the job ends with its connection idle and reusable
    Inflater* inflater;  // a compressed page's body on its way to data
    char pictureExtension[8];  // an untyped picture's, from its answer; "" for none
    int32_t held;  // a small download kept in data until whole, then written at once
    H2Link* link;    // the HTTP/2 connection it rides as a stream, or none (conn is then unused)
    int32_t stream;  // its stream's id on link
    int32_t refusals;  // times a server refused its stream unprocessed (not counted as retries)
};

// A job that failed in a way worth another try, waiting for its time.
struct RetryWait {
    JobRequest request;
    int32_t attempt;  // the retry this will be (1 to kMaxRetries)
    uint32_t due;     // tick count when it may start
    ResumeState resume;
    int32_t refusals;  // Job::refusals so far
};
constexpr int kMaxRetries = 3;

struct EngineState {
    std::deque<JobRequest> DownloadQueue;
    std::deque<JobRequest> HeadQueue;
    std::deque<JobRequest> AnalysisQueue;
    std::deque<JobRequest> FetchSlot;  // at most one
    std::deque<RetryWait> RetryWaits;  // in the order they failed
    std::list<Job> ActiveJobs;         // in start order; entries stay put
    std::vector<std::string> VisitedPages;
    AddressText TopPageAddress;
    AddressText AnalysedPage;  // the page whose links are being handled
    // The User-Agent of the browser that handed over the run's page, sent
    // on every request of the run; "" for Ferrow's own.
    char BrowserAgent[kSnapshotAgentSize];
    int32_t DownloadsQueued;
    int32_t DownloadsDone;
    int32_t AnalysisRunning;
    int32_t DownloadBatchRunning;
    int32_t LogoFrame;
    int32_t IndicatorFrame;
    int32_t StartPending;  // work was queued or a job ended since the last start
};

extern EngineState Engine;

// A zero-filled request with the address copied (the callers keep to
// kMaxAddress); it carries the identity of the file at row (none for -1).
JobRequest MakeRequest(int32_t kind, int32_t row, int32_t top, const char* address);

// Request handling, called by the engine window for its messages. An
// address longer than kMaxAddress is refused with an error line.
void OnAnalysePage(const char* address, int32_t row);
// What every new analysis does first: empties the list and the queues of the
// last run and makes address the top page, the first visited one.
void BeginAnalysisRun(const char* address);
void OnAnalyseLink(const char* address, int32_t row);
void OnDownload(const char* address, int32_t row);
void OnFetch(const char* address, int32_t row);
void OnStopAll();
// Clears every queue and ends every job (engine window destruction).
void ShutdownEngine();

// The one way a job ends: closes and deletes an unfinished file, closes the
// socket, cancels the look-up, frees the buffers and marks the job ended.
// The record stays in ActiveJobs, unseen by the look-ups below, until
// ReleaseEndedJobs runs after the event that ended it.
void EndJob(Job* job);
// Frees the records of ended jobs, giving their reusable connections to the
// pool; only between events.
void ReleaseEndedJobs();
// Appends a fresh zero-filled job of the request to ActiveJobs.
Job* AddActiveJob(const JobRequest& request);

// Look-ups and counts see only jobs that have not ended.
Job* FindJobBySocket(SocketHandle socket);
Job* FindJobByLookup(LookupHandle lookup);
bool AnyActive(int32_t kind);
// Counts of active jobs by kind; counts[k] for kinds 1 to 4.
void CountActiveByKind(int32_t countsOut[5]);

// True while an active or waiting download is bound for target.
bool TargetInUse(const char* target);

// The table of open download files: a slot for every download that may run
// at once, one per socket (at most 10) and one per stream of an HTTP/2
// connection (kH2MaxStreams).
constexpr int kOpenFileSlots = 10 + 100;
// A download's part file (see FileOpenPart), created empty or, with
// append, opened at its end.
FileHandle OpenTableFile(const char* path, bool append = false);
void CloseTableFile(FileHandle file);
void CloseAndDeleteTableFile(FileHandle file);
int OpenFileTableCount();
