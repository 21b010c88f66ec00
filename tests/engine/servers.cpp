#include "tests/engine/servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/temp_folder.h"

ChildProcess::~ChildProcess() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; i++) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, int* stdoutFdOut) {
    int out[2] = {-1, -1};
    if (stdoutFdOut && pipe(out) != 0) return false;
    pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (stdoutFdOut) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
        } else {
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            close(quiet);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (stdoutFdOut) {
        close(out[1]);
        *stdoutFdOut = out[0];
    }
    return true;
}

static sockaddr_in Loopback(int port) {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A socket connected to the port, or -1.
static int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    if (connect(fd, (sockaddr*)&a, sizeof a) == 0) return fd;
    close(fd);
    return -1;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, (sockaddr*)&a, sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, (sockaddr*)&a, &len);
    close(fd);
    return ntohs(a.sin_port);
}

bool WaitForPort(int port, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        int fd = Connect(port);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Starts a server script (tools/fixture_server.py unless named) with the
// arguments and reads the port it prints first.
static bool StartFixtureServer(ChildProcess& process, std::vector<std::string> arguments,
                               int* port,
                               std::vector<std::string> script = {
                                   "python3", FERROW_SOURCE_DIR "/tools/fixture_server.py"}) {
    arguments.insert(arguments.begin(), script.begin(), script.end());
    int fd = -1;
    if (!process.Start(arguments, &fd)) return false;
    FILE* out = fdopen(fd, "r");
    char line[64] = "";
    bool ok = fgets(line, sizeof line, out) && sscanf(line, "PORT %d", port) == 1;
    fclose(out);
    return ok;
}

bool FixtureServer::Start(const std::string& folder, const std::string& routesJson) {
    std::string routes = folder + "/routes.json";
    logPath = folder + "/requests.log";
    WriteWholeFile(routes, routesJson);
    WriteWholeFile(logPath, "");
    return StartFixtureServer(process, {"--routes", routes, "--log", logPath}, &port);
}

// A string field of one log line (the servers write them with json.dumps).
static std::string StringField(const std::string& line, const char* name) {
    std::string key = std::string("\"") + name + "\": \"";
    size_t p = line.find(key);
    std::string value;
    if (p == std::string::npos) return value;
    for (p += key.size(); p < line.size() && line[p] != '"'; p++) {
        if (line[p] != '\\') {
            value += line[p];
            continue;
        }
        char c = line[++p];
        if (c == 'r') value += '\r';
        else if (c == 'n') value += '\n';
        else if (c == 't') value += '\t';
        else if (c == 'u') {
            value += (char)strtol(line.substr(p + 1, 4).c_str(), nullptr, 16);
            p += 4;
        } else value += c;
    }
    return value;
}

// A number field of one log line, or -1.
static int NumberField(const std::string& line, const char* name) {
    std::string key = std::string("\"") + name + "\": ";
    size_t p = line.find(key);
    return p == std::string::npos ? -1 : atoi(line.c_str() + p + key.size());
}

// The "raw" field of one log line.
static std::string RawOf(const std::string& line, std::string* pathOut) {
    if (pathOut) *pathOut = StringField(line, "path");
    return StringField(line, "raw");
}

static std::vector<std::string> LoggedRequests(const std::string& logPath, const char* path) {
    std::vector<std::string> all;
    std::ifstream in(logPath);
    std::string line;
    while (std::getline(in, line)) {
        std::string p;
        std::string raw = RawOf(line, &p);
        if (!path || p == path) all.push_back(raw);
    }
    return all;
}

std::vector<std::string> FixtureServer::Requests(const char* path) const {
    return LoggedRequests(logPath, path);
}

std::string FixtureServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

// The whole reply of the fixture server to a control request.
static std::string Fetch(int port, const std::string& path) {
    int fd = Connect(port);
    if (fd < 0) return std::string();
    std::string request = "GET " + path + " HTTP/1.0\r\n\r\n", reply;
    bool ok = send(fd, request.data(), request.size(), 0) == (ssize_t)request.size();
    char buffer[256];
    ssize_t n;
    while (ok && (n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, (size_t)n);
    close(fd);
    return ok ? reply : std::string();
}

static bool Control(int port, const std::string& path) {
    return Fetch(port, path).rfind("HTTP/1.0 200", 0) == 0;
}

static int StatsField(int port, const std::string& name) {
    std::string reply = Fetch(port, "/stats"), key = "\"" + name + "\": ";
    size_t at = reply.find(key);
    return at == std::string::npos ? -1 : atoi(reply.c_str() + at + key.size());
}

int FixtureServer::MostOpen() const { return StatsField(port, "most_open"); }
int FixtureServer::Connections() const { return StatsField(port, "connections"); }

bool Nginx::Start(const std::string& folder, const std::string& root, const std::string& extra,
                  const std::string& caFolder) {
    port = FreePort();
    tls = !caFolder.empty();
    std::string listen = tls ? " ssl http2;\n  ssl_certificate " + caFolder +
                                   "/localhost.pem; ssl_certificate_key " + caFolder +
                                   "/localhost.key;\n"
                             : ";";
    logPath = folder + "/nginx-access.log";
    std::string conf = folder + "/nginx.conf";
    std::ostringstream text;
    text << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << folder
         << "/nginx.pid;\nerror_log " << folder << "/nginx-error.log;\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "  log_format conn '$connection $body_bytes_sent $request';\n"
         << "  access_log " << logPath << " conn;\n"
         << "  client_body_temp_path " << folder << "; proxy_temp_path " << folder << ";\n"
         << "  fastcgi_temp_path " << folder << "; uwsgi_temp_path " << folder << ";\n"
         << "  scgi_temp_path " << folder << ";\n"
         << "  types { text/html html; image/jpeg jpg; }\n"
         << "  server { listen 127.0.0.1:" << port << listen << " root " << root << ";\n" << extra
         << "  }\n}\n";
    WriteWholeFile(conf, text.str());
    if (!process.Start({"nginx", "-p", folder, "-c", conf}, nullptr)) return false;
    return WaitForPort(port, 5000);
}

std::string Nginx::Url(const std::string& path) const {
    return (tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port) + path;
}

int Nginx::Connections() const {
    std::istringstream log(ReadWholeFile(logPath));
    std::set<std::string> seen;
    std::string line;
    while (std::getline(log, line)) seen.insert(line.substr(0, line.find(' ')));
    return (int)seen.size();
}

std::string Nginx::Log() const { return ReadWholeFile(logPath); }

int Nginx::Requests() const {
    std::istringstream log(ReadWholeFile(logPath));
    int n = 0;
    std::string line;
    while (std::getline(log, line)) n++;
    return n;
}

bool FixtureServer::Release(const std::string& name) const { return Control(port, "/release/" + name); }

bool FixtureServer::Hold(const std::string& name) const { return Control(port, "/hold/" + name); }

bool FileServer::Start(const std::string& folder) {
    port = FreePort();
    if (!process.Start({"python3", "-m", "http.server", std::to_string(port), "--bind",
                        "127.0.0.1", "--directory", folder},
                       nullptr))
        return false;
    return WaitForPort(port, 5000);
}

std::string FileServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

bool TinyProxy::Start(const std::string& folder) {
    port = FreePort();
    std::string conf = folder + "/tinyproxy.conf";
    std::ostringstream text;
    text << "Port " << port << "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\n"
         << "MaxClients 8\nLogLevel Critical\nPidFile \"" << folder << "/tinyproxy.pid\"\n"
         << "LogFile \"" << folder << "/tinyproxy.log\"\n";
    WriteWholeFile(conf, text.str());
    if (!process.Start({"tinyproxy", "-d", "-c", conf}, nullptr)) return false;
    return WaitForPort(port, 5000);
}

bool TlsServer::Start(const std::string& caFolder, const std::string& cert,
                      const std::string& folder, const std::string& mode,
                      const std::vector<std::string>& redirects, int fixedPort,
                      const std::string& alpn) {
    logPath = folder + "/tls-requests-" + cert + "-" + mode + ".log";
    WriteWholeFile(logPath, "");
    std::vector<std::string> arguments = {"--cert", caFolder + "/" + cert + ".pem",
                                          "--key",  caFolder + "/" + cert + ".key",
                                          "--dir",  folder,
                                          "--log",  logPath,
                                          "--mode", mode,
                                          "--port", std::to_string(fixedPort)};
    for (const std::string& r : redirects) {
        arguments.push_back("--redirect");
        arguments.push_back(r);
    }
    if (!alpn.empty()) {
        arguments.push_back("--alpn");
        arguments.push_back(alpn);
    }
    return StartFixtureServer(process, arguments, &port);
}

std::vector<std::string> TlsServer::Requests(const char* path) const {
    return LoggedRequests(logPath, path);
}

std::string TlsServer::Url(const std::string& path, const std::string& host) const {
    return "https://" + host + ":" + std::to_string(port) + path;
}

bool H2Server::Start(const std::string& caFolder, const std::string& folder,
                     const std::string& settings) {
    static int started = 0;
    logPath = folder + "/.h2-requests-" + std::to_string(++started) + ".log";
    WriteWholeFile(logPath, "");
    std::vector<std::string> arguments = {"--cert",  caFolder + "/localhost.pem",
                                          "--key",   caFolder + "/localhost.key",
                                          "--dir",   folder,
                                          "--log",   logPath,
                                          "--settings", settings};
    // Debian's python3, which has python3-h2.
    return StartFixtureServer(process, arguments, &port,
                              {"/usr/bin/python3", FERROW_SOURCE_DIR "/tools/h2_fixture_server.py"});
}

std::string H2Server::Url(const std::string& path) const {
    return "https://localhost:" + std::to_string(port) + path;
}

std::vector<H2Server::Request> H2Server::Log() const {
    std::vector<Request> requests;
    std::istringstream log(ReadWholeFile(logPath));
    std::string line;
    while (std::getline(log, line)) {
        Request r;
        r.stream = NumberField(line, "stream");
        if (r.stream < 0) continue;
        r.conn = NumberField(line, "conn");
        r.open = NumberField(line, "open");
        r.refused = line.find("\"refused\": true") != std::string::npos;
        r.raw = RawOf(line, &r.path);
        requests.push_back(r);
    }
    return requests;
}

std::vector<std::string> H2Server::Requests(const char* path) const {
    std::vector<std::string> raws;
    for (const Request& r : Log())
        if (!path || r.path == path) raws.push_back(r.raw);
    return raws;
}

int H2Server::Connections() const {
    std::istringstream log(ReadWholeFile(logPath));
    int n = 0;
    std::string line;
    while (std::getline(log, line)) n += line.find("\"alpn\": ") != std::string::npos;
    return n;
}

std::vector<std::string> H2Server::Errors() const {
    std::vector<std::string> errors;
    std::istringstream log(ReadWholeFile(logPath));
    std::string line;
    while (std::getline(log, line))
        if (line.find("\"error\": ") != std::string::npos ||
            line.find("\"crash\": ") != std::string::npos)
            errors.push_back(line);
    return errors;
}

bool MakeTestAuthority(const std::string& folder) {
    std::string command = "bash " FERROW_SOURCE_DIR "/tools/tls-test-ca.sh '" + folder + "'";
    return system(command.c_str()) == 0;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7f) {  // the server sends each character as one byte
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else out += (char)c;
    }
    return out + "\"";
}
