#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/text.h"

WholeFileRead LoadWholeFile(const char* path, std::string* out) {
    out->clear();
    int fd = open(path, O_RDONLY);
    if (fd < 0) return errno == ENOENT ? WholeFileMissing : WholeFileFailed;
    char chunk[4096];
    WholeFileRead result = WholeFileLoaded;
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0 || out->size() + (size_t)n > kWholeFileLimit) {
            result = WholeFileFailed;
            break;
        }
        out->append(chunk, (size_t)n);
    }
    close(fd);
    if (result != WholeFileLoaded) out->clear();
    return result;
}

static bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

int ReplaceWholeFile(const char* path, const char* data, size_t size) {
    struct stat old;
    const bool exists = stat(path, &old) == 0;
    // No write bit for anyone is this system's read-only mark, which the
    // Windows partner honours too.
    if (exists && (old.st_mode & 0222) == 0) return 0;
    char temp[300];
    FormatText(temp, sizeof temp, "%s.tmp", path);
    if (strlen(temp) != strlen(path) + 4) return 0; // a cut name is another file
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC, exists ? (old.st_mode & 0777) : 0666);
    if (fd < 0) return 0;
    bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temp, path) == 0;
    if (!ok) unlink(temp);
    return ok ? 1 : 0;
}
