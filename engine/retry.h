// Second chances: which failures earn a retry, the wait before it, and the
// waiting retries until their time comes.
#pragma once
#include <cstdint>

#include "engine/jobs.h"

// Longest wait a server's Retry-After may ask for.
constexpr int kMaxRetryAfter = 120;

// The wait before retry number attempt (1 to kMaxRetries) when the server
// named none: 1, 4 and 16 seconds.
int BackOffSeconds(int32_t attempt);

// When the job has a retry left: logs it, keeps what a download received
// for a resumed request (when the server can resume it), ends the job and
// lets a retry wait delaySeconds (-1: BackOffSeconds); true. Otherwise
// false and the job is left as it is. reason says why, as the log says it
// ("HTTP 503", "タイムアウト"...).
bool RetryLater(Job* job, const char* reason, int delaySeconds);
// The server refused the job's request unprocessed (HTTP/2's refused
// streams): the same request waits again at once, for whichever connection
// takes it (a new one when the server is leaving the old), without counting
// as a retry or being logged; past kMaxRefusals refusals
// it is an ordinary retry (RetryLater, reason "接続切断", or GiveUp).
constexpr int kMaxRefusals = 8;
void RetryRefused(Job* job);
// The last retry failed too: one log line, the caption for the page the
// user asked for (caption, or "<reason> - Ferrow" when nullptr), and the
// job ends.
void GiveUp(Job* job, const char* reason, const char* caption);

// True while a retry of the kind (0: any) waits.
bool AnyRetryWaiting(int32_t kind);
// The first waiting retry of the kind whose time has come and whose host
// has room, or none.
const RetryWait* DueRetry(int32_t kind, bool (*hostHasRoom)(const char* address));
// Starts a waiting retry from DueRetry; it leaves the waits either way.
void StartRetry(const RetryWait* wait);
// Drops waiting retries of the kind (0: every kind) and deletes the part
// files they kept.
void DropRetryWaits(int32_t kind);
