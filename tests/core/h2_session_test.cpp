// The HTTP/2 session driven by hand-built server frames: what it sends,
// what it reports per stream, and how it ends on a broken server.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "engine/h2_session.h"
#include "engine/hpack.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string U32(uint32_t v) {
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

std::string Frame(int type, int flags, uint32_t stream, const std::string& payload) {
    size_t n = payload.size();
    return std::string{(char)(n >> 16), (char)(n >> 8), (char)n, (char)type, (char)flags} +
           U32(stream) + payload;
}

std::string Settings(std::initializer_list<std::pair<int, uint32_t>> values) {
    std::string payload;
    for (const auto& v : values)
        payload += std::string{(char)(v.first >> 8), (char)v.first} + U32(v.second);
    return Frame(4, 0, 0, payload);
}

std::string Block(const Fields& fields) {
    std::string block(256 * 1024, '\0');
    size_t used = 0;
    for (const auto& f : fields) {
        HpackEncodeField((uint8_t*)&block[0], block.size(), &used, f.first.data(), f.first.size(),
                         f.second.data(), f.second.size());
    }
    return block.substr(0, used);
}

std::string Head(uint32_t stream, const char* status, bool endStream, const Fields& more = {}) {
    Fields fields = {{":status", status}};
    fields.insert(fields.end(), more.begin(), more.end());
    return Frame(1, 4 | (endStream ? 1 : 0), stream, Block(fields));
}

std::string Data(uint32_t stream, const std::string& bytes, bool endStream) {
    return Frame(0, endStream ? 1 : 0, stream, bytes);
}

const std::string kServerPreface = Settings({});

struct OutFrame {
    int type, flags;
    uint32_t stream;
    std::string payload;
};

// One client connection with a recording sink.
struct Client {
    H2Session* session = nullptr;
    std::string log;
    bool keepData = true;
    std::string prefaceSeen;

    Client() { session = H2Open({this, OnHead, OnData, OnFailed}); }
    ~Client() { H2Close(session); }

    static void OnHead(void* c, int32_t stream, int status, const H2Header* fields, int count,
                       bool endStream) {
        std::string& log = ((Client*)c)->log;
        log += "head " + std::to_string(stream) + " " + std::to_string(status);
        for (int i = 0; i < count; i++) {
            log += " " + std::string(fields[i].name, (size_t)fields[i].nameLength) + "=" +
                   std::string(fields[i].value, (size_t)fields[i].valueLength);
        }
        log += endStream ? " end;" : ";";
    }
    static bool OnData(void* c, int32_t stream, const char* bytes, int n, bool endStream) {
        Client* client = (Client*)c;
        client->log += "data " + std::to_string(stream) + " " + std::string(bytes, (size_t)n) +
                       (endStream ? " end;" : ";");
        return client->keepData;
    }
    static void OnFailed(void* c, int32_t stream, uint32_t error, bool refused) {
        ((Client*)c)->log += "failed " + std::to_string(stream) + " " + std::to_string(error) +
                             (refused ? " refused;" : ";");
    }

    int32_t Get(const char* path = "/file") {
        return H2StartRequest(session, {"GET", "https", "example.com", path, nullptr, 0});
    }
    bool Feed(const std::string& bytes) { return H2Feed(session, bytes.data(), bytes.size()); }

    // Drains the output into frames; the preface is kept apart.
    std::vector<OutFrame> Sent() {
        size_t n = 0;
        const char* out = H2Output(session, &n);
        std::string bytes(out, n);
        H2OutputSent(session, n);
        const std::string preface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
        if (bytes.compare(0, preface.size(), preface) == 0) {
            prefaceSeen = preface;
            bytes = bytes.substr(preface.size());
        }
        std::vector<OutFrame> frames;
        for (size_t p = 0; p + 9 <= bytes.size();) {
            const uint8_t* h = (const uint8_t*)bytes.data() + p;
            size_t length = (size_t)h[0] << 16 | (size_t)h[1] << 8 | h[2];
            uint32_t stream =
                (uint32_t)h[5] << 24 | (uint32_t)h[6] << 16 | (uint32_t)h[7] << 8 | h[8];
            frames.push_back({h[3], h[4], stream, bytes.substr(p + 9, length)});
            p += 9 + length;
        }
        return frames;
    }
    // The frames of one type, as "stream:payload" texts for RST_STREAM and
    // WINDOW_UPDATE (a 32-bit value).
    std::vector<std::string> SentOf(int type) {
        std::vector<std::string> found;
        for (const OutFrame& f : Sent()) {
            if (f.type != type) continue;
            uint32_t v = 0;
            for (size_t i = 0; i < 4 && i < f.payload.size(); i++)
                v = v << 8 | (uint8_t)f.payload[i];
            found.push_back(std::to_string(f.stream) + ":" + std::to_string(v));
        }
        return found;
    }
};

enum {
    kData = 0,
    kHeaders = 1,
    kPriority = 2,
    kRst = 3,
    kSettings = 4,
    kPush = 5,
    kPing = 6,
    kGoAway = 7,
    kWindowUpdate = 8,
    kContinuation = 9
};

} // namespace

TEST(H2Session, PrefaceSettingsAndAck) {
    Client c;
    std::vector<OutFrame> sent = c.Sent();
    EXPECT_FALSE(c.prefaceSeen.empty());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].type, kSettings);
    EXPECT_EQ(sent[0].payload,
              std::string("\0\x02", 2) + U32(0) + std::string("\0\x04", 2) + U32(kH2StreamWindow) +
                  std::string("\0\x05", 2) + U32(kH2MaxFrameSize) + std::string("\0\x01", 2) +
                  U32(kH2HeaderTableSize) + std::string("\0\x06", 2) + U32(kH2MaxHeaderListSize));
    EXPECT_EQ(sent[1].type, kWindowUpdate);
    EXPECT_EQ(sent[1].payload, U32(kH2ConnectionWindow - 65535));
    // The server's SETTINGS is answered; its ACK of ours needs nothing.
    ASSERT_TRUE(
        c.Feed(Settings({{3, 10}, {4, 1 << 20}, {5, 1 << 20}, {0x99, 7}}) + Frame(4, 1, 0, "")));
    sent = c.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, kSettings);
    EXPECT_EQ(sent[0].flags, 1);
    EXPECT_EQ(H2StreamLimit(c.session), 10);
}

TEST(H2Session, GetWithHeadAndBodyInAnySplit) {
    const std::string server = kServerPreface +
                               Head(1, "200", false, {{"content-type", "text/plain"}}) +
                               Data(1, "hello ", false) + Data(1, "world", true);
    const std::string expected =
        "head 1 200 content-type=text/plain;data 1 hello ;data 1 world end;";
    for (size_t step : {server.size(), (size_t)1, (size_t)5}) {
        Client c;
        ASSERT_EQ(c.Get("/a.txt"), 1);
        std::vector<OutFrame> sent = c.Sent();
        ASSERT_EQ(sent.size(), 3u);
        // HEADERS that ends the stream and reads back as our request.
        EXPECT_EQ(sent[2].type, kHeaders);
        EXPECT_EQ(sent[2].flags, 1 | 4);
        EXPECT_EQ(sent[2].stream, 1u);
        HpackDecoder d = {};
        static HpackFields request;
        ASSERT_EQ(HpackDecode(&d, (const uint8_t*)sent[2].payload.data(), sent[2].payload.size(),
                              &request),
                  HpackOk);
        ASSERT_EQ(request.count, 4);
        EXPECT_EQ(std::string(request.fields[3].value, (size_t)request.fields[3].valueLength),
                  "/a.txt");
        for (size_t p = 0; p < server.size(); p += step) {
            ASSERT_TRUE(c.Feed(server.substr(p, step)));
        }
        EXPECT_EQ(c.log, expected) << "step " << step;
        EXPECT_EQ(H2OpenStreams(c.session), 0);
    }
}

TEST(H2Session, ContinuationPaddingPriorityInterimAndTrailers) {
    Client c;
    c.Get();
    std::string block = Block({{":status", "200"}, {"content-length", "3"}, {"etag", "\"x\""}});
    // HEADERS padded and with priority, its block split over two CONTINUATIONs.
    std::string headers = std::string(1, (char)4) + U32(0) + "\x10" + block.substr(0, 3) + "pppp";
    std::string server = kServerPreface + Head(1, "103", false, {{"link", "</s.css>"}}) +
                         Frame(kHeaders, 0x8 | 0x20, 1, headers) +
                         Frame(kContinuation, 0, 1, block.substr(3, 4)) +
                         Frame(kContinuation, 4, 1, block.substr(7)) +
                         Frame(kData, 0x8, 1, std::string(1, (char)2) + "abc" + "zz") +
                         Frame(kHeaders, 4 | 1, 1, Block({{"x-sum", "1"}}));
    ASSERT_TRUE(c.Feed(server));
    EXPECT_EQ(c.log, "head 1 200 content-length=3 etag=\"x\";data 1 abc;data 1  end;");
}

TEST(H2Session, ConnectionErrors) {
    const std::string head = Head(1, "200", false);
    const struct {
        std::string frames;
        H2Error error;
        const char* why;
    } cases[] = {
        {Head(1, "200", true), H2ProtocolError, "first frame not SETTINGS"},
        {Frame(kSettings, 0, 0, "12345"), H2FrameSizeError, "SETTINGS of 5 bytes"},
        {kServerPreface + Frame(kSettings, 1, 0, "123456"), H2FrameSizeError, "SETTINGS ACK with a payload"},
        {Frame(kSettings, 0, 1, ""), H2ProtocolError, "SETTINGS on a stream"},
        {Settings({{2, 2}}), H2ProtocolError, "ENABLE_PUSH 2"},
        {Settings({{4, 0x80000000}}), H2FlowControlError, "INITIAL_WINDOW_SIZE 2^31"},
        {Settings({{5, 16383}}), H2ProtocolError, "MAX_FRAME_SIZE below 16384"},
        {Settings({{5, 1 << 24}}), H2ProtocolError, "MAX_FRAME_SIZE past 2^24 - 1"},
        {kServerPreface + Frame(kPush, 4, 1, U32(2) + Block({{":method", "GET"}})), H2ProtocolError,
         "PUSH_PROMISE"},
        {kServerPreface + Frame(kPing, 0, 0, "1234567"), H2FrameSizeError, "PING of 7 bytes"},
        {kServerPreface + Frame(kPing, 0, 1, "12345678"), H2ProtocolError, "PING on a stream"},
        {kServerPreface + Frame(kWindowUpdate, 0, 0, U32(0)), H2ProtocolError,
         "connection WINDOW_UPDATE of 0"},
        {kServerPreface + Frame(kWindowUpdate, 0, 0, U32(0x7fffffff)), H2FlowControlError,
         "connection window past 2^31 - 1"},
        {kServerPreface + Frame(kWindowUpdate, 0, 0, "123"), H2FrameSizeError,
         "WINDOW_UPDATE of 3 bytes"},
        {kServerPreface + Data(3, "x", false), H2ProtocolError, "DATA on a stream never opened"},
        {kServerPreface + Data(0, "x", false), H2ProtocolError, "DATA on stream 0"},
        {kServerPreface + Head(2, "200", true), H2ProtocolError, "HEADERS on a server stream"},
        {kServerPreface + Frame(kRst, 0, 0, U32(8)), H2ProtocolError, "RST_STREAM on stream 0"},
        {kServerPreface + Frame(kRst, 0, 1, "12"), H2FrameSizeError, "RST_STREAM of 2 bytes"},
        {kServerPreface + Frame(kGoAway, 0, 0, U32(0)), H2FrameSizeError, "GOAWAY of 4 bytes"},
        {kServerPreface + Frame(kContinuation, 4, 1, ""), H2ProtocolError,
         "CONTINUATION without HEADERS"},
        {kServerPreface + Frame(kHeaders, 0, 1, head.substr(9)) + Frame(kPing, 0, 0, "12345678"),
         H2ProtocolError, "PING inside a header block"},
        {kServerPreface + Frame(kHeaders, 0, 1, head.substr(9)) + Frame(kContinuation, 4, 3, ""),
         H2ProtocolError, "CONTINUATION of another stream"},
        {kServerPreface + Frame(kHeaders, 4, 1, "\x80"), H2CompressionError, "HPACK index 0"},
        {kServerPreface + Frame(kData, 0x8, 1, std::string(1, (char)5) + "abcd"), H2ProtocolError,
         "padding past the payload"},
        {kServerPreface + Frame(kHeaders, 0x20 | 4, 1, "1234"), H2FrameSizeError,
         "HEADERS too short for its priority"},
        {kServerPreface + Frame(kPriority, 0, 0, "12345"), H2ProtocolError, "PRIORITY on stream 0"},
        {kServerPreface + Frame(kData, 0, 1, std::string(kH2MaxFrameSize + 1, 'x')),
         H2FrameSizeError, "frame past our MAX_FRAME_SIZE"},
    };
    for (const auto& c : cases) {
        Client client;
        client.Get();
        client.Sent();
        EXPECT_FALSE(client.Feed(c.frames)) << c.why;
        EXPECT_EQ(H2Failure(client.session), c.error) << c.why;
        // Stream 1 lost with the connection, GOAWAY last in the output, no more streams.
        EXPECT_EQ(client.log, "failed 1 " + std::to_string(c.error) + ";") << c.why;
        std::vector<OutFrame> sent = client.Sent();
        ASSERT_FALSE(sent.empty()) << c.why;
        EXPECT_EQ(sent.back().type, kGoAway) << c.why;
        EXPECT_EQ(sent.back().payload, U32(0) + U32(c.error)) << c.why;
        EXPECT_FALSE(H2CanOpen(client.session)) << c.why;
        EXPECT_EQ(client.Get(), 0) << c.why;
    }
    // Frames a client lets pass.
    Client c;
    c.Get();
    EXPECT_TRUE(c.Feed(kServerPreface + Frame(0x42, 0xff, 1, "unknown") +
                       Frame(kPriority, 0, 1, "12345") + Frame(kPriority, 0, 9, "12345") +
                       Frame(kPing, 1, 0, "12345678") + Settings({{2, 1}})));
}

TEST(H2Session, StreamErrorsResetOneStream) {
    const struct {
        std::string frames; // on stream 1, after a head unless the case says
        bool headFirst;
        H2Error error;
        const char* why;
    } cases[] = {
        {Frame(kWindowUpdate, 0, 1, U32(0)), true, H2ProtocolError, "WINDOW_UPDATE of 0"},
        {Frame(kWindowUpdate, 0, 1, U32(0x7fffffff)), true, H2FlowControlError,
         "send window past 2^31 - 1"},
        {Data(1, "x", false), false, H2ProtocolError, "DATA before the head"},
        {Frame(kHeaders, 5, 1, Block({{"server", "x"}})), false, H2ProtocolError, "no :status"},
        {Head(1, "2000", true), false, H2ProtocolError, ":status of four digits"},
        {Head(1, "200", true, {{"Server", "x"}}), false, H2ProtocolError, "upper-case name"},
        {Head(1, "200", true, {{"connection", "close"}}), false, H2ProtocolError,
         "connection-specific field"},
        {Frame(kHeaders, 5, 1, Block({{"server", "x"}, {":status", "200"}})), false,
         H2ProtocolError, "pseudo-field after a regular one"},
        {Frame(kHeaders, 5, 1, Block({{":status", "200"}, {":path", "/"}})), false, H2ProtocolError,
         "request pseudo-field"},
        {Head(1, "100", true), false, H2ProtocolError, "interim head ending the stream"},
        {Head(1, "101", false), false, H2ProtocolError, "101 in HTTP/2"},
        {Head(1, "200", false), true, H2ProtocolError, "trailers without END_STREAM"},
        {Frame(kPriority, 0, 1, "1234"), true, H2FrameSizeError, "PRIORITY of 4 bytes"},
    };
    for (const auto& c : cases) {
        Client client;
        client.Get();
        client.Get();
        client.Sent();
        std::string prefix = kServerPreface + (c.headFirst ? Head(1, "200", false) : "");
        ASSERT_TRUE(client.Feed(prefix + c.frames)) << c.why;
        EXPECT_EQ(client.SentOf(kRst), std::vector<std::string>{"1:" + std::to_string(c.error)})
            << c.why;
        // Stream 3 goes on.
        ASSERT_TRUE(client.Feed(Head(3, "204", true))) << c.why;
        std::string head = c.headFirst ? "head 1 200;" : "";
        EXPECT_EQ(client.log, head + "failed 1 " + std::to_string(c.error) + ";head 3 204 end;")
            << c.why;
    }
}

TEST(H2Session, ResetByServerAmongSeveral) {
    Client c;
    for (int i = 0; i < 3; i++)
        c.Get();
    ASSERT_TRUE(c.Feed(kServerPreface + Head(1, "200", false) + Head(3, "200", false) +
                       Frame(kRst, 0, 3, U32(H2Cancel)) + Frame(kRst, 0, 5, U32(H2RefusedStream)) +
                       Data(1, "ok", true) + Data(3, "late", false)));
    EXPECT_EQ(c.log, "head 1 200;head 3 200;failed 3 8;failed 5 7 refused;data 1 ok end;");
    EXPECT_EQ(H2OpenStreams(c.session), 0);
    EXPECT_TRUE(c.SentOf(kRst).empty());
}

TEST(H2Session, GoAwayRefusesLaterStreams) {
    Client c;
    for (int i = 0; i < 5; i++)
        c.Get();
    ASSERT_TRUE(c.Feed(kServerPreface + Head(1, "200", false) +
                       Frame(kGoAway, 0, 0, U32(3) + U32(H2NoError) + "debug text")));
    EXPECT_EQ(c.log, "head 1 200;failed 5 0 refused;failed 7 0 refused;failed 9 0 refused;");
    EXPECT_TRUE(H2Draining(c.session));
    EXPECT_FALSE(H2CanOpen(c.session));
    EXPECT_EQ(c.Get(), 0);
    // The streams below the bound finish; a later GOAWAY may not raise it.
    c.log.clear();
    ASSERT_TRUE(c.Feed(Frame(kGoAway, 0, 0, U32(9) + U32(H2NoError)) + Data(1, "a", true) +
                       Head(3, "200", true)));
    EXPECT_EQ(c.log, "data 1 a end;head 3 200 end;");
    EXPECT_EQ(H2OpenStreams(c.session), 0);
}

TEST(H2Session, StreamLimitFromServer) {
    Client c;
    EXPECT_EQ(H2StreamLimit(c.session), kH2MaxStreams);
    ASSERT_TRUE(c.Feed(Settings({{3, 2}})));
    EXPECT_EQ(c.Get(), 1);
    EXPECT_EQ(c.Get(), 3);
    EXPECT_FALSE(H2CanOpen(c.session));
    EXPECT_EQ(c.Get(), 0);
    ASSERT_TRUE(c.Feed(Head(1, "200", true)));
    EXPECT_EQ(c.Get(), 5);
    // Our own bound holds whatever the server allows.
    Client many;
    int opened = 0;
    while (many.Get() != 0)
        opened++;
    EXPECT_EQ(opened, kH2MaxStreams);
}

TEST(H2Session, WindowUpdatesAsDataIsConsumed) {
    Client c;
    for (int i = 0; i < 4; i++)
        c.Get();
    ASSERT_TRUE(c.Feed(kServerPreface + Head(1, "200", false) + Head(3, "200", false) +
                       Head(5, "200", false) + Head(7, "200", false)));
    c.Sent();
    c.log.clear();
    // Half of a stream's window on each of four streams: an update for each,
    // and with the fourth half of the connection's window.
    const std::string chunk(kH2MaxFrameSize, 'x');
    const uint32_t frames = kH2StreamWindow / 2 / kH2MaxFrameSize;
    std::vector<std::string> expected;
    for (uint32_t stream = 1; stream <= 7; stream += 2) {
        for (uint32_t i = 0; i < frames; i++)
            ASSERT_TRUE(c.Feed(Data(stream, chunk, false)));
        // The connection's update comes first, as its bytes are counted first.
        if (stream == 7) expected.push_back("0:" + std::to_string(kH2ConnectionWindow / 2));
        expected.push_back(std::to_string(stream) + ":" + std::to_string(kH2StreamWindow / 2));
    }
    EXPECT_EQ(c.SentOf(kWindowUpdate), expected);
    // Padding counts too; below half of a window nothing more is sent.
    ASSERT_TRUE(
        c.Feed(Frame(kData, 0x8, 1, std::string(1, (char)200) + "ab" + std::string(200, 0))));
    EXPECT_TRUE(c.SentOf(kWindowUpdate).empty());
}

TEST(H2Session, ReceiverThatStopsAndCancel) {
    Client c;
    c.Get();
    c.Get();
    c.keepData = false;
    ASSERT_TRUE(c.Feed(kServerPreface + Head(1, "200", false) + Data(1, "x", false) +
                       Data(1, "ignored", true)));
    H2CancelStream(c.session, 3);
    ASSERT_TRUE(c.Feed(Head(3, "200", true)));
    EXPECT_EQ(c.log, "head 1 200;data 1 x;");
    EXPECT_EQ(c.SentOf(kRst), (std::vector<std::string>{"1:8", "3:8"}));
    EXPECT_EQ(H2OpenStreams(c.session), 0);
}

TEST(H2Session, HeadPastTheListBound) {
    Client c;
    c.Get();
    c.Get();
    // A head of 70 KiB over HEADERS and CONTINUATIONs: stream 1 is reset, but
    // the entry it indexed serves stream 3's head.
    std::string big(60000, 'v');
    std::string block = Block({{":status", "200"}, {"x-big", big}}) +
                        std::string("\x40\x01k\x01v", 5) +
                        Block({{"x-more", std::string(10000, 'w')}});
    ASSERT_TRUE(c.Feed(kServerPreface + Frame(kHeaders, 0, 1, block.substr(0, 40000)) +
                       Frame(kContinuation, 0, 1, block.substr(40000, 20000)) +
                       Frame(kContinuation, 4, 1, block.substr(60000)) +
                       Frame(kHeaders, 5, 3, Block({{":status", "200"}}) + "\xbe")));
    EXPECT_EQ(c.log, "failed 1 8;head 3 200 k=v end;");
    EXPECT_EQ(c.SentOf(kRst), std::vector<std::string>{"1:8"});
    // A compressed block past what we hold ends the connection.
    Client d;
    d.Get();
    std::string flood(kH2MaxFrameSize, '\x82');
    EXPECT_FALSE(d.Feed(kServerPreface + Frame(kHeaders, 0, 1, flood) +
                        Frame(kContinuation, 0, 1, flood) + Frame(kContinuation, 4, 1, flood)));
    EXPECT_EQ(H2Failure(d.session), H2EnhanceYourCalm);
}

TEST(H2Session, PingFloodFromAServerThatDoesNotRead) {
    const std::string ping = Frame(kPing, 0, 0, "pingpong");
    Client reading;
    ASSERT_TRUE(reading.Feed(kServerPreface));
    for (int i = 0; i < 1000; i++) {
        ASSERT_TRUE(reading.Feed(ping));
        std::vector<OutFrame> sent = reading.Sent();
        ASSERT_EQ(sent.size(), i == 0 ? 4u : 1u); // the first drain has our preface too
        EXPECT_EQ(sent.back().flags, 1);
        EXPECT_EQ(sent.back().payload, "pingpong");
    }
    Client deaf;
    ASSERT_TRUE(deaf.Feed(kServerPreface));
    for (int i = 0; i < kH2MaxPendingPings; i++)
        ASSERT_TRUE(deaf.Feed(ping));
    EXPECT_FALSE(deaf.Feed(ping));
    EXPECT_EQ(H2Failure(deaf.session), H2EnhanceYourCalm);
    // Other answers the server never collects fill the output to its bound, no further.
    Client settings;
    bool ok = true;
    for (int i = 0; i < 100000 && ok; i++)
        ok = settings.Feed(Settings({}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(H2Failure(settings.session), H2EnhanceYourCalm);
    size_t pending = 0;
    H2Output(settings.session, &pending);
    EXPECT_LE(pending, kH2OutputLimit);
}

TEST(H2Session, InitialWindowChangesAndPoliteGoAway) {
    Client c;
    c.Get();
    // Our send windows follow the server's INITIAL_WINDOW_SIZE; one raised past
    // 2^31 - 1 by the change is a connection error.
    ASSERT_TRUE(c.Feed(Settings({{4, 0x7fffffff - 10}}) + Frame(kWindowUpdate, 0, 1, U32(10))));
    EXPECT_FALSE(c.Feed(Settings({{4, 0x7fffffff}})));
    EXPECT_EQ(H2Failure(c.session), H2FlowControlError);
    Client polite;
    polite.Get();
    polite.Sent();
    H2GoAway(polite.session);
    EXPECT_TRUE(H2Draining(polite.session));
    EXPECT_EQ(polite.Get(), 0);
    std::vector<OutFrame> sent = polite.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, U32(0) + U32(H2NoError));
    // The open stream still finishes.
    ASSERT_TRUE(polite.Feed(kServerPreface + Head(1, "200", true)));
    EXPECT_EQ(polite.log, "head 1 200 end;");
}

TEST(H2Session, RequestsThatCannotBeSent) {
    Client c;
    std::string cookie(kH2MaxRequestHead, '\x01');  // no shorter in Huffman code
    H2Header big = {"cookie", 6, cookie.data(), (int32_t)cookie.size()};
    H2Header broken = {"x-a", 3, "1\r\nx: 2", 7};
    for (const H2Header& field : {big, broken}) {
        EXPECT_EQ(H2StartRequest(c.session, {"GET", "https", "example.com", "/", &field, 1}), 0);
    }
    EXPECT_EQ(c.Sent().size(), 2u); // nothing but the preface went out
    EXPECT_EQ(c.Get(), 1);
}
