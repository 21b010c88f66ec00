// FerrowHost.exe: the browser starts it for each message of the extension,
// with the extension's origin among its arguments. It reads one framed
// message from standard input, checks it, writes the page snapshot into the
// user's temporary folder, hands the file to the running Ferrow (or starts
// Ferrow.exe from its own folder with it) and answers one framed reply. It
// never waits for the analysis: Ferrow reads the file after the hand-over.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "engine/host_message.h"
#include "engine/platform.h"
#include "engine/snapshot.h"
#include "text/text.h"

namespace {

// Standard input in pieces: a pipe hands over at most what it holds.
bool ReadExactly(HANDLE in, char* out, size_t n) {
    size_t have = 0;
    while (have < n) {
        DWORD piece = n - have > (1u << 20) ? (1u << 20) : (DWORD)(n - have), got = 0;
        if (!ReadFile(in, out + have, piece, &got, nullptr) || got == 0) return false;
        have += got;
    }
    return true;
}

int Reply(const char* error) {
    std::string framed = FrameHostReply(error);
    FileWrite((FileHandle)GetStdHandle(STD_OUTPUT_HANDLE), framed.data(), framed.size());
    return error ? 1 : 0;
}

// A descriptor that lets the current user alone at the file, whoever else
// can see the temporary folder; nullptr when it cannot be made (the folder
// is the user's own anyway).
PSECURITY_DESCRIPTOR UserOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    char buffer[256];
    DWORD size = 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidA(((TOKEN_USER*)buffer)->User.Sid, &sid)) {
        char sddl[256];
        FormatText(sddl, sizeof sddl, "D:P(A;;FA;;;%s)", sid);
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                  &descriptor, nullptr))
            descriptor = nullptr;
        LocalFree(sid);
    }
    CloseHandle(token);
    return descriptor;
}

// Writes the snapshot to a new file of the temporary folder; its path into
// pathOut. A name already there is passed by, never opened.
bool WriteSnapshotFile(const std::string& bytes, char* pathOut, size_t size) {
    char folder[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, UserOnlyDescriptor(), FALSE};
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; attempt++) {
        FormatText(pathOut, size, "%s%s%lu-%lu-%d.txt", folder, kSnapshotFilePrefix,
                   GetCurrentProcessId(), GetTickCount(), attempt);
        file = CreateFileA(pathOut, GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (attributes.lpSecurityDescriptor) LocalFree(attributes.lpSecurityDescriptor);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = FileWrite((FileHandle)file, bytes.data(), bytes.size()) == 1;
    CloseHandle(file);
    if (!written) DeleteFileA(pathOut);
    return written;
}

// The running program takes the path and answers TRUE at once; it reads the
// file after this call returned.
bool SendToRunningFerrow(const char* path) {
    HWND window = FindWindowA("FerrowClass", nullptr);
    if (!window) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId) AllowSetForegroundWindow(processId);
    COPYDATASTRUCT data = {};
    data.dwData = kSnapshotCopyDataKind;
    data.cbData = (DWORD)(strlen(path) + 1);
    data.lpData = (void*)path;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_COPYDATA, 0, (LPARAM)&data, SMTO_ABORTIFHUNG, 10000,
                               &answer) &&
           answer == TRUE;
}

bool StartFerrow(const char* path) {
    char program[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
    if (n == 0 || n >= sizeof program) return false;
    char* slash = strrchr(program, '\\');
    if (!slash || (size_t)(slash + 1 - program) + sizeof "Ferrow.exe" > sizeof program)
        return false;
    CopyText(slash + 1, sizeof program - (size_t)(slash + 1 - program), "Ferrow.exe");
    char commandLine[3 * MAX_PATH];
    FormatText(commandLine, sizeof commandLine, "\"%s\" %s \"%s\"", program, kSnapshotSwitch, path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

int main() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    unsigned char prefix[4];
    uint32_t length = 0;
    if (!ReadExactly(in, (char*)prefix, sizeof prefix))
        return Reply(MessageFaultText(MessageBadLength));
    MessageFault fault = ReadMessageLength(prefix, &length);
    if (fault != MessageOk) return Reply(MessageFaultText(fault));
    std::string json(length, '\0');
    if (!ReadExactly(in, &json[0], length)) return Reply(MessageFaultText(MessageShort));
    static Snapshot snapshot; // 5 KB of fixed fields: kept off the stack
    fault = ReadHostMessage(json.data(), json.size(), &snapshot);
    if (fault != MessageOk) return Reply(MessageFaultText(fault));
    json = std::string();
    char path[MAX_PATH];
    if (!WriteSnapshotFile(WriteSnapshot(snapshot), path, sizeof path))
        return Reply("the snapshot file could not be written to the temporary folder");
    if (SendToRunningFerrow(path) || StartFerrow(path)) return Reply(nullptr);
    DeleteFileA(path);
    return Reply("Ferrow.exe could not be started beside FerrowHost.exe");
}
