// Sockets and host look-ups for the engine. Defined in net_posix.cpp (poll
// loop, used by the native tests) and net_win.cpp (Winsock messages to the
// engine window).
#pragma once
#include <cstdint>

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;
using LookupHandle = intptr_t;
constexpr LookupHandle kNoLookup = 0;

// Switches the socket's event notifications off and closes it.
void NetCloseSocket(SocketHandle socket);
// Cancels a pending host look-up.
void NetCancelLookup(LookupHandle lookup);
