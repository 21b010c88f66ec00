#include "engine/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <string>

// Paths reach us in the program's form (backslashes); POSIX wants slashes.
static std::string NativePath(const char* path) {
    std::string s(path ? path : "");
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

FileHandle FileCreate(const char* path) {
    int fd = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return fd < 0 ? kNoFile : (FileHandle)fd;
}

int FileWrite(FileHandle file, const void* data, size_t len) {
    const char* p = (const char*)data;
    while (len > 0) {
        ssize_t n = write((int)file, p, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        p += n;
        len -= (size_t)n;
    }
    return 1;
}

void FileClose(FileHandle file) {
    if (file != kNoFile) close((int)file);
}

// Part files are named with a leading dot, which hides them here.
FileHandle FileOpenPart(const char* path, bool append) {
    int flags = O_WRONLY | (append ? O_APPEND : O_CREAT | O_TRUNC);
    int fd = open(NativePath(path).c_str(), flags, 0644);
    return fd < 0 ? kNoFile : (FileHandle)fd;
}

int FileFinishPart(const char* part, const char* target) {
    return rename(NativePath(part).c_str(), NativePath(target).c_str()) == 0 ? 1 : 0;
}

int FileWriteNew(const char* path, const void* data, size_t len) {
    std::string native = NativePath(path);
    int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return 0;
    int written = FileWrite((FileHandle)fd, data, len);
    if (close(fd) != 0) written = 0;
    if (!written) unlink(native.c_str());
    return written;
}

int FileDelete(const char* path) { return unlink(NativePath(path).c_str()) == 0 ? 1 : 0; }

long long FileSizeOf(const char* path) {
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (long long)st.st_size;
}

int MakeFolders(const char* path) {
    std::string p = NativePath(path);
    size_t last = p.rfind('/');
    if (last == std::string::npos) return 1;
    for (size_t i = 1; i <= last; i++) {
        if (p[i] != '/' && i != last) continue;
        std::string part = p.substr(0, i == last ? last : i);
        if (part.empty()) continue;
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    }
    return 1;
}

// Tests move time forward without waiting.
static uint32_t TickSkew = 0;
void AdvanceTickCountForTests(uint32_t ms) { TickSkew += ms; }

uint32_t TickCount() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000) + TickSkew;
}

int64_t UnixTime() {
    return (int64_t)time(nullptr);
}

void DebugOutput(const char* line) {
    if (getenv("FERROW_TRACE")) fputs(line, stderr);
}
