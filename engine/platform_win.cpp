#include "engine/platform.h"

#include <windows.h>
#include <imagehlp.h>

#include "text/text.h"

FileHandle FileCreate(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : (FileHandle)h;
}

int FileWrite(FileHandle file, const void* data, size_t len) {
    const char* p = (const char*)data;
    while (len > 0) {
        DWORD step = len > 0x40000000 ? 0x40000000 : (DWORD)len;
        DWORD written = 0;
        if (!WriteFile((HANDLE)file, p, step, &written, nullptr) || written == 0) return 0;
        p += written;
        len -= written;
    }
    return 1;
}

void FileClose(FileHandle file) {
    if (file != kNoFile) CloseHandle((HANDLE)file);
}

FileHandle FileOpenPart(const char* path, bool append) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, append ? OPEN_EXISTING : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNoFile;
    if (append && SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        CloseHandle(h);
        return kNoFile;
    }
    return (FileHandle)h;
}

int FileFinishPart(const char* part, const char* target) {
    if (!MoveFileExA(part, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(target, attributes & ~(DWORD)FILE_ATTRIBUTE_HIDDEN);
    return 1;
}

int FileWriteNew(const char* path, const void* data, size_t len) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int written = FileWrite((FileHandle)h, data, len);
    CloseHandle(h);
    if (!written) DeleteFileA(path);
    return written;
}

int FileDelete(const char* path) { return DeleteFileA(path) ? 1 : 0; }

long long FileSizeOf(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

int MakeFolders(const char* path) { return MakeSureDirectoryPathExists(path) ? 1 : 0; }

uint32_t TickCount() { return GetTickCount(); }

int64_t UnixTime() {
    // File time counts 100 ns steps from 1601-01-01, 11644473600 s before 1970.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return (int64_t)(ticks / 10000000ULL) - 11644473600LL;
}

void DebugOutput(const char* line) { OutputDebugStringA(line); }
