#include "settings/whole_file.h"

#include <windows.h>

#include <cstring>

#include "text/text.h"

WholeFileRead LoadWholeFile(const char* path, std::string* out) {
    out->clear();
    // Others may go on reading, writing or renaming it meanwhile; a writer
    // that shares nothing (a lock) makes the open fail.
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WholeFileMissing
                                                                              : WholeFileFailed;
    }
    WholeFileRead result = WholeFileLoaded;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            result = WholeFileFailed;
            break;
        }
        if (got == 0) break;
        if (out->size() + got > kWholeFileLimit) {
            result = WholeFileFailed;
            break;
        }
        out->append(chunk, got);
    }
    CloseHandle(file);
    if (result != WholeFileLoaded) out->clear();
    return result;
}

static bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD step = size > 0x10000000 ? 0x10000000 : (DWORD)size;
        DWORD written = 0;
        if (!WriteFile(file, data, step, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

int ReplaceWholeFile(const char* path, const char* data, size_t size) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    char temp[MAX_PATH + 8];
    FormatText(temp, sizeof temp, "%s.tmp", path);
    if (strlen(temp) != strlen(path) + 4) return 0; // a cut name is another file
    HANDLE file =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    bool ok = WriteAll(file, data, size) && FlushFileBuffers(file);
    if (!CloseHandle(file)) ok = false;
    if (ok) ok = MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileA(temp);
    return ok ? 1 : 0;
}
