// Starts dde_browser_stub.exe as a separate process and stops it again.
#pragma once
#include <windows.h>

#include <string>

class StubBrowser {
public:
    // Offers service with the given address; rawLength > 0 answers that many
    // unterminated bytes instead. Started() tells whether it came up.
    StubBrowser(const char* service, const char* address, int rawLength = 0);
    ~StubBrowser();
    bool Started() const { return started_; }

private:
    HANDLE ready_ = nullptr, stop_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};
