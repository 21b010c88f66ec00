// libFuzzer target for what a TLS layer hands up: the same response arrives
// in pieces cut where records end (any length up to a record's 16 KiB), and
// reception must come to exactly what it makes of the response in one
// piece. The same bytes, read as ciphertext, must be followed alike by the
// record scan however they are cut.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "text/text.h"
#include "engine/tls.h"
#include "settings/options.h"
#include "tests/support/recorder.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "tls_stream_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

namespace {

struct Outcome {
    bool alive = false;
    int status = 0;
    int32_t size = 0;
    int32_t received = 0;
    std::string data;
    size_t fetches = 0;
    std::vector<std::string> log;
    bool operator==(const Outcome& o) const {
        return alive == o.alive && status == o.status && size == o.size && received == o.received &&
               data == o.data && fetches == o.fetches && log == o.log;
    }
};

// Reception of a fetched file (kept in memory) over pieces of the given
// lengths; what is left after them comes as one more piece.
Outcome Receive(const uint8_t* bytes, size_t n, const std::vector<size_t>& pieces) {
    OnStopAll();
    ClearReports();
    Job* job = AddActiveJob(MakeRequest(KindFetch, -1, 0, "https://host/dir/a.jpg"));
    CopyText(job->address, sizeof job->address, "https://host/dir/a.jpg");
    CopyText(job->localName, sizeof job->localName, "a.jpg");
    job->phase = PhaseResponse;
    Outcome out;
    out.alive = true;
    size_t at = 0;
    for (size_t i = 0; out.alive && at < n; i++) {
        size_t piece = i < pieces.size() ? pieces[i] : n - at;
        if (piece > n - at) piece = n - at;
        out.alive = ReceiveBytes(job, (const char*)bytes + at, (int)piece) == ReceiveMore;
        at += piece;
    }
    if (out.alive) {
        out.status = job->status;
        out.size = job->size;
        out.received = job->received;
        if (job->data) out.data.assign(job->data, (size_t)job->received);
        EndJob(job);
    }
    out.fetches = Engine.FetchSlot.size();
    out.log = Reports.log;
    OnStopAll();
    return out;
}

// The record scan over the same cuts; returns broken/boundary as bits.
int Scan(const uint8_t* bytes, size_t n, const std::vector<size_t>& pieces) {
    TlsRecordScan scan = {};
    size_t at = 0;
    bool ok = true;
    for (size_t i = 0; at < n; i++) {
        size_t piece = i < pieces.size() ? pieces[i] : n - at;
        if (piece > n - at) piece = n - at;
        ok = TlsScanBytes(&scan, bytes + at, piece) && ok;
        at += piece;
    }
    Check(ok == !scan.broken);
    return (scan.broken ? 1 : 0) | (TlsScanAtBoundary(&scan) ? 2 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    memset(&Options, 0, sizeof Options);
    // The first byte says how many record lengths follow (two bytes each).
    size_t count = data[0] % 16;
    size_t at = 1;
    std::vector<size_t> pieces;
    for (size_t i = 0; i < count && at + 1 < size; i++, at += 2)
        pieces.push_back(((size_t)data[at] << 8 | data[at + 1]) % (size_t)kTlsMaxRecordBody + 1);
    const uint8_t* response = data + at;
    size_t n = size - at;

    const Outcome whole = Receive(response, n, {});
    const int scanned = Scan(response, n, {});
    Check(Receive(response, n, pieces) == whole);
    Check(Scan(response, n, pieces) == scanned);
    // Short responses: cut in two at every length, and byte by byte.
    if (n <= 1024) {
        for (size_t cut = 1; cut < n; cut++) {
            Check(Receive(response, n, {cut}) == whole);
            Check(Scan(response, n, {cut}) == scanned);
        }
        Check(Receive(response, n, std::vector<size_t>(n, 1)) == whole);
    }
    return 0;
}
