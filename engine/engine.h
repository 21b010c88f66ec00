// The crawl engine: starting jobs, reception, completion and the 100 ms
// scheduler. Called by the engine window (or the native event loop) one
// event at a time.
#pragma once
#include <cstdint>

#include "engine/jobs.h"

// Size caps of memory-kept responses: a page to analyse, a file for the viewer.
constexpr int32_t kPageCap = 16 * 1024 * 1024;
constexpr int32_t kFetchCap = 64 * 1024 * 1024;
// Step of a reception.
constexpr int kReceiveStep = 4096;
// Stop command of menu and toolbar.
constexpr int kCommandStop = 40005;

// Turns a request into an active job and starts its look-up; false when the
// start failed (the job is gone then).
bool StartJob(const JobRequest& request);
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
// Logs why the job's TLS connection failed and ends the job.
void EndWithTlsFailure(Job* job);

enum ReceiveAnswer { ReceiveStop = 0, ReceiveMore = 1 };
// One reception step of up to 4096 bytes. After ReceiveStop the job may be
// gone: look it up again before touching it.
ReceiveAnswer ReceiveChunk(Job* job);
// Reception of bytes already read (what ReceiveChunk does after its recv);
// the tests feed responses through it.
ReceiveAnswer ReceiveBytes(Job* job, const char* bytes, int n);
// The end of the stream: completes the job or reports why it cannot, then
// ends it.
void FinishJob(Job* job);

// The 100 ms tick.
void OnTimer();
// A socket event (NetEventRead, NetEventConnect, NetEventClose).
void OnSocketEvent(SocketHandle socket, int event);
// The per-kind handling of a job whose response arrived whole.
void CompleteJob(Job* job);
// True while the job is still in ActiveJobs.
bool JobAlive(const Job* job);
