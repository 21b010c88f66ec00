// Winsock 1.1 in its asynchronous window-message form: look-ups complete
// with MsgHostResolved and socket events arrive as MsgSocketEvent at the
// engine window.
#include "engine/net.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "engine/engine_window_win.h"
#include "engine/engine.h"

static HWND TheEngineWindow = nullptr;
HWND EngineWindow() { return TheEngineWindow; }
void SetEngineWindow(HWND window) { TheEngineWindow = window; }

int StartupSockets() {
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) {
        MessageBoxA(nullptr, "WinSockの初期化が失敗しました", nullptr, MB_OK | MB_ICONERROR);
        WSACleanup();
        return 0;
    }
    if (data.wVersion != 0x0101) {
        MessageBoxA(nullptr, "Winsock Version1.1が得られませんでした", nullptr,
                    MB_OK | MB_ICONERROR);
        WSACleanup();
        return 0;
    }
    return 1;
}

void CleanupSockets() { WSACleanup(); }

SocketHandle NetCreateSocket() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? kNoSocket : (SocketHandle)s;
}

// Closing cancels the socket's event selection; events already posted are
// told apart by the engine, so no separate cancel call is made (under Wine
// each one is a round trip to the server).
void NetCloseSocket(SocketHandle socket) {
    if (socket == kNoSocket) return;
    closesocket((SOCKET)socket);
}

LookupHandle NetStartLookup(const char* name, char* hostEntry, size_t size) {
    HANDLE lookup =
        WSAAsyncGetHostByName(EngineWindow(), MsgHostResolved, name, hostEntry, (int)size);
    return lookup ? (LookupHandle)lookup : kNoLookup;
}

void NetCancelLookup(LookupHandle lookup) {
    if (lookup != kNoLookup) WSACancelAsyncRequest((HANDLE)lookup);
}

bool NetLookupAddress(const char* hostEntry, uint32_t* addressOut) {
    const hostent* entry = (const hostent*)hostEntry;
    if (entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
        return false;
    memcpy(addressOut, entry->h_addr_list[0], 4);
    return true;
}

int NetSelectEvents(SocketHandle socket) {
    return WSAAsyncSelect((SOCKET)socket, EngineWindow(), MsgSocketEvent,
                          FD_READ | FD_CONNECT | FD_CLOSE) == 0
               ? 1
               : 0;
}

int NetConnect(SocketHandle socket, uint32_t address, uint16_t port) {
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    if (connect((SOCKET)socket, (sockaddr*)&to, sizeof to) == 0) return 1;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 1 : 0;
}

int NetSend(SocketHandle socket, const char* data, int len) {
    int n = send((SOCKET)socket, data, len, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int NetRecv(SocketHandle socket, char* buffer, int len) {
    int n = recv((SOCKET)socket, buffer, len, 0);
    if (n != SOCKET_ERROR) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? -2 : -1;
}

int NetLastError() { return WSAGetLastError(); }

bool WakeEngine() {
    return EngineWindow() && PostMessageA(EngineWindow(), MsgStartJobs, 0, 0);
}
