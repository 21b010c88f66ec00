#include "engine/h2_session.h"

#include <cstdlib>
#include <cstring>

#include "engine/hpack.h"

namespace {

enum FrameType : uint8_t {
    FrameData = 0x0,
    FrameHeaders = 0x1,
    FramePriority = 0x2,
    FrameRstStream = 0x3,
    FrameSettings = 0x4,
    FramePushPromise = 0x5,
    FramePing = 0x6,
    FrameGoAway = 0x7,
    FrameWindowUpdate = 0x8,
    FrameContinuation = 0x9,
};

constexpr uint8_t kFlagEndStream = 0x1;
constexpr uint8_t kFlagAck = 0x1;
constexpr uint8_t kFlagEndHeaders = 0x4;
constexpr uint8_t kFlagPadded = 0x8;
constexpr uint8_t kFlagPriority = 0x20;

enum SettingId : uint16_t {
    SettingHeaderTableSize = 0x1,
    SettingEnablePush = 0x2,
    SettingMaxConcurrentStreams = 0x3,
    SettingInitialWindowSize = 0x4,
    SettingMaxFrameSize = 0x5,
    SettingMaxHeaderListSize = 0x6,
};

constexpr size_t kFrameHeader = 9;
constexpr size_t kGoAwayFrame = kFrameHeader + 8;
constexpr int64_t kMaxWindow = 0x7fffffff;
constexpr uint32_t kDefaultWindow = 65535;
constexpr uint32_t kMinFrameSize = 16384;
constexpr uint32_t kMaxFrameSizeAllowed = 16777215;
constexpr uint32_t kMaxStreamId = 0x7fffffff;
// Requests leave this much of the output to control frames (SETTINGS and
// PING answers, WINDOW_UPDATE, RST_STREAM), which leave the last GOAWAY's.
constexpr size_t kControlRoom = 16 * 1024;
constexpr char kPreface[] = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

} // namespace

struct H2Stream {
    int32_t id;      // 0: a free slot
    int32_t gotHead; // the final head went up; a further HEADERS is the trailer
    int64_t receiveWindow;
    int64_t unacknowledged; // bytes handed up since our last WINDOW_UPDATE
    int64_t sendWindow;     // validated only: we send no bodies
};

struct H2Session {
    H2Sink sink;
    H2Error failure;
    int32_t sawSettings; // the server's preface arrived
    int32_t draining;    // GOAWAY received or sent
    uint32_t nextStream; // odd id of the next request
    uint32_t goAwayLast; // streams above it will not be processed
    uint32_t serverMaxStreams;
    uint32_t serverInitialWindow;
    uint32_t serverMaxFrame; // checked only: a request head fits the smallest frame allowed
    int64_t sendWindow;
    int64_t receiveWindow;
    int64_t unacknowledged;
    int32_t openStreams;
    H2Stream streams[kH2MaxStreams];

    // A header block waiting for its CONTINUATION frames.
    uint32_t blockStream; // 0: none
    int32_t blockEndStream;
    size_t blockLength;
    uint8_t block[kH2MaxHeaderListSize];

    size_t inHave; // bytes of the frame being reassembled
    uint8_t in[kFrameHeader + kH2MaxFrameSize];

    size_t outStart, outEnd;
    uint64_t sentTotal;                    // bytes H2OutputSent was told of, ever
    uint64_t pingEnds[kH2MaxPendingPings]; // where queued PING answers end, in sentTotal's count
    int32_t pings;
    char out[kH2OutputLimit];

    HpackDecoder decoder;
    HpackFields fields;
};

namespace {

uint32_t Read32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

void PutFrameHeader(uint8_t* p, uint32_t length, uint8_t type, uint8_t flags, uint32_t stream) {
    p[0] = (uint8_t)(length >> 16);
    p[1] = (uint8_t)(length >> 8);
    p[2] = (uint8_t)length;
    p[3] = type;
    p[4] = flags;
    Put32(p + 5, stream & kMaxStreamId);
}

size_t Pending(const H2Session* s) {
    return s->outEnd - s->outStart;
}

// Room at the output's end for n more bytes while at most limit wait.
uint8_t* Reserve(H2Session* s, size_t n, size_t limit) {
    if (Pending(s) + n > limit) return nullptr;
    if (s->outEnd + n > kH2OutputLimit) {
        memmove(s->out, s->out + s->outStart, Pending(s));
        s->outEnd -= s->outStart;
        s->outStart = 0;
    }
    uint8_t* p = (uint8_t*)s->out + s->outEnd;
    s->outEnd += n;
    return p;
}

void ReportFailed(H2Session* s, H2Stream* st, uint32_t error, bool refused) {
    int32_t id = st->id;
    st->id = 0;
    s->openStreams--;
    if (s->sink.onStreamFailed) s->sink.onStreamFailed(s->sink.context, id, error, refused);
}

// A connection error: the GOAWAY that says why, and every stream lost.
void Fail(H2Session* s, H2Error error) {
    if (s->failure != H2NoError) return;
    s->failure = error;
    s->draining = 1;
    s->blockStream = 0;
    // The last bytes of the output are kept for this frame.
    uint8_t* p = Reserve(s, kGoAwayFrame, kH2OutputLimit);
    if (p) {
        PutFrameHeader(p, 8, FrameGoAway, 0, 0);
        Put32(p + 9, 0); // we take no streams from the server
        Put32(p + 13, error);
    }
    for (H2Stream& st : s->streams) {
        if (st.id != 0) ReportFailed(s, &st, error, false);
    }
}

// A control frame; a server that keeps us answering without reading ends
// the connection instead of growing the output.
uint8_t* ReserveControl(H2Session* s, uint32_t length, uint8_t type, uint8_t flags,
                        uint32_t stream) {
    if (s->failure != H2NoError) return nullptr; // the GOAWAY is the last frame
    uint8_t* p = Reserve(s, kFrameHeader + length, kH2OutputLimit - 2 * kGoAwayFrame);
    if (!p) {
        Fail(s, H2EnhanceYourCalm);
        return nullptr;
    }
    PutFrameHeader(p, length, type, flags, stream);
    return p + kFrameHeader;
}

void QueueWindowUpdate(H2Session* s, uint32_t stream, uint32_t increment) {
    uint8_t* p = ReserveControl(s, 4, FrameWindowUpdate, 0, stream);
    if (p) Put32(p, increment);
}

H2Stream* Find(H2Session* s, uint32_t id) {
    if (id == 0) return nullptr;
    for (H2Stream& st : s->streams) {
        if ((uint32_t)st.id == id) return &st;
    }
    return nullptr;
}

// Even streams would be pushed ones, odd ones past our last are not open yet.
bool IsIdle(const H2Session* s, uint32_t id) {
    return id % 2 == 0 || id >= s->nextStream;
}

// Frees the slot and resets the stream without telling the sink.
void Reset(H2Session* s, H2Stream* st, H2Error error) {
    uint32_t id = (uint32_t)st->id;
    st->id = 0;
    s->openStreams--;
    uint8_t* p = ReserveControl(s, 4, FrameRstStream, 0, id);
    if (p) Put32(p, error);
}

void StreamError(H2Session* s, H2Stream* st, H2Error error) {
    int32_t id = st->id;
    Reset(s, st, error);
    if (s->sink.onStreamFailed) {
        s->sink.onStreamFailed(s->sink.context, id, error, false);
    }
}

// Bytes the sink took give the window back once half of it is used, so a
// fast link never waits for an update.
void ConsumeConnection(H2Session* s, uint32_t n) {
    s->unacknowledged += n;
    if (s->unacknowledged < kH2ConnectionWindow / 2) return;
    QueueWindowUpdate(s, 0, (uint32_t)s->unacknowledged);
    s->receiveWindow += s->unacknowledged;
    s->unacknowledged = 0;
}

void ConsumeStream(H2Session* s, H2Stream* st, uint32_t n) {
    st->unacknowledged += n;
    if (st->unacknowledged < kH2StreamWindow / 2) return;
    uint32_t increment = (uint32_t)st->unacknowledged;
    st->receiveWindow += st->unacknowledged;
    st->unacknowledged = 0;
    QueueWindowUpdate(s, (uint32_t)st->id, increment);
}

// The payload without its padding, or false for a pad length that leaves
// no room.
bool Unpad(const uint8_t* p, size_t length, uint8_t flags, size_t* at, size_t* end) {
    *at = 0;
    *end = length;
    if (!(flags & kFlagPadded)) return true;
    if (length < 1 || p[0] > length - 1) return false;
    *at = 1;
    *end = length - p[0];
    return true;
}

bool IsStatus(const H2Header& f) {
    if (f.valueLength != 3) return false;
    for (int i = 0; i < 3; i++) {
        if (f.value[i] < '0' || f.value[i] > '9') return false;
    }
    return f.value[0] >= '1' && f.value[0] <= '5';
}

bool NameIs(const H2Header& f, const char* name) {
    return (size_t)f.nameLength == strlen(name) && memcmp(f.name, name, strlen(name)) == 0;
}

bool IsFieldText(const char* text, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (text[i] == '\r' || text[i] == '\n' || text[i] == '\0') return false;
    }
    return true;
}

// Fields an HTTP/2 answer must not carry: names empty, in upper case or
// specific to an HTTP/1.1 connection, texts with CR, LF or NUL.
bool IsBadField(const H2Header& f) {
    if (f.nameLength == 0 || !IsFieldText(f.name, (size_t)f.nameLength) ||
        !IsFieldText(f.value, (size_t)f.valueLength))
        return true;
    for (int i = 0; i < f.nameLength; i++) {
        if (f.name[i] >= 'A' && f.name[i] <= 'Z') return true;
    }
    static const char* const kConnectionFields[] = {"connection", "keep-alive", "proxy-connection",
                                                    "transfer-encoding", "upgrade"};
    for (const char* name : kConnectionFields) {
        if (NameIs(f, name)) return true;
    }
    return false;
}

// Splits the decoded head: the status (-1 when absent), the regular fields
// moved to the front; false for a malformed head.
bool SplitHead(HpackFields* h, int* statusOut, int* countOut) {
    int status = -1;
    int count = 0;
    for (int i = 0; i < h->count; i++) {
        const H2Header& f = h->fields[i];
        if (f.nameLength > 0 && f.name[0] == ':') {
            // Pseudo-fields come first; an answer has only :status.
            if (count > 0 || status >= 0 || !NameIs(f, ":status") || !IsStatus(f)) return false;
            status = (f.value[0] - '0') * 100 + (f.value[1] - '0') * 10 + (f.value[2] - '0');
            continue;
        }
        if (IsBadField(f)) return false;
        h->fields[count++] = f;
    }
    *statusOut = status;
    *countOut = count;
    return true;
}

void OnHead(H2Session* s, H2Stream* st, bool endStream) {
    int status = -1;
    int count = 0;
    if (!SplitHead(&s->fields, &status, &count)) return StreamError(s, st, H2ProtocolError);
    int32_t id = st->id;
    if (st->gotHead) {
        // Trailers: they end the stream and carry no pseudo-fields.
        if (status >= 0 || !endStream) return StreamError(s, st, H2ProtocolError);
        st->id = 0;
        s->openStreams--;
        if (s->sink.onData) s->sink.onData(s->sink.context, id, "", 0, true);
        return;
    }
    if (status < 0 || status == 101) return StreamError(s, st, H2ProtocolError);
    if (status < 200) {
        // An interim head: the final one follows.
        if (endStream) StreamError(s, st, H2ProtocolError);
        return;
    }
    st->gotHead = 1;
    if (endStream) {
        st->id = 0;
        s->openStreams--;
    }
    if (s->sink.onHead) {
        s->sink.onHead(s->sink.context, id, status, s->fields.fields, count, endStream);
    }
}

// A whole header block: decoded even for a stream that is gone, to keep the
// table in step with the server's.
void EndBlock(H2Session* s) {
    uint32_t id = s->blockStream;
    s->blockStream = 0;
    HpackResult r = HpackDecode(&s->decoder, s->block, s->blockLength, &s->fields);
    if (r == HpackBroken) return Fail(s, H2CompressionError);
    if (r == HpackExcessive) return Fail(s, H2EnhanceYourCalm);
    H2Stream* st = Find(s, id);
    if (!st) return;
    if (r == HpackTooLarge) return StreamError(s, st, H2Cancel);
    OnHead(s, st, s->blockEndStream != 0);
}

bool AddToBlock(H2Session* s, const uint8_t* p, size_t n) {
    if (n > sizeof(s->block) - s->blockLength) {
        Fail(s, H2EnhanceYourCalm);
        return false;
    }
    memcpy(s->block + s->blockLength, p, n);
    s->blockLength += n;
    return true;
}

void OnHeaders(H2Session* s, uint32_t id, uint8_t flags, const uint8_t* p, size_t length) {
    if (id == 0 || IsIdle(s, id)) return Fail(s, H2ProtocolError);
    size_t at = 0, end = 0;
    if (!Unpad(p, length, flags, &at, &end)) return Fail(s, H2ProtocolError);
    if (flags & kFlagPriority) {
        if (end - at < 5) return Fail(s, H2FrameSizeError);
        at += 5; // priority is not used
    }
    s->blockLength = 0;
    if (!AddToBlock(s, p + at, end - at)) return;
    s->blockStream = id;
    s->blockEndStream = (flags & kFlagEndStream) != 0;
    if (flags & kFlagEndHeaders) EndBlock(s);
}

void OnContinuation(H2Session* s, uint32_t id, uint8_t flags, const uint8_t* p, size_t length) {
    if (s->blockStream == 0 || id != s->blockStream) return Fail(s, H2ProtocolError);
    if (!AddToBlock(s, p, length)) return;
    if (flags & kFlagEndHeaders) EndBlock(s);
}

void OnData(H2Session* s, uint32_t id, uint8_t flags, const uint8_t* p, size_t length) {
    if (id == 0 || IsIdle(s, id)) return Fail(s, H2ProtocolError);
    size_t at = 0, end = 0;
    if (!Unpad(p, length, flags, &at, &end)) return Fail(s, H2ProtocolError);
    // The whole frame, padding too, counts against both windows.
    if ((int64_t)length > s->receiveWindow) return Fail(s, H2FlowControlError);
    s->receiveWindow -= (int64_t)length;
    H2Stream* st = Find(s, id);
    if (!st) return ConsumeConnection(s, (uint32_t)length); // a stream already closed
    if ((int64_t)length > st->receiveWindow || !st->gotHead) {
        ConsumeConnection(s, (uint32_t)length);
        return StreamError(s, st, st->gotHead ? H2FlowControlError : H2ProtocolError);
    }
    st->receiveWindow -= (int64_t)length;
    bool endStream = (flags & kFlagEndStream) != 0;
    if (endStream) {
        st->id = 0;
        s->openStreams--;
    }
    bool keep = true;
    if ((end > at || endStream) && s->sink.onData) {
        keep = s->sink.onData(s->sink.context, (int32_t)id, (const char*)p + at, (int)(end - at),
                              endStream);
    }
    ConsumeConnection(s, (uint32_t)length);
    // The sink may have cancelled the stream meanwhile.
    st = Find(s, id);
    if (!st || s->failure != H2NoError) return;
    if (!keep) return Reset(s, st, H2Cancel);
    ConsumeStream(s, st, (uint32_t)length);
}

void ApplySetting(H2Session* s, uint16_t id, uint32_t value) {
    switch (id) {
    case SettingEnablePush:
        // Only 0 is meaningful from a server, but servers of RFC 7540's time
        // send 1 too, harmlessly.
        if (value > 1) Fail(s, H2ProtocolError);
        break;
    case SettingMaxConcurrentStreams:
        s->serverMaxStreams = value;
        break;
    case SettingInitialWindowSize: {
        if (value > kMaxWindow) return Fail(s, H2FlowControlError);
        int64_t delta = (int64_t)value - s->serverInitialWindow;
        s->serverInitialWindow = value;
        for (H2Stream& st : s->streams) {
            if (st.id == 0) continue;
            st.sendWindow += delta;
            if (st.sendWindow > kMaxWindow) return Fail(s, H2FlowControlError);
        }
        break;
    }
    case SettingMaxFrameSize:
        if (value < kMinFrameSize || value > kMaxFrameSizeAllowed) return Fail(s, H2ProtocolError);
        s->serverMaxFrame = value;
        break;
    default:
        // The server's table size and list size concern only an encoder that
        // indexes, which ours does not; unknown settings are ignored.
        break;
    }
}

void OnSettings(H2Session* s, uint32_t id, uint8_t flags, const uint8_t* p, size_t length) {
    if (id != 0) return Fail(s, H2ProtocolError);
    if (flags & kFlagAck) {
        if (length != 0) Fail(s, H2FrameSizeError);
        return;
    }
    if (length % 6 != 0) return Fail(s, H2FrameSizeError);
    for (size_t at = 0; at < length && s->failure == H2NoError; at += 6) {
        ApplySetting(s, (uint16_t)(p[at] << 8 | p[at + 1]), Read32(p + at + 2));
    }
    if (s->failure != H2NoError) return;
    s->sawSettings = 1;
    ReserveControl(s, 0, FrameSettings, kFlagAck, 0);
}

void OnPing(H2Session* s, uint32_t id, uint8_t flags, const uint8_t* p, size_t length) {
    if (length != 8) return Fail(s, H2FrameSizeError);
    if (id != 0) return Fail(s, H2ProtocolError);
    if (flags & kFlagAck) return; // we send no PINGs
    int kept = 0;
    for (int i = 0; i < s->pings; i++) {
        if (s->pingEnds[i] > s->sentTotal) s->pingEnds[kept++] = s->pingEnds[i];
    }
    s->pings = kept;
    if (s->pings == kH2MaxPendingPings) return Fail(s, H2EnhanceYourCalm);
    uint8_t* ack = ReserveControl(s, 8, FramePing, kFlagAck, 0);
    if (!ack) return;
    memcpy(ack, p, 8);
    s->pingEnds[s->pings++] = s->sentTotal + Pending(s);
}

void OnGoAway(H2Session* s, uint32_t id, const uint8_t* p, size_t length) {
    if (id != 0) return Fail(s, H2ProtocolError);
    if (length < 8) return Fail(s, H2FrameSizeError);
    uint32_t last = Read32(p) & kMaxStreamId;
    uint32_t error = Read32(p + 4);
    // A later GOAWAY may only lower the bound.
    if (last < s->goAwayLast) s->goAwayLast = last;
    s->draining = 1;
    for (H2Stream& st : s->streams) {
        if (st.id != 0 && (uint32_t)st.id > s->goAwayLast) ReportFailed(s, &st, error, true);
    }
}

void OnRstStream(H2Session* s, uint32_t id, const uint8_t* p, size_t length) {
    if (length != 4) return Fail(s, H2FrameSizeError);
    if (id == 0 || IsIdle(s, id)) return Fail(s, H2ProtocolError);
    H2Stream* st = Find(s, id);
    if (!st) return;
    uint32_t error = Read32(p);
    ReportFailed(s, st, error, error == H2RefusedStream);
}

void OnWindowUpdate(H2Session* s, uint32_t id, const uint8_t* p, size_t length) {
    if (length != 4) return Fail(s, H2FrameSizeError);
    uint32_t increment = Read32(p) & 0x7fffffff;
    if (id == 0) {
        if (increment == 0) return Fail(s, H2ProtocolError);
        s->sendWindow += increment;
        if (s->sendWindow > kMaxWindow) Fail(s, H2FlowControlError);
        return;
    }
    if (IsIdle(s, id)) return Fail(s, H2ProtocolError);
    H2Stream* st = Find(s, id);
    if (!st) return;
    if (increment == 0) return StreamError(s, st, H2ProtocolError);
    st->sendWindow += increment;
    if (st->sendWindow > kMaxWindow) StreamError(s, st, H2FlowControlError);
}

void OnPriority(H2Session* s, uint32_t id, size_t length) {
    if (id == 0) return Fail(s, H2ProtocolError);
    if (length == 5) return; // not used
    H2Stream* st = Find(s, id);
    if (st) StreamError(s, st, H2FrameSizeError);
}

void OnFrame(H2Session* s, const uint8_t* h, const uint8_t* p, size_t length) {
    uint8_t type = h[3];
    uint8_t flags = h[4];
    uint32_t id = Read32(h + 5) & kMaxStreamId;
    // The server's preface is a SETTINGS frame; a header block allows only
    // its own CONTINUATION frames between.
    if (!s->sawSettings && (type != FrameSettings || (flags & kFlagAck))) {
        return Fail(s, H2ProtocolError);
    }
    if (s->blockStream != 0 && type != FrameContinuation) return Fail(s, H2ProtocolError);
    switch (type) {
    case FrameData:
        return OnData(s, id, flags, p, length);
    case FrameHeaders:
        return OnHeaders(s, id, flags, p, length);
    case FramePriority:
        return OnPriority(s, id, length);
    case FrameRstStream:
        return OnRstStream(s, id, p, length);
    case FrameSettings:
        return OnSettings(s, id, flags, p, length);
    case FramePushPromise:
        return Fail(s, H2ProtocolError); // push is disabled in our SETTINGS
    case FramePing:
        return OnPing(s, id, flags, p, length);
    case FrameGoAway:
        return OnGoAway(s, id, p, length);
    case FrameWindowUpdate:
        return OnWindowUpdate(s, id, p, length);
    case FrameContinuation:
        return OnContinuation(s, id, flags, p, length);
    default:
        return; // unknown types are ignored
    }
}

size_t FrameLength(const uint8_t* h) {
    return (size_t)h[0] << 16 | (size_t)h[1] << 8 | h[2];
}

void QueuePreface(H2Session* s) {
    static const struct {
        uint16_t id;
        uint32_t value;
    } kSettings[] = {
        {SettingEnablePush, 0},
        {SettingInitialWindowSize, kH2StreamWindow},
        {SettingMaxFrameSize, kH2MaxFrameSize},
        {SettingHeaderTableSize, kH2HeaderTableSize},
        {SettingMaxHeaderListSize, kH2MaxHeaderListSize},
    };
    size_t n = sizeof(kSettings) / sizeof(kSettings[0]);
    uint8_t* p = Reserve(s, sizeof(kPreface) - 1, kH2OutputLimit);
    memcpy(p, kPreface, sizeof(kPreface) - 1);
    p = ReserveControl(s, (uint32_t)(6 * n), FrameSettings, 0, 0);
    for (size_t i = 0; i < n; i++) {
        p[6 * i] = (uint8_t)(kSettings[i].id >> 8);
        p[6 * i + 1] = (uint8_t)kSettings[i].id;
        Put32(p + 6 * i + 2, kSettings[i].value);
    }
    QueueWindowUpdate(s, 0, kH2ConnectionWindow - kDefaultWindow);
}

bool EncodeField(uint8_t* out, size_t room, size_t* used, const char* name, size_t nameLength,
                 const char* value, size_t valueLength) {
    return IsFieldText(name, nameLength) && IsFieldText(value, valueLength) &&
           HpackEncodeField(out, room, used, name, nameLength, value, valueLength);
}

} // namespace

H2Session* H2Open(const H2Sink& sink) {
    H2Session* s = (H2Session*)calloc(1, sizeof(H2Session));
    if (!s) return nullptr;
    s->sink = sink;
    s->nextStream = 1;
    s->goAwayLast = kMaxStreamId;
    s->serverMaxStreams = 0xffffffff; // no limit until the server's SETTINGS
    s->serverInitialWindow = kDefaultWindow;
    s->serverMaxFrame = kMinFrameSize;
    s->sendWindow = kDefaultWindow;
    s->receiveWindow = kH2ConnectionWindow;
    QueuePreface(s);
    return s;
}

void H2Close(H2Session* session) {
    free(session);
}

const char* H2Output(const H2Session* s, size_t* length) {
    *length = Pending(s);
    return s->out + s->outStart;
}

void H2OutputSent(H2Session* s, size_t n) {
    if (n > Pending(s)) n = Pending(s);
    s->outStart += n;
    s->sentTotal += n;
    if (s->outStart == s->outEnd) s->outStart = s->outEnd = 0;
}

bool H2Feed(H2Session* s, const char* bytes, size_t n) {
    size_t p = 0;
    while (s->failure == H2NoError) {
        size_t need = kFrameHeader;
        if (s->inHave >= kFrameHeader) {
            size_t length = FrameLength(s->in);
            if (length > kH2MaxFrameSize) {
                Fail(s, H2FrameSizeError);
                break;
            }
            need += length;
        }
        if (s->inHave < need) {
            if (p == n) break;
            size_t take = need - s->inHave < n - p ? need - s->inHave : n - p;
            memcpy(s->in + s->inHave, bytes + p, take);
            s->inHave += take;
            p += take;
            continue;
        }
        s->inHave = 0;
        OnFrame(s, s->in, s->in + kFrameHeader, need - kFrameHeader);
    }
    return s->failure == H2NoError;
}

int H2StreamLimit(const H2Session* s) {
    return s->serverMaxStreams < (uint32_t)kH2MaxStreams ? (int)s->serverMaxStreams : kH2MaxStreams;
}

bool H2CanOpen(const H2Session* s) {
    return s->failure == H2NoError && !s->draining && s->openStreams < H2StreamLimit(s) &&
           s->nextStream <= kMaxStreamId &&
           Pending(s) + kFrameHeader + kH2MaxRequestHead <= kH2OutputLimit - kControlRoom;
}

int H2OpenStreams(const H2Session* s) {
    return s->openStreams;
}

int32_t H2StartRequest(H2Session* s, const H2Request& r) {
    if (!H2CanOpen(s)) return 0;
    uint8_t* frame = Reserve(s, kFrameHeader + kH2MaxRequestHead, kH2OutputLimit - kControlRoom);
    uint8_t* block = frame + kFrameHeader;
    size_t used = 0;
    const char* pseudo[][2] = {{":method", r.method},
                               {":scheme", r.scheme},
                               {":authority", r.authority},
                               {":path", r.path}};
    bool ok = true;
    for (const auto& f : pseudo) {
        ok = ok && f[1] &&
             EncodeField(block, kH2MaxRequestHead, &used, f[0], strlen(f[0]), f[1], strlen(f[1]));
    }
    for (int i = 0; ok && i < r.count; i++) {
        const H2Header& f = r.fields[i];
        ok = f.nameLength >= 0 && f.valueLength >= 0 &&
             EncodeField(block, kH2MaxRequestHead, &used, f.name, (size_t)f.nameLength, f.value,
                         (size_t)f.valueLength);
    }
    // Give back what the frame did not use, all of it when it failed.
    size_t kept = ok ? kFrameHeader + used : 0;
    s->outEnd -= kFrameHeader + kH2MaxRequestHead - kept;
    if (!ok) return 0;
    uint32_t id = s->nextStream;
    s->nextStream += 2;
    PutFrameHeader(frame, (uint32_t)used, FrameHeaders, kFlagEndHeaders | kFlagEndStream, id);
    H2Stream* st = nullptr;
    for (H2Stream& slot : s->streams) {
        if (slot.id == 0) {
            st = &slot;
            break;
        }
    }
    // openStreams below kH2MaxStreams leaves a free slot.
    *st = {};
    st->id = (int32_t)id;
    st->receiveWindow = kH2StreamWindow;
    st->sendWindow = s->serverInitialWindow;
    s->openStreams++;
    return (int32_t)id;
}

void H2CancelStream(H2Session* s, int32_t stream) {
    if (s->failure != H2NoError || stream <= 0) return;
    H2Stream* st = Find(s, (uint32_t)stream);
    if (st) Reset(s, st, H2Cancel);
}

void H2GoAway(H2Session* s) {
    if (s->failure != H2NoError) return;
    s->draining = 1;
    uint8_t* p = ReserveControl(s, 8, FrameGoAway, 0, 0);
    if (!p) return;
    Put32(p, 0);
    Put32(p + 4, H2NoError);
}

bool H2Draining(const H2Session* s) {
    return s->draining != 0;
}

H2Error H2Failure(const H2Session* s) {
    return s->failure;
}
