#include "tests/browser/dde_stub_runner.h"

#include <vector>

#include "tests/browser/registry_support.h"

StubBrowser::StubBrowser(const char* service, const char* address, int rawLength) {
    static int serial = 0;
    std::string tag = "FerrowDdeStub" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(serial++);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, (tag + "_ready").c_str());
    stop_ = CreateEventA(nullptr, TRUE, FALSE, (tag + "_stop").c_str());
    std::string command = "\"" + ProgramFolderA() + "dde_browser_stub.exe\" " + service + " " + tag + "_ready " + tag +
                          "_stop " + address;
    if (rawLength > 0) command += " raw:" + std::to_string(rawLength);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    HANDLE waits[] = {ready_, process_.hProcess};
    started_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

StubBrowser::~StubBrowser() {
    if (process_.hProcess) {
        SetEvent(stop_);
        if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    CloseHandle(ready_);
    CloseHandle(stop_);
}
