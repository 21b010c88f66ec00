// One HTTP/2 connection's protocol state, as a pure parser and builder: the
// caller feeds it the bytes the server sent (after TLS) and drains the bytes
// it wants sent; what happens to each stream comes back through the sink.
// No sockets, no clock: the engine's link code owns those.
#pragma once
#include <cstddef>
#include <cstdint>

// Bounds stated once. A frame, header block or table beyond them ends the
// connection with the matching error code.
constexpr uint32_t kH2MaxFrameSize = 16384 * 4;            // SETTINGS_MAX_FRAME_SIZE we announce
constexpr uint32_t kH2MaxHeaderListSize = 64 * 1024;       // decoded header bytes of one block
constexpr uint32_t kH2HeaderTableSize = 4096;              // our HPACK decoder's table
constexpr uint32_t kH2StreamWindow = 16 * 1024 * 1024;     // our window per stream
constexpr uint32_t kH2ConnectionWindow = 64 * 1024 * 1024; // our window for the connection
constexpr int kH2MaxStreams = 100;            // streams we open at once, whatever the server allows
constexpr int kH2MaxHeaders = 128;            // header fields handed up for one answer
constexpr uint32_t kH2MaxRequestHead = 16384; // encoded request head: one HEADERS frame anywhere
constexpr uint32_t kH2OutputLimit = 256 * 1024; // bytes waiting to be sent
constexpr int kH2MaxPendingPings = 16;          // PING answers waiting in the output

// Error codes of RST_STREAM and GOAWAY.
enum H2Error : uint32_t {
    H2NoError = 0x0,
    H2ProtocolError = 0x1,
    H2InternalError = 0x2,
    H2FlowControlError = 0x3,
    H2SettingsTimeout = 0x4,
    H2StreamClosed = 0x5,
    H2FrameSizeError = 0x6,
    H2RefusedStream = 0x7,
    H2Cancel = 0x8,
    H2CompressionError = 0x9,
    H2ConnectError = 0xa,
    H2EnhanceYourCalm = 0xb,
    H2InadequateSecurity = 0xc,
    H2Http11Required = 0xd,
};

struct H2Header {
    const char* name; // lower case
    int32_t nameLength;
    const char* value;
    int32_t valueLength;
};

// What the session reports. Pointers are valid only during the call.
struct H2Sink {
    void* context;
    // The answer's final head (1xx heads are skipped): status and the
    // regular fields in order (pseudo-fields other than :status dropped).
    // endStream when the answer has no body.
    void (*onHead)(void* context, int32_t stream, int status, const H2Header* fields, int count,
                   bool endStream);
    // Body bytes of a stream; endStream on its last. Return false when the
    // receiver is done with the stream: the session resets it (CANCEL).
    bool (*onData)(void* context, int32_t stream, const char* bytes, int n, bool endStream);
    // The stream ended without a whole answer: reset by the server (error
    // is its code), refused by GOAWAY or by RST_STREAM REFUSED_STREAM
    // (refused true: it was never processed and may go to a new connection
    // without counting as a retry), reset here for a malformed or too large
    // answer (error is the code we sent: PROTOCOL_ERROR, FLOW_CONTROL_ERROR,
    // CANCEL for a head past kH2MaxHeaderListSize), or lost with the
    // connection (error is H2Failure's code).
    void (*onStreamFailed)(void* context, int32_t stream, uint32_t error, bool refused);
};

struct H2Session;

// A new client connection; its preface and SETTINGS wait in the output.
// Null when memory is short. The sink's functions may call H2StartRequest,
// H2CancelStream and H2GoAway, never H2Feed or H2Close.
H2Session* H2Open(const H2Sink& sink);
void H2Close(H2Session* session);

// Bytes to send, in order; the caller sends what it can and says how much.
const char* H2Output(const H2Session* session, size_t* length);
void H2OutputSent(H2Session* session, size_t n);

// Takes the bytes the server sent. False once the connection is broken
// (H2Failure then tells why); every open stream has been reported failed.
bool H2Feed(H2Session* session, const char* bytes, size_t n);

// A request on a new stream: method, scheme, authority ("host[:port]") and
// path, plus regular fields (names in lower case, no connection-specific
// ones). No body is sent: the request ends with its head. Returns the
// stream's id, or 0 when no stream can be opened now (see H2CanOpen) or
// when the request cannot be sent at all: its head encodes to more than
// kH2MaxRequestHead, or a name or value holds CR, LF or NUL.
struct H2Request {
    const char* method;
    const char* scheme;
    const char* authority;
    const char* path;
    const H2Header* fields;
    int count;
};
int32_t H2StartRequest(H2Session* session, const H2Request& request);

// True while another stream may be opened: the server's SETTINGS arrived
// or not, fewer streams open than H2StreamLimit, no GOAWAY received or
// sent, the connection not broken, and room in the output for a request.
bool H2CanOpen(const H2Session* session);
int H2OpenStreams(const H2Session* session);
// Streams that may be open at once: the server's
// SETTINGS_MAX_CONCURRENT_STREAMS (no limit until its SETTINGS arrive),
// never more than kH2MaxStreams.
int H2StreamLimit(const H2Session* session);
// Resets a stream the engine gave up on (Stop, a failed file); nothing more
// of it is reported.
void H2CancelStream(H2Session* session, int32_t stream);
// Ends the connection politely (GOAWAY NO_ERROR waits in the output).
void H2GoAway(H2Session* session);
// A GOAWAY arrived, or the connection broke: no new streams.
bool H2Draining(const H2Session* session);

// Why the connection broke; H2NoError while it has not.
H2Error H2Failure(const H2Session* session);
