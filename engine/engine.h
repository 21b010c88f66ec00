// The crawl engine: starting jobs, reception, completion and the 100 ms
// scheduler. Called by the engine window (or the native event loop) one
// event at a time.
#pragma once
#include <cstdint>

#include "engine/jobs.h"
#include "engine/tls.h"
#include "resources/resource.h"

// Size caps of memory-kept responses: a page to analyse, a file for the viewer.
constexpr int32_t kPageCap = 16 * 1024 * 1024;
constexpr int32_t kFetchCap = 64 * 1024 * 1024;
// A download of an announced size up to this is kept in memory and written
// once whole, straight under its name: no part file to create, rename and
// show, which under Wine costs more than the transfer of a small file.
constexpr int32_t kHeldDownloadCap = 256 * 1024;
// Reception reads into one shared buffer of this size and hands each fill
// on in one piece, so a download is written in writes this large. Under Wine
// each read and write is a round trip to its server: fewer, larger ones pay.
constexpr int kReceiveBufferSize = 1024 * 1024;
// Fills taken per read event (16 MiB): a sender faster than the disk must
// not keep the other sockets and the tick waiting (the socket reports again).
constexpr int kFillsPerEvent = 16;
// Stop command of menu and toolbar.
constexpr int kCommandStop = IDM_STOP;

// Turns a request into an active job and starts its look-up; false when the
// start failed (the job is gone then). A retry brings its count and what a
// cut download kept.
bool StartJob(const JobRequest& request, const RetryWait* retry = nullptr);
// A look-up ended; error is the high word of the message's lParam.
void OnHostResolved(LookupHandle lookup, int error);
// The connect event: sends the request, or for "https://" asks the proxy
// for a tunnel or starts the TLS handshake.
void SendRequest(Job* job);
// Socket events before the response (JobPhase below PhaseResponse): the
// proxy's answer and the handshake; closed when the stream has ended.
void AdvanceConnection(Job* job, bool closed);
// The job's connection, plain or TLS, with the answers of NetSend/NetRecv.
int JobSend(Job* job, const char* data, int len);
int JobRecv(Job* job, char* buffer, int len);
// The job's reused connection ended before a byte of the answer (the server
// closed it while it was idle): the same request at once on a new one.
void RetryOnFreshConnection(Job* job);
// Logs why the job's TLS connection failed and ends the job.
void EndWithTlsFailure(Job* job);
// The same for a failure the caller read off a connection it owns.
void EndWithTlsFault(Job* job, TlsFailure failure);
// The job's request as HTTP/1.1 text into request[0, size): method, target,
// Host, agent, referer, cookies, range, encodings; its length.
int BuildJobRequest(Job* job, char* request, size_t size);
// The request went out: reception starts from an empty answer.
void BeginReception(Job* job);
// Ends a job whose answer's body has no trustworthy end (an error line).
void EndWithBadFraming(Job* job);

enum ReceiveAnswer { ReceiveStop = 0, ReceiveMore = 1 };
enum ReadOutcome {
    ReadWait = 0,   // the socket would block: wait for its next event
    ReadMore = 1,   // stopped after kFillsPerEvent fills; more is waiting
    ReadEnd = 2,    // the stream has ended
    ReadEnded = 3,  // the job was ended (error, redirect, filter ...)
    ReadDone = 4,   // the answer is whole by its framing
};
// Reads what the socket holds, in fills of the shared buffer, until it
// would block, the stream ends or kFillsPerEvent fills were taken.
ReadOutcome ReadAvailable(Job* job);
// Reception of bytes already read (what ReadAvailable does with each fill);
// ReceiveStop when the job was ended. The tests feed responses through it.
ReceiveAnswer ReceiveBytes(Job* job, const char* bytes, int n);
// The end of the stream: completes the job or reports why it cannot, then
// ends it.
void FinishJob(Job* job);

// Every entry point of the engine (tick, socket and look-up events, start
// event, stop) runs inside one scope; when the outermost returns, queued
// jobs start under the tick's rules (a job ended, or work was queued) and
// ended jobs are freed. Nothing that an inner call still holds is freed
// before then.
struct EngineEventScope {
    EngineEventScope();
    ~EngineEventScope();
};

// The 100 ms tick.
void OnTimer();
// Work was queued: asks for a start event (WakeEngine) unless one is due.
void RequestJobStarts();
// The start event: starts queued jobs under the tick's rules.
void OnStartJobs();
// Platform part of RequestJobStarts: the engine window posts itself
// MsgStartJobs; the native loop looks at StartPending every round. False
// when no start event will come (no engine window yet).
bool WakeEngine();
// A socket event (NetEventRead, NetEventConnect, NetEventClose).
void OnSocketEvent(SocketHandle socket, int event);
// The per-kind handling of a job whose response arrived whole.
void CompleteJob(Job* job);
// Shows the byte progress of a lone download (the tick calls it).
void ShowByteProgress();
