#include "engine/net.h"

#include <unistd.h>

void NetCloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) close((int)socket);
}

void NetCancelLookup(LookupHandle lookup) {}
