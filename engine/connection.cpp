#include "engine/connection.h"

#include <list>

#include "engine/platform.h"
#include "engine/tls.h"
#include "text/address.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

struct IdleConnection {
    Connection conn;
    bool secure;
    AddressText host;
    uint16_t port;
    uint32_t since;
};

// Oldest first.
std::list<IdleConnection> Idle;

}  // namespace

bool SameHostName(const char* a, const char* b) {
    return StrNCmpI(a, b, kMaxNoCaseCompare) == 0;
}

void CloseConnection(Connection* conn) {
    TlsClose(conn->tls);
    if (conn->socket != kNoSocket) NetCloseSocket(conn->socket);
    *conn = kNoConnection;
}

bool PoolTake(bool secure, const char* host, uint16_t port, Connection* out) {
    // The newest is the likeliest still open.
    for (auto it = Idle.rbegin(); it != Idle.rend(); ++it) {
        if (it->secure != secure || it->port != port || !SameHostName(it->host, host)) continue;
        *out = it->conn;
        out->reused = 1;
        Idle.erase(std::next(it).base());
        return true;
    }
    return false;
}

void PoolGive(const Connection& conn, bool secure, const char* host, uint16_t port) {
    if ((int)Idle.size() >= kMaxIdleConnections) {
        CloseConnection(&Idle.front().conn);
        Idle.pop_front();
    }
    Idle.emplace_back();
    IdleConnection& idle = Idle.back();
    idle.conn = conn;
    idle.secure = secure;
    CopyText(idle.host, sizeof idle.host, host);
    idle.port = port;
    idle.since = TickCount();
}

int PoolCountForHost(const char* host) {
    int n = 0;
    for (const IdleConnection& idle : Idle)
        if (SameHostName(idle.host, host)) n++;
    return n;
}

bool PoolHas(bool secure, const char* host, uint16_t port) {
    for (const IdleConnection& idle : Idle)
        if (idle.secure == secure && idle.port == port && SameHostName(idle.host, host)) return true;
    return false;
}

bool PoolDropOldestForHost(const char* host) {
    for (auto it = Idle.begin(); it != Idle.end(); ++it) {
        if (!SameHostName(it->host, host)) continue;
        CloseConnection(&it->conn);
        Idle.erase(it);
        return true;
    }
    return false;
}

void PoolCloseStale(uint32_t now) {
    for (auto it = Idle.begin(); it != Idle.end();) {
        if (now - it->since <= kIdleMs) {
            ++it;
            continue;
        }
        CloseConnection(&it->conn);
        it = Idle.erase(it);
    }
}

void PoolCloseAll() {
    for (IdleConnection& idle : Idle) CloseConnection(&idle.conn);
    Idle.clear();
}

bool PoolOnSocketEvent(SocketHandle socket, int event) {
    for (auto it = Idle.begin(); it != Idle.end(); ++it) {
        if (it->conn.socket != socket) continue;
        if (event == NetEventRead) {
            char probe;
            Connection& c = it->conn;
            int n = c.tls ? TlsRecv(c.tls, &probe, 1) : NetRecv(c.socket, &probe, 1);
            if (n == -2) return true;
        }
        CloseConnection(&it->conn);
        Idle.erase(it);
        return true;
    }
    return false;
}

int PoolSize() { return (int)Idle.size(); }
