// From a started request to a sent HTTP/1.0 request: address, socket,
// look-up, connect, send.
#include <cstring>

#include "engine/engine.h"
#include "engine/http.h"
#include "engine/net.h"
#include "engine/report.h"
#include "settings/options.h"
#include "text/text.h"

bool StartJob(const JobRequest& request) {
    Job* job = AddActiveJob(request);
    job->lastActivity = TickCount();
    EscapeSpaces(request.address, job->address, sizeof job->address);
    LocalNameOf(job->address, job->localName, sizeof job->localName);
    SplitAddress(job->address, job->host, sizeof job->host, &job->port, job->path,
                 sizeof job->path);
    job->socket = NetCreateSocket();
    if (job->socket == kNoSocket) {
        Trace("Error:Socketの作成に失敗しました。");
        EndJob(job);
        return false;
    }
    const char* name = Options.ProxyFlag == 1 ? Options.Proxy : job->host;
    job->lookup = NetStartLookup(name, job->hostEntry, sizeof job->hostEntry);
    if (job->lookup == kNoLookup) {
        Trace("サーバのIPアドレスの取得に失敗しました。");
        EndJob(job);
        return false;
    }
    job->lastActivity = TickCount();
    Trace("接続:%s", job->address);
    return true;
}

void OnHostResolved(LookupHandle lookup, int error) {
    EngineEventScope scope;
    Job* job = FindJobByLookup(lookup);
    if (!job) return;  // the job ended meanwhile
    job->lookup = kNoLookup;
    uint32_t address = 0;
    if (error != 0 || !NetLookupAddress(job->hostEntry, &address)) {
        Trace("サーバのIPアドレスの取得に失敗しました。");
        EndJob(job);
        return;
    }
    if (!NetSelectEvents(job->socket)) {
        Trace("Socketイベントを通知させる設定に失敗しました。");
        EndJob(job);
        return;
    }
    uint16_t port = Options.ProxyFlag == 1 ? (uint16_t)Options.ProxyPort : job->port;
    if (!NetConnect(job->socket, address, port)) {
        Trace("サーバへの接続に失敗しました。");
        EndJob(job);
    }
}

void SendRequest(Job* job) {
    // A failed connection shows up here as a failed send.
    char request[kRequestSize];
    int len = BuildRequest(request, sizeof request, job->kind == KindHead, job->path, job->host,
                           Options.ProxyFlag == 1 ? job->address : nullptr);
    if (NetSend(job->socket, request, len) != len) {
        Trace("error send:%d:%s\n", NetLastError(), job->address);
        if (job->top == 1) SetCaption("サーバーがみつかりません - Ferrow");
        EndJob(job);
        return;
    }
    job->size = -1;
    job->chunks = 0;
    job->received = 0;
    job->requestSent = 1;
}
