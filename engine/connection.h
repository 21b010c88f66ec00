// A connection to a server, which a job borrows for one answer and gives
// back when the answer ended cleanly, and the pool that keeps the given
// back ones open for the next job to the same scheme, host and port.
#pragma once
#include <cstdint>

#include "engine/net.h"

struct TlsConn;

struct Connection {
    SocketHandle socket;
    TlsConn* tls;     // TLS over the socket once the handshake began
    int32_t reused;   // carried an answer before: the server may have closed it while idle
};

// A connection no job holds.
constexpr Connection kNoConnection = {kNoSocket, nullptr, 0};

// Idle connections are closed after this long, and beyond this many the
// oldest one goes.
constexpr uint32_t kIdleMs = 5000;
constexpr int kMaxIdleConnections = 16;

// Host names name the same server when they are alike ignoring case.
bool SameHostName(const char* a, const char* b);

// Closes the socket (and its TLS) and forgets them.
void CloseConnection(Connection* conn);

// Takes an idle connection to the server, marked reused; false when there
// is none.
bool PoolTake(bool secure, const char* host, uint16_t port, Connection* out);
// Keeps a connection whose answer ended cleanly, idle from now.
void PoolGive(const Connection& conn, bool secure, const char* host, uint16_t port);
// Idle connections to host (any scheme or port).
int PoolCountForHost(const char* host);
// True when one for this scheme, host and port waits.
bool PoolHas(bool secure, const char* host, uint16_t port);
// Closes the oldest idle connection to host; false when there is none.
bool PoolDropOldestForHost(const char* host);
// Closes the connections idle for longer than kIdleMs.
void PoolCloseStale(uint32_t now);
// Closes every idle connection (Stop, exit).
void PoolCloseAll();
// An event on an idle connection: when the server closed it or sent what
// no request asked for, it is closed (a read event posted before the last
// answer was read finds nothing and changes nothing). False when the socket
// is not idle here.
bool PoolOnSocketEvent(SocketHandle socket, int event);
int PoolSize();
