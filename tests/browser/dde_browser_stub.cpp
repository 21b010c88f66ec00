// A stand-in browser for the DDE tests: offers the service named on its
// command line with the topic "WWW_GetWindowInfo" and answers the request
// for item "0xFFFFFFFF" with a quoted reply, as the browsers do.
//
//   dde_browser_stub SERVICE READY_EVENT STOP_EVENT ADDRESS [raw:N]
//
// The reply is "ADDRESS","SERVICE page","0" with its terminator; raw:N
// answers N bytes of 'x' with no terminator at all instead. READY_EVENT is
// set once the service is registered; the stub quits when STOP_EVENT is set
// or after two minutes, whichever comes first. For scripts, "file:PATH" in
// place of an event name means a file: made when ready, or waited for.
#include <windows.h>
#include <ddeml.h>

#include <cstdlib>
#include <string>

namespace {

DWORD instance = 0;
std::string reply;

HDDEDATA CALLBACK OnDdeEvent(UINT type, UINT format, HCONV, HSZ topic, HSZ item, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    char name[64] = {};
    switch (type) {
    case XTYP_CONNECT:
        DdeQueryStringA(instance, topic, name, sizeof name, CP_WINANSI);
        return (HDDEDATA)(ULONG_PTR)(lstrcmpiA(name, "WWW_GetWindowInfo") == 0);
    case XTYP_REQUEST:
        DdeQueryStringA(instance, item, name, sizeof name, CP_WINANSI);
        if (format != CF_TEXT || lstrcmpiA(name, "0xFFFFFFFF") != 0) return nullptr;
        return DdeCreateDataHandle(instance, (LPBYTE)reply.data(), (DWORD)reply.size(), 0, item, CF_TEXT, 0);
    default:
        return nullptr;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    std::string service = argv[1];
    if (argc > 5 && strncmp(argv[5], "raw:", 4) == 0)
        reply.assign((size_t)atoi(argv[5] + 4), 'x');
    else
        reply = "\"" + std::string(argv[4]) + "\",\"" + service + " page\",\"0\"" + std::string(1, '\0');
    const char* readyFile = strncmp(argv[2], "file:", 5) == 0 ? argv[2] + 5 : nullptr;
    const char* stopFile = strncmp(argv[3], "file:", 5) == 0 ? argv[3] + 5 : nullptr;
    HANDLE ready = readyFile ? nullptr : OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    // Without a stop event, an event nobody sets keeps the wait below alike.
    HANDLE stop = stopFile ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if ((!readyFile && !ready) || !stop) return 3;
    if (DdeInitializeA(&instance, OnDdeEvent, APPCLASS_STANDARD | CBF_FAIL_POKES | CBF_FAIL_EXECUTES | CBF_SKIP_ALLNOTIFICATIONS,
                       0) != DMLERR_NO_ERROR)
        return 4;
    HSZ serviceName = DdeCreateStringHandleA(instance, service.c_str(), CP_WINANSI);
    if (!DdeNameService(instance, serviceName, nullptr, DNS_REGISTER)) return 5;
    if (readyFile) CloseHandle(CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    else SetEvent(ready);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = MsgWaitForMultipleObjects(1, &stop, FALSE, 200, QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0 || GetTickCount() - start > 120000) break;
        if (stopFile && GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES) break;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    DdeNameService(instance, serviceName, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(instance, serviceName);
    DdeUninitialize(instance);
    return 0;
}
