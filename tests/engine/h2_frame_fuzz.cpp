// libFuzzer target for the HTTP/2 session: arbitrary server bytes after a
// few requests, fed whole and in pieces whose lengths the input names. What
// each stream reports follows its life (a head, then data, then one end, or
// one failure; nothing after), the bounds hold, a broken connection has
// failed every stream, and the pieces come to the same reports as the whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "engine/h2_session.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "h2_frame_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

namespace {

enum Life { Started, Headed, Ended };

struct Run {
    H2Session* session;
    std::map<int32_t, Life> streams;
    std::string log;
    bool drain; // sends the output between pieces
};

const H2Request kRequest = {"GET", "https", "example.com", "/file.bin", nullptr, 0};

void Start(Run* run) {
    if (!H2CanOpen(run->session)) return;
    int32_t id = H2StartRequest(run->session, kRequest);
    Check(id > 0 && id % 2 == 1 && run->streams.count(id) == 0);
    run->streams[id] = Started;
}

void OnHead(void* context, int32_t stream, int status, const H2Header* fields, int count,
            bool endStream) {
    Run* run = (Run*)context;
    Check(run->streams.count(stream) && run->streams[stream] == Started);
    Check(status >= 200 && status <= 599 && count >= 0 && count <= kH2MaxHeaders);
    for (int i = 0; i < count; i++)
        Check(fields[i].nameLength > 0 && fields[i].name[0] != ':');
    run->streams[stream] = endStream ? Ended : Headed;
    run->log +=
        "h" + std::to_string(stream) + ":" + std::to_string(status) + (endStream ? "e" : "");
    // A new request from inside a report, as the engine's next job would.
    if (endStream) Start(run);
}

bool OnData(void* context, int32_t stream, const char* bytes, int n, bool endStream) {
    Run* run = (Run*)context;
    Check(run->streams.count(stream) && run->streams[stream] == Headed);
    Check(n >= 0 && n <= (int)kH2MaxFrameSize && (n > 0 || endStream));
    run->log += "d" + std::to_string(stream) + ":" + std::string(bytes, (size_t)n);
    if (endStream) {
        run->streams[stream] = Ended;
        Start(run);
        return true;
    }
    // A receiver that gives up on a body starting with '!'.
    if (n > 0 && bytes[0] == '!') {
        run->streams[stream] = Ended;
        return false;
    }
    return true;
}

void OnFailed(void* context, int32_t stream, uint32_t error, bool refused) {
    Run* run = (Run*)context;
    Check(run->streams.count(stream) && run->streams[stream] != Ended);
    run->streams[stream] = Ended;
    run->log += "f" + std::to_string(stream) + ":" + std::to_string(error) + (refused ? "r" : "");
}

std::string Feed(const uint8_t* data, size_t size, const uint8_t* cut, size_t cuts, bool drain) {
    Run run = {};
    run.drain = drain;
    run.session = H2Open({&run, OnHead, OnData, OnFailed});
    Check(run.session != nullptr);
    for (int i = 0; i < 3; i++)
        Start(&run);
    bool ok = true;
    for (size_t p = 0, k = 0; p < size && ok; k++) {
        size_t n = cuts ? (size_t)cut[k % cuts] + 1 : size;
        if (n > size - p) n = size - p;
        ok = H2Feed(run.session, (const char*)data + p, n);
        p += n;
        size_t pending = 0;
        H2Output(run.session, &pending);
        Check(pending <= kH2OutputLimit);
        // A server may lower its limit below the streams already open.
        Check(H2OpenStreams(run.session) <= kH2MaxStreams);
        if (H2OpenStreams(run.session) >= H2StreamLimit(run.session)) {
            Check(!H2CanOpen(run.session));
        }
        if (drain) H2OutputSent(run.session, pending);
    }
    int open = 0;
    for (const auto& s : run.streams)
        open += s.second != Ended;
    Check(open == H2OpenStreams(run.session));
    Check(ok == (H2Failure(run.session) == H2NoError));
    if (!ok) {
        Check(open == 0 && !H2CanOpen(run.session));
        Check(!H2Feed(run.session, "x", 1));
        // The output ends with the GOAWAY that tells why, unless sent.
        size_t pending = 0;
        const char* out = H2Output(run.session, &pending);
        if (!drain) Check(pending >= 17 && out[pending - 17 + 3] == 0x7);
        if (!drain) Check((uint8_t)out[pending - 1] == (uint8_t)H2Failure(run.session));
    }
    run.log += "!" + std::to_string(H2Failure(run.session));
    H2Close(run.session);
    return run.log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte says how many cut lengths follow.
    size_t cuts = size ? data[0] % 8 : 0;
    if (size < 1 + cuts) return 0;
    const uint8_t* cut = data + 1;
    const uint8_t* stream = data + 1 + cuts;
    size_t n = size - 1 - cuts;
    std::string whole = Feed(stream, n, nullptr, 0, false);
    static const uint8_t kOne = 0;
    Check(Feed(stream, n, &kOne, 1, false) == whole);
    Check(Feed(stream, n, cut, cuts, false) == whole);
    Feed(stream, n, cut, cuts, true);
    return 0;
}
