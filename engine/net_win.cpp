#include "engine/net.h"

#include <winsock2.h>

void NetCloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) closesocket((SOCKET)socket);
}

void NetCancelLookup(LookupHandle lookup) {
    if (lookup != kNoLookup) WSACancelAsyncRequest((HANDLE)lookup);
}
