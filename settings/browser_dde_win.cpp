// The address of the page shown in a running browser, asked for over DDE
// with the browsers' common "WWW_GetWindowInfo" topic.
#include <windows.h>
#include <ddeml.h>

#include <cstring>

#include "settings/browser_reply.h"
#include "settings/browser_win.h"

namespace {

const char kTopic[] = "WWW_GetWindowInfo";
// The protocol's name for the browser's most recently active window.
const char kItem[] = "0xFFFFFFFF";
const DWORD kRequestTimeoutMs = 10000;

HDDEDATA CALLBACK IgnoreDdeEvents(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return 0; }

// Copies the field that starts at from and ends at the next quote. Returns
// the position of that quote, or null when the field is unterminated.
const char* TakeField(const char* from, char* out, size_t size) {
    const char* end = strchr(from, '"');
    if (!end) return nullptr;
    if (out && size > 0) {
        size_t length = (size_t)(end - from);
        if (length > size - 1) length = size - 1;
        memcpy(out, from, length);
        out[length] = '\0';
    }
    return end;
}

// The next field starts three bytes after the previous closing quote (past
// the quote, the comma and the opening quote), if the reply goes on that far.
const char* NextFieldStart(const char* closingQuote) {
    const char* p = closingQuote;
    for (int i = 0; i < 3; i++) {
        if (!*p) return nullptr;
        p++;
    }
    return p;
}

}  // namespace

void SplitQuotedReply(const char* reply, char* addressOut, size_t addressSize, char* titleOut, size_t titleSize,
                      char* thirdOut, size_t thirdSize) {
    if (!reply || !reply[0]) return;
    const char* end = TakeField(reply + 1, addressOut, addressSize);
    const char* next = end ? NextFieldStart(end) : nullptr;
    end = next ? TakeField(next, titleOut, titleSize) : nullptr;
    next = end ? NextFieldStart(end) : nullptr;
    if (next) TakeField(next, thirdOut, thirdSize);
}

int GetBrowserUrlByDde(const char* service, char* reply, int size) {
    DWORD instance = 0;
    HCONV conversation = nullptr;
    HSZ item = nullptr;
    HDDEDATA data = nullptr;
    int answered = 0;
    if (reply && size > 0) reply[0] = '\0';
    if (DdeInitializeA(&instance, IgnoreDdeEvents, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) != DMLERR_NO_ERROR) {
        MessageBoxA(nullptr, "DDEの初期化に失敗しました。", "ブラウザ情報の取得", MB_OK | MB_ICONWARNING);
        return 0;
    }
    HSZ serviceName = DdeCreateStringHandleA(instance, service, CP_WINANSI);
    HSZ topicName = DdeCreateStringHandleA(instance, kTopic, CP_WINANSI);
    if (serviceName && topicName) conversation = DdeConnect(instance, serviceName, topicName, nullptr);
    if (serviceName) DdeFreeStringHandle(instance, serviceName);
    if (topicName) DdeFreeStringHandle(instance, topicName);
    if (!conversation) goto done;

    item = DdeCreateStringHandleA(instance, kItem, 0);
    if (item) data = DdeClientTransaction(nullptr, 0, conversation, item, CF_TEXT, XTYP_REQUEST, kRequestTimeoutMs, nullptr);
    if (item) DdeFreeStringHandle(instance, item);
    if (data) {
        // The browser's text need not be terminated nor fit: take what fits
        // and always end it ourselves.
        if (reply && size > 0) {
            DWORD copied = DdeGetData(data, (LPBYTE)reply, (DWORD)(size - 1), 0);
            reply[copied < (DWORD)size ? copied : (DWORD)size - 1] = '\0';
        }
        DdeFreeDataHandle(data);
        answered = 1;
    }
    DdeDisconnect(conversation);
done:
    DdeUninitialize(instance);
    return answered;
}
