#include "app/snapshot_file_win.h"

#include <windows.h>

#include <string>

#include "app/main_state_win.h"
#include "engine/report.h"
#include "engine/requests.h"
#include "engine/snapshot.h"
#include "text/address.h"
#include "text/nocase.h"
#include "text/text.h"

bool IsHandedSnapshotPath(const char* path) {
    char folder[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || strlen(path) >= MAX_PATH) return false;
    if (StrNCmpI(path, folder, (int)n) != 0) return false;
    const char* name = path + n;
    const size_t prefix = sizeof kSnapshotFilePrefix - 1;
    if (strncmp(name, kSnapshotFilePrefix, prefix) != 0) return false;
    for (const char* p = name; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') return false;
    return true;
}

bool SnapshotPathOfCommandLine(const char* commandLine, char* pathOut, size_t size) {
    const size_t n = sizeof kSnapshotSwitch - 1;
    while (*commandLine == ' ')
        commandLine++;
    if (StrNCmpI(commandLine, kSnapshotSwitch, (int)n) != 0 || commandLine[n] != ' ') return false;
    const char* p = commandLine + n;
    while (*p == ' ')
        p++;
    const char* end = p + strlen(p);
    if (*p == '"') {
        p++;
        const char* quote = strchr(p, '"');
        if (quote) end = quote;
    }
    while (end > p && end[-1] == ' ')
        end--;
    return end > p && CopyPiece(pathOut, size, p, (size_t)(end - p));
}

// Reads the whole file, at most kSnapshotMaxBytes, and deletes it.
static bool TakeFile(const char* path, std::string* out) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
              (unsigned long long)size.QuadPart <= kSnapshotMaxBytes;
    if (ok) {
        out->resize((size_t)size.QuadPart);
        size_t have = 0;
        while (ok && have < out->size()) {
            DWORD piece =
                out->size() - have > (1u << 20) ? (1u << 20) : (DWORD)(out->size() - have);
            DWORD got = 0;
            ok = ReadFile(file, &(*out)[have], piece, &got, nullptr) && got > 0;
            have += got;
        }
    }
    CloseHandle(file);
    DeleteFileA(path);
    return ok;
}

void AnalyseSnapshotFile(const char* path) {
    std::string bytes;
    if (!TakeFile(path, &bytes)) {
        LogAppend("err:ブラウザから受け取ったページを読めませんでした");
        return;
    }
    static Snapshot snapshot; // its fixed fields are 5 KB: kept off the stack
    SnapshotFault fault = ReadSnapshot(bytes.data(), bytes.size(), &snapshot);
    if (fault != SnapshotOk) {
        LogAppend("err:ブラウザから受け取ったページを読めませんでした (%s)",
                  SnapshotFaultText(fault));
        return;
    }
    if (AddressFits(snapshot.address)) SetWindowTextA(MainWindow.urlEdit, snapshot.address);
    AnalyseSnapshot(snapshot);
    snapshot = Snapshot();
}
