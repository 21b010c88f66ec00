// Sockets and host look-ups for the engine. Defined in net_posix.cpp (poll
// loop, used by the native tests) and net_win.cpp (Winsock messages to the
// engine window). Both deliver the same events to the core, one at a time:
// OnHostResolved when a look-up ends and OnSocketEvent with NetEventRead,
// NetEventConnect or NetEventClose.
#pragma once
#include <cstddef>
#include <cstdint>

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;
using LookupHandle = intptr_t;
constexpr LookupHandle kNoLookup = 0;

// Socket events (the Winsock FD_ bits).
enum NetEvent : int32_t { NetEventRead = 1, NetEventConnect = 16, NetEventClose = 32 };

// Starts the socket library once at program start; 0 when the program must end.
int StartupSockets();
// Releases the socket library at program end.
void CleanupSockets();

// A TCP stream socket (IPv4), or kNoSocket.
SocketHandle NetCreateSocket();
// Switches the socket's event notifications off and closes it.
void NetCloseSocket(SocketHandle socket);
// Starts looking up name; the result is written into hostEntry (size bytes,
// owned by the caller until the look-up ends or is cancelled). kNoLookup
// when the look-up cannot be started.
LookupHandle NetStartLookup(const char* name, char* hostEntry, size_t size);
// Cancels a pending host look-up.
void NetCancelLookup(LookupHandle lookup);
// First IPv4 address (network byte order) of a completed look-up's entry.
bool NetLookupAddress(const char* hostEntry, uint32_t* addressOut);
// Asks for read, connect and close events of the socket; 0 on failure.
int NetSelectEvents(SocketHandle socket);
// Starts connecting; 1 when the connect event will follow, 0 on failure.
int NetConnect(SocketHandle socket, uint32_t address, uint16_t port);
// Sends; the count sent, or -1 on failure.
int NetSend(SocketHandle socket, const char* data, int len);
// Receives up to len bytes: the count, 0 at the end of the stream, -1 on
// an error, -2 when nothing is there yet.
int NetRecv(SocketHandle socket, char* buffer, int len);
// Code of the last failed socket call (errno or WSAGetLastError).
int NetLastError();
