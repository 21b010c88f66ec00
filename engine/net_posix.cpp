// POSIX sockets for the native builds: non-blocking sockets watched by
// poll, look-ups completed as later events, and the loop that delivers
// them to the core the way the engine window's messages do on Windows.
#include "engine/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "engine/engine.h"
#include "engine/event_loop.h"
#include "text/text.h"

namespace {

struct PendingLookup {
    LookupHandle handle;
    char name[256];
    char* hostEntry;
    size_t size;
};

// What the loop watches a socket for: the connect event while connecting,
// then read events until the peer's close has been reported once.
struct Watch {
    bool connecting;
    bool closed;
};

std::deque<PendingLookup> Lookups;
std::map<SocketHandle, Watch> Watched;
LookupHandle NextLookup = 1;
int LastError = 0;

uint32_t RealMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
}

}  // namespace

int StartupSockets() { return 1; }
void CleanupSockets() {}

SocketHandle NetCreateSocket() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        LastError = errno;
        return kNoSocket;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

void NetCloseSocket(SocketHandle socket) {
    if (socket == kNoSocket) return;
    Watched.erase(socket);
    close((int)socket);
}

LookupHandle NetStartLookup(const char* name, char* hostEntry, size_t size) {
    if (!name || !name[0] || size < 4) return kNoLookup;
    PendingLookup lookup;
    lookup.handle = NextLookup++;
    CopyText(lookup.name, sizeof lookup.name, name);
    lookup.hostEntry = hostEntry;
    lookup.size = size;
    Lookups.push_back(lookup);
    return lookup.handle;
}

void NetCancelLookup(LookupHandle lookup) {
    for (auto it = Lookups.begin(); it != Lookups.end(); ++it)
        if (it->handle == lookup) {
            Lookups.erase(it);
            return;
        }
}

// The native host entry is just the address's four bytes.
bool NetLookupAddress(const char* hostEntry, uint32_t* addressOut) {
    memcpy(addressOut, hostEntry, 4);
    return true;
}

int NetSelectEvents(SocketHandle socket) {
    Watched[socket] = Watch{false, false};
    return 1;
}

int NetConnect(SocketHandle socket, uint32_t address, uint16_t port) {
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    if (connect((int)socket, (sockaddr*)&to, sizeof to) != 0 && errno != EINPROGRESS) {
        LastError = errno;
        return 0;
    }
    // Like Winsock, an immediate success still reports its connect event.
    auto it = Watched.find(socket);
    if (it != Watched.end()) it->second.connecting = true;
    return 1;
}

int NetSend(SocketHandle socket, const char* data, int len) {
    ssize_t n = send((int)socket, data, (size_t)len, MSG_NOSIGNAL);
    if (n < 0) LastError = errno;
    return n < 0 ? -1 : (int)n;
}

int NetRecv(SocketHandle socket, char* buffer, int len) {
    ssize_t n = recv((int)socket, buffer, (size_t)len, 0);
    if (n >= 0) return (int)n;
    LastError = errno;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? -2 : -1;
}

int NetLastError() { return LastError; }

// Completes the oldest pending look-up; getaddrinfo blocks, but the tests
// only look up 127.0.0.1 and localhost.
static void CompleteOneLookup() {
    PendingLookup lookup = Lookups.front();
    Lookups.pop_front();
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(lookup.name, nullptr, &hints, &found);
    if (error == 0 && found) {
        uint32_t address = ((sockaddr_in*)found->ai_addr)->sin_addr.s_addr;
        memcpy(lookup.hostEntry, &address, 4);
    } else {
        error = 11001;  // WSAHOST_NOT_FOUND
    }
    if (found) freeaddrinfo(found);
    OnHostResolved(lookup.handle, error);
}

// One round: waits at most waitMs for socket activity, then delivers each
// event, checking before each one that its socket is still watched (an
// earlier event may have ended that job, and its number may be reused).
static void RunRound(int waitMs) {
    if (!Lookups.empty()) {
        CompleteOneLookup();
        waitMs = 0;
    }
    std::vector<pollfd> fds;
    for (const auto& entry : Watched) {
        if (entry.second.closed) continue;
        pollfd p;
        p.fd = (int)entry.first;
        p.events = entry.second.connecting ? POLLOUT : POLLIN;
        p.revents = 0;
        fds.push_back(p);
    }
    if (fds.empty()) {
        if (waitMs > 0) {
            struct timespec pause = {waitMs / 1000, (long)(waitMs % 1000) * 1000000L};
            nanosleep(&pause, nullptr);
        }
        return;
    }
    if (poll(fds.data(), fds.size(), waitMs) <= 0) return;
    for (const pollfd& p : fds) {
        if (!p.revents) continue;
        auto it = Watched.find(p.fd);
        if (it == Watched.end() || it->second.closed) continue;
        if (it->second.connecting) {
            it->second.connecting = false;
            OnSocketEvent(p.fd, NetEventConnect);
            continue;
        }
        char probe;
        ssize_t n = recv(p.fd, &probe, 1, MSG_PEEK);
        if (n == 0) {
            it->second.closed = true;
            OnSocketEvent(p.fd, NetEventClose);
        } else {
            OnSocketEvent(p.fd, NetEventRead);  // data, or an error for recv to report
        }
    }
}

static uint32_t NextTick = 0;

// The loop looks at StartPending itself before every round.
bool WakeEngine() { return true; }

bool RunEngineUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    uint32_t start = RealMs();
    if (NextTick == 0 || (int32_t)(NextTick - start) > 100) NextTick = start + 100;
    while (!done()) {
        if (Engine.StartPending) {  // work was queued: the start event
            OnStartJobs();
            continue;
        }
        uint32_t now = RealMs();
        // A due tick runs even when the time is up, so that a slow round
        // never swallows it.
        if ((int32_t)(now - NextTick) >= 0) {
            NextTick = now + 100;
            OnTimer();
            continue;
        }
        if (now - start >= timeoutMs) return done();
        int wait = (int)(NextTick - now);
        int left = (int)(timeoutMs - (now - start));
        RunRound(wait < left ? wait : left);
    }
    return true;
}

void RunEngineFor(uint32_t ms) {
    RunEngineUntil([] { return false; }, ms);
}

int PendingLookupCount() { return (int)Lookups.size(); }
int WatchedSocketCount() { return (int)Watched.size(); }
