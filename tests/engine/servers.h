// Servers on 127.0.0.1 that the engine tests start themselves: the
// scriptable fixture server, its HTTP/2 counterpart, nginx, Python's file
// server and tinyproxy.
#pragma once
#include <string>
#include <vector>

// A child process, stopped (SIGTERM, then SIGKILL) when the object goes.
struct ChildProcess {
    int pid = -1;
    ~ChildProcess();
    bool Start(const std::vector<std::string>& argv, int* stdoutFdOut);
};

// A port that was free a moment ago.
int FreePort();
// Waits until something accepts connections on the port.
bool WaitForPort(int port, int timeoutMs);

struct FixtureServer {
    ChildProcess process;
    int port = 0;
    std::string logPath;
    // routesJson maps paths to steps (see tools/fixture_server.py).
    bool Start(const std::string& folder, const std::string& routesJson);
    // Raw request heads received so far, in order, and those for one path.
    std::vector<std::string> Requests(const char* path = nullptr) const;
    std::string Url(const std::string& path) const;
    // Routes with a "hold" step keep their connections open until released
    // by name (or closed by the engine); Hold makes the name hold again.
    bool Release(const std::string& name) const;
    bool Hold(const std::string& name) const;
    // The most connections the server held open at once, and the
    // connections it accepted, since the last call of either; -1 when unknown.
    int MostOpen() const;
    int Connections() const;
};

// nginx on 127.0.0.1 serving root, with its own configuration and logs in
// folder; extra goes into its server block. Given the folder of
// tools/tls-test-ca.sh, it speaks TLS with the localhost certificate and
// HTTP/2 (ALPN), and Url names https://localhost.
struct Nginx {
    ChildProcess process;
    int port = 0;
    bool tls = false;
    std::string logPath;
    bool Start(const std::string& folder, const std::string& root, const std::string& extra = "",
               const std::string& caFolder = "");
    std::string Url(const std::string& path) const;
    // Distinct connections and requests the access log shows so far; its
    // lines read "CONNECTION BODY-BYTES-SENT REQUEST-LINE".
    int Connections() const;
    int Requests() const;
    std::string Log() const;
};

struct FileServer {
    ChildProcess process;
    int port = 0;
    bool Start(const std::string& folder);
    std::string Url(const std::string& path) const;
};

struct TinyProxy {
    ChildProcess process;
    int port = 0;
    bool Start(const std::string& folder);
};

// tools/fixture_server.py speaking TLS, with one of the certificates of
// tools/tls-test-ca.sh.
struct TlsServer {
    ChildProcess process;
    int port = 0;
    std::string logPath;
    // cert: the certificate's name in caFolder (localhost, wronghost...);
    // mode: serve, garbage, stall or bighello; redirects "PATH=LOCATION".
    bool Start(const std::string& caFolder, const std::string& cert, const std::string& folder,
               const std::string& mode = "serve", const std::vector<std::string>& redirects = {},
               int fixedPort = 0, const std::string& alpn = "");
    std::vector<std::string> Requests(const char* path = nullptr) const;
    // "https://<host>:<port><path>"
    std::string Url(const std::string& path, const std::string& host = "localhost") const;
};

// tools/h2_fixture_server.py: the files of folder over TLS (the localhost
// certificate of tools/tls-test-ca.sh) and HTTP/2, misbehaving as the
// request paths ask (see the script).
struct H2Server {
    ChildProcess process;
    int port = 0;
    std::string logPath;
    // settings: the server's SETTINGS, "name=value,..." by h2's names.
    bool Start(const std::string& caFolder, const std::string& folder,
               const std::string& settings = "");
    // "https://localhost:<port><path>"
    std::string Url(const std::string& path) const;
    struct Request {
        int conn = 0;    // the connection, counted from 1
        int stream = 0;
        int open = 0;    // streams being answered on the connection with it
        bool refused = false;  // past the server's stream limit
        std::string path, raw;  // raw: "GET /p HTTP/2\r\nname: value\r\n...\r\n"
    };
    std::vector<Request> Log() const;
    std::vector<std::string> Requests(const char* path = nullptr) const;
    int Connections() const;
    // What the server found wrong in the client's frames, and its own failures.
    std::vector<std::string> Errors() const;
};

// Makes the test authority and certificates in folder; false on failure.
bool MakeTestAuthority(const std::string& folder);

// A JSON string literal of text (quotes included).
std::string Json(const std::string& text);
