#include "tests/ui/fixture_ask_win.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>

std::string AskFixture(const char* portVariable, const std::string& path) {
    const char* port = getenv(portVariable);
    WSADATA wsa;
    if (!port || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return "";
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)atoi(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
    if (s != INVALID_SOCKET && connect(s, (sockaddr*)&a, sizeof a) == 0 &&
        send(s, request.data(), (int)request.size(), 0) == (int)request.size()) {
        char buffer[256];
        int n;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, (size_t)n);
    }
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return reply;
}

static int StatsField(const char* portVariable, const std::string& name) {
    const std::string reply = AskFixture(portVariable, "/stats"), key = "\"" + name + "\": ";
    size_t at = reply.find(key);
    return at == std::string::npos ? -1 : atoi(reply.c_str() + at + key.size());
}

int FixtureMostOpen(const char* portVariable) { return StatsField(portVariable, "most_open"); }
int FixtureConnections(const char* portVariable) { return StatsField(portVariable, "connections"); }

bool ReleaseHeld(const char* portVariable, const std::string& name) {
    return AskFixture(portVariable, "/release/" + name).rfind("HTTP/1.0 200", 0) == 0;
}
