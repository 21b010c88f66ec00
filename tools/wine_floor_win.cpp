// The floor a Windows client meets under Wine: fetches each address of a
// list one after another with plain blocking Winsock calls and writes each
// answer's body into a file, as a simple command-line downloader would. The
// engine benchmark runs it beside Ferrow.exe to show what the Winsock and
// file calls themselves cost there.
//   wine_floor_win <list-file> <folder> [threads]
//                                           prints "<ms> ms, <n> files"; with
//                                           threads, that many fetch side by side
//   wine_floor_win calls <folder>           microseconds per call of the
//                                           kinds Ferrow makes for each file
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Fetches http://a.b.c.d:port/path into folder\name; false on any failure.
bool Fetch(const std::string& address, const std::string& folder) {
    unsigned a, b, c, d, port;
    char path[1024];
    if (sscanf(address.c_str(), "http://%u.%u.%u.%u:%u%1023s", &a, &b, &c, &d, &port, path) != 6)
        return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return false;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((u_short)port);
    to.sin_addr.s_addr = htonl((a << 24) | (b << 16) | (c << 8) | d);
    std::string request = std::string("GET ") + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    bool ok = connect(s, (sockaddr*)&to, sizeof to) == 0 &&
              send(s, request.data(), (int)request.size(), 0) == (int)request.size();
    std::string answer;
    std::vector<char> buffer(65536);
    for (int n; ok && (n = recv(s, buffer.data(), (int)buffer.size(), 0)) > 0;) answer.append(buffer.data(), (size_t)n);
    closesocket(s);
    size_t body = answer.find("\r\n\r\n");
    if (!ok || body == std::string::npos) return false;
    std::string name = folder + "\\" + address.substr(address.find_last_of('/') + 1);
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ok = WriteFile(file, answer.data() + body + 4, (DWORD)(answer.size() - body - 4), &written,
                   nullptr) != 0;
    CloseHandle(file);
    return ok;
}

long long MicrosecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - start)
        .count();
}

// Each kind of call 1000 times; prints the mean cost of one.
int TimeCalls(const std::string& folder) {
    const int kTimes = 1000;
    const std::string a = folder + "\\call-a.tmp", b = folder + "\\call-b.tmp";
    HWND window = CreateWindowA("STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                                nullptr, nullptr, nullptr, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i) OutputDebugStringA("trace line\n");
    printf("OutputDebugStringA %lld us\n", MicrosecondsSince(start) / kTimes);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i) InvalidateRect(window, nullptr, FALSE);
    printf("InvalidateRect %lld us\n", MicrosecondsSince(start) / kTimes);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i)
        CloseHandle(CreateFileA(a.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
    printf("CreateFileA and CloseHandle %lld us\n", MicrosecondsSince(start) / kTimes);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i) GetFileAttributesA(a.c_str());
    printf("GetFileAttributesA %lld us\n", MicrosecondsSince(start) / kTimes);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i) SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
    printf("SetFileAttributesA %lld us\n", MicrosecondsSince(start) / kTimes);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimes; ++i)
        MoveFileExA(i % 2 ? b.c_str() : a.c_str(), i % 2 ? a.c_str() : b.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    printf("MoveFileExA %lld us\n", MicrosecondsSince(start) / kTimes);
    DeleteFileA(a.c_str());
    DestroyWindow(window);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "calls") == 0) return TimeCalls(argv[2]);
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: wine_floor_win <list-file> <folder> [threads] | calls <folder>\n");
        return 2;
    }
    const int threads = argc == 4 ? (int)strtol(argv[3], nullptr, 10) : 1;
    if (threads < 1 || threads > 64) return 2;
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0) return 3;
    std::ifstream list(argv[1]);
    std::vector<std::string> addresses;
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) addresses.push_back(line);
    std::atomic<size_t> next{0};
    std::atomic<int> files{0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < addresses.size();)
                if (Fetch(addresses[i], argv[2])) ++files;
        });
    for (std::thread& worker : workers) worker.join();
    long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
    printf("%lld ms, %d files\n", ms, files.load());
    WSACleanup();
    return 0;
}
