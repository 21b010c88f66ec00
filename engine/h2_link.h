// HTTP/2 connections ("links") that jobs share: a server that chose HTTP/2
// in the TLS handshake gets one connection, and every job to it rides that
// connection as a stream. Reception hands each stream's answer to the same
// code as an HTTP/1.1 answer, so the list, the log, retries and the saving
// rules cannot tell the two apart.
#pragma once
#include <cstdint>

#include "engine/jobs.h"

// The job's TLS handshake ended with the server choosing HTTP/2: its
// connection becomes a link and its request the link's first stream.
void H2AdoptConnection(Job* job);
// Sends the job's request as a new stream of an open link to its server;
// false when no link can take one more stream (the job is untouched then).
bool H2StartOnLink(Job* job);
// Whether the address's server has a link that takes new streams, and
// whether it can take one more now.
enum H2LinkRoom { H2NoLink = 0, H2Room = 1, H2Full = 2 };
H2LinkRoom H2LinkRoomFor(const char* address);
// True when an open link to the address's server can take one more stream.
inline bool H2LinkHasRoom(const char* address) { return H2LinkRoomFor(address) == H2Room; }
// Links open to host (any port), each one connection.
int H2LinkCountForHost(const char* host);
bool H2AnyLink();

// Servers whose handshake chose HTTP/1.1 (or nothing) lately: no request
// to them waits to learn whether one connection will carry them all.
void H2NotePlainServer(const char* host, uint16_t port);
bool H2KnownPlain(const char* host, uint16_t port);

// A socket event for a link's socket; false when the socket is no link's.
bool H2LinkOnSocketEvent(SocketHandle socket, int event);
// The job ends: its stream, when still open, is reset.
void H2DetachJob(Job* job);
// The job's server stopped answering its stream: the link takes no new
// streams and closes once its others are done.
void H2RetireLinkOf(Job* job);

// The tick: closes links that carried nothing for kIdleMs.
void H2CloseStaleLinks(uint32_t now);
// Closes every link (Stop, exit); their jobs must have ended.
void H2CloseAllLinks();
// Frees the records of closed links; only between events.
void H2ReleaseClosedLinks();
int H2LinkCount();
