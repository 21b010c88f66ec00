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

enum { kData, kHeaders, kPriority, kRst, kSettings, kPush, kPing, kGoAway, kWindow, kContinuation };

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
        payload += std::string{(char)0, (char)v.first} + U32(v.second);
    return Frame(kSettings, 0, 0, payload);
}

std::string Block(std::initializer_list<std::pair<std::string, std::string>> fields) {
    std::string block(256 * 1024, '\0');
    size_t used = 0;
    for (const auto& f : fields) {
        HpackEncodeField((uint8_t*)&block[0], block.size(), &used, f.first.data(), f.first.size(),
                         f.second.data(), f.second.size());
    }
    return block.substr(0, used);
}

std::string Head(uint32_t stream, const char* status, bool end, const char* name = nullptr,
                 const char* value = "") {
    std::string block =
        name ? Block({{":status", status}, {name, value}}) : Block({{":status", status}});
    return Frame(kHeaders, 4 | (end ? 1 : 0), stream, block);
}

std::string Data(uint32_t stream, const std::string& bytes, bool end) {
    return Frame(kData, end ? 1 : 0, stream, bytes);
}

const std::string kPreface = Settings({});

// One client connection whose sink writes what it hears into log.
struct Client {
    H2Session* session = H2Open({this, OnHead, OnData, OnFailed});
    std::string log;
    bool keepData = true;
    std::string request; // the last HEADERS block we sent

    ~Client() { H2Close(session); }

    static void OnHead(void* c, int32_t stream, int status, const H2Header* f, int count,
                       bool end) {
        std::string& log = ((Client*)c)->log;
        log += "head " + std::to_string(stream) + " " + std::to_string(status);
        for (int i = 0; i < count; i++) {
            log += " " + std::string(f[i].name, (size_t)f[i].nameLength) + "=" +
                   std::string(f[i].value, (size_t)f[i].valueLength);
        }
        log += end ? " end;" : ";";
    }
    static bool OnData(void* c, int32_t stream, const char* bytes, int n, bool end) {
        ((Client*)c)->log += "data " + std::to_string(stream) + " " +
                             std::string(bytes, (size_t)n) + (end ? " end;" : ";");
        return ((Client*)c)->keepData;
    }
    static void OnFailed(void* c, int32_t stream, uint32_t error, bool refused) {
        ((Client*)c)->log += "failed " + std::to_string(stream) + " " + std::to_string(error) +
                             (refused ? " refused;" : ";");
    }

    int32_t Get() {
        return H2StartRequest(session, {"GET", "https", "example.com", "/f", nullptr, 0});
    }
    bool Feed(const std::string& bytes) { return H2Feed(session, bytes.data(), bytes.size()); }

    // Drains the output, past our preface, as one short text per frame.
    std::string Sent() {
        size_t n = 0;
        const char* out = H2Output(session, &n);
        std::string bytes(out, n), text;
        H2OutputSent(session, n);
        if (bytes.compare(0, 3, "PRI") == 0) bytes = bytes.substr(24);
        for (size_t p = 0; p + 9 <= bytes.size();) {
            const uint8_t* h = (const uint8_t*)bytes.data() + p;
            size_t length = (size_t)h[0] << 16 | (size_t)h[1] << 8 | h[2];
            std::string payload = bytes.substr(p + 9, length);
            // The 32-bit value that matters: an increment or an error code.
            std::string padded = payload + std::string(8, '\0');
            const uint8_t* v = (const uint8_t*)padded.data() + (h[3] == kGoAway ? 4 : 0);
            std::string value =
                std::to_string((uint32_t)v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3]);
            static const char* const kTexts[] = {
                "", "headers %", "", "rst % =", "settings", "", "pong ?", "goaway =", "window % ="};
            std::string t = h[3] == kSettings && h[4] == 1 ? "ack"
                            : h[3] <= kWindow              ? kTexts[h[3]]
                                                           : "?";
            if (t.find('%') != std::string::npos) t.replace(t.find('%'), 1, std::to_string(h[8]));
            if (t.find('=') != std::string::npos) t.replace(t.find('='), 1, value);
            if (t.find('?') != std::string::npos) t.replace(t.find('?'), 1, payload);
            if (h[3] == kHeaders) request = payload;
            text += t + (h[3] == kHeaders && h[4] == 5 ? " end;" : ";");
            p += 9 + length;
        }
        return text;
    }
};

} // namespace

TEST(H2Session, PrefaceSettingsAndAck) {
    Client c;
    size_t n = 0;
    const char* out = H2Output(c.session, &n);
    EXPECT_EQ(std::string(out, n), "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" +
                                       Settings({{2, 0},
                                                 {4, kH2StreamWindow},
                                                 {5, kH2MaxFrameSize},
                                                 {1, kH2HeaderTableSize},
                                                 {6, kH2MaxHeaderListSize}}) +
                                       Frame(kWindow, 0, 0, U32(kH2ConnectionWindow - 65535)));
    c.Sent();
    // The server's SETTINGS is answered; its ACK of ours needs nothing.
    ASSERT_TRUE(c.Feed(Settings({{3, 10}, {4, 1 << 20}, {5, 1 << 20}, {0x99, 7}}) +
                       Frame(kSettings, 1, 0, "")));
    EXPECT_EQ(c.Sent(), "ack;");
    EXPECT_EQ(H2StreamLimit(c.session), 10);
}

TEST(H2Session, GetWithHeadAndBodyInAnySplit) {
    const std::string server = kPreface + Head(1, "200", false, "content-type", "text/plain") +
                               Data(1, "hello ", false) + Data(1, "world", true);
    for (size_t step : {server.size(), (size_t)1, (size_t)5}) {
        Client c;
        ASSERT_EQ(c.Get(), 1);
        EXPECT_EQ(c.Sent(), "settings;window 0 " + std::to_string(kH2ConnectionWindow - 65535) +
                                ";headers 1 end;");
        // Our request, ended with its head: :method GET, :scheme https, then literals.
        EXPECT_EQ(c.request.substr(0, 3), "\x82\x87\x01");
        for (size_t p = 0; p < server.size(); p += step)
            ASSERT_TRUE(c.Feed(server.substr(p, step)));
        EXPECT_EQ(c.log, "head 1 200 content-type=text/plain;data 1 hello ;data 1 world end;");
        EXPECT_EQ(H2OpenStreams(c.session), 0);
    }
}

TEST(H2Session, ContinuationPaddingPriorityInterimAndTrailers) {
    Client c;
    c.Get();
    std::string block = Block({{":status", "200"}, {"content-length", "3"}, {"etag", "\"x\""}});
    // Padded, with priority, its block over two CONTINUATIONs, after a 103.
    std::string headers = std::string(1, (char)4) + U32(0) + "\x10" + block.substr(0, 3) + "pppp";
    ASSERT_TRUE(c.Feed(kPreface + Head(1, "103", false, "link", "</s.css>") +
                       Frame(kHeaders, 0x8 | 0x20, 1, headers) +
                       Frame(kContinuation, 0, 1, block.substr(3, 4)) +
                       Frame(kContinuation, 4, 1, block.substr(7)) +
                       Frame(kData, 0x8, 1, std::string(1, (char)2) + "abczz") +
                       Frame(kHeaders, 4 | 1, 1, Block({{"x-sum", "1"}}))));
    EXPECT_EQ(c.log, "head 1 200 content-length=3 etag=\"x\";data 1 abc;data 1  end;");
}

TEST(H2Session, ConnectionErrors) {
    const std::string open = Frame(kHeaders, 0, 1, Block({{":status", "200"}}));
    const struct {
        std::string frames;
        H2Error error;
    } cases[] = {
        {Head(1, "200", true), H2ProtocolError}, // the server's preface is not SETTINGS
        {Frame(kSettings, 0, 0, "12345"), H2FrameSizeError},
        {kPreface + Frame(kSettings, 1, 0, "123456"), H2FrameSizeError},
        {Frame(kSettings, 0, 1, ""), H2ProtocolError},
        {Settings({{2, 2}}), H2ProtocolError},             // ENABLE_PUSH 2
        {Settings({{4, 0x80000000}}), H2FlowControlError}, // INITIAL_WINDOW_SIZE
        {Settings({{5, 16383}}), H2ProtocolError},         // MAX_FRAME_SIZE
        {Settings({{5, 1 << 24}}), H2ProtocolError},
        {kPreface + Frame(kPush, 4, 1, U32(2) + Block({{":method", "GET"}})), H2ProtocolError},
        {kPreface + Frame(kPing, 0, 0, "1234567"), H2FrameSizeError},
        {kPreface + Frame(kPing, 0, 1, "12345678"), H2ProtocolError},
        {kPreface + Frame(kWindow, 0, 0, U32(0)), H2ProtocolError},
        {kPreface + Frame(kWindow, 0, 0, U32(0x7fffffff)), H2FlowControlError},
        {kPreface + Frame(kWindow, 0, 0, "123"), H2FrameSizeError},
        {kPreface + Data(3, "x", false), H2ProtocolError}, // a stream never opened
        {kPreface + Data(0, "x", false), H2ProtocolError},
        {kPreface + Head(2, "200", true), H2ProtocolError}, // a server stream
        {kPreface + Frame(kRst, 0, 0, U32(8)), H2ProtocolError},
        {kPreface + Frame(kRst, 0, 1, "12"), H2FrameSizeError},
        {kPreface + Frame(kGoAway, 0, 0, U32(0)), H2FrameSizeError},
        {kPreface + Frame(kContinuation, 4, 1, ""), H2ProtocolError},
        {kPreface + open + Frame(kPing, 0, 0, "12345678"), H2ProtocolError},
        {kPreface + open + Frame(kContinuation, 4, 3, ""), H2ProtocolError},
        {kPreface + Frame(kHeaders, 4, 1, "\x80"), H2CompressionError},
        {kPreface + Frame(kData, 0x8, 1,
                          "\x05"
                          "abcd"),
         H2ProtocolError},                                                   // padding
        {kPreface + Frame(kHeaders, 0x20 | 4, 1, "1234"), H2FrameSizeError}, // priority
        {kPreface + Frame(kPriority, 0, 0, "12345"), H2ProtocolError},
        {kPreface + Data(1, std::string(kH2MaxFrameSize + 1, 'x'), false), H2FrameSizeError},
    };
    for (const auto& c : cases) {
        std::string code = std::to_string(c.error);
        Client client;
        client.Get();
        client.Sent();
        EXPECT_FALSE(client.Feed(c.frames)) << code;
        EXPECT_EQ(H2Failure(client.session), c.error);
        // Stream 1 lost with the connection, our GOAWAY last, no new streams.
        EXPECT_EQ(client.log, "failed 1 " + code + ";");
        std::string sent = client.Sent();
        EXPECT_EQ(sent.substr(sent.rfind("goaway")), "goaway " + code + ";");
        EXPECT_EQ(client.Get(), 0);
    }
    // Frames a client lets pass.
    Client c;
    c.Get();
    EXPECT_TRUE(c.Feed(kPreface + Frame(0x42, 0xff, 1, "unknown") +
                       Frame(kPriority, 0, 1, "12345") + Frame(kPriority, 0, 9, "12345") +
                       Frame(kPing, 1, 0, "12345678") + Settings({{2, 1}})));
}

TEST(H2Session, StreamErrorsResetOneStream) {
    const struct {
        std::string frames; // on stream 1, after a head when the case says
        bool afterHead;
        H2Error error;
    } cases[] = {
        {Frame(kWindow, 0, 1, U32(0)), true, H2ProtocolError},
        {Frame(kWindow, 0, 1, U32(0x7fffffff)), true, H2FlowControlError},
        {Data(1, "x", false), false, H2ProtocolError}, // before the head
        {Frame(kHeaders, 5, 1, Block({{"server", "x"}})), false, H2ProtocolError},
        {Head(1, "2000", true), false, H2ProtocolError},
        {Head(1, "200", true, "Server", "x"), false, H2ProtocolError},
        {Head(1, "200", true, "connection", "close"), false, H2ProtocolError},
        {Head(1, "200", true, "location", "/a\r\nx: y"), false, H2ProtocolError},
        {Head(1, "200", true, ":path", "/"), false, H2ProtocolError},
        {Frame(kHeaders, 5, 1, Block({{"server", "x"}, {":status", "200"}})), false,
         H2ProtocolError},
        {Head(1, "100", true), false, H2ProtocolError},  // an interim head that ends
        {Head(1, "101", false), false, H2ProtocolError}, // no upgrades in HTTP/2
        {Head(1, "200", false), true, H2ProtocolError},  // trailers that do not end
        {Frame(kPriority, 0, 1, "1234"), true, H2FrameSizeError},
    };
    for (const auto& c : cases) {
        std::string code = std::to_string(c.error);
        Client client;
        client.Get();
        client.Get();
        client.Sent();
        ASSERT_TRUE(client.Feed(kPreface + (c.afterHead ? Head(1, "200", false) : "") + c.frames +
                                Head(3, "204", true)));
        EXPECT_EQ(client.Sent(), "ack;rst 1 " + code + ";");
        EXPECT_EQ(client.log, (c.afterHead ? "head 1 200;" : "") + std::string("failed 1 ") + code +
                                  ";head 3 204 end;");
    }
}

TEST(H2Session, ResetAndGoAwayAmongSeveral) {
    Client c;
    for (int i = 0; i < 5; i++)
        c.Get();
    ASSERT_TRUE(c.Feed(kPreface + Head(1, "200", false) + Head(3, "200", false) +
                       Frame(kRst, 0, 3, U32(H2Cancel)) + Frame(kRst, 0, 5, U32(H2RefusedStream)) +
                       Data(3, "late", false) +
                       Frame(kGoAway, 0, 0, U32(7) + U32(H2NoError) + "debug text")));
    EXPECT_EQ(c.log, "head 1 200;head 3 200;failed 3 8;failed 5 7 refused;failed 9 0 refused;");
    EXPECT_TRUE(H2Draining(c.session));
    EXPECT_EQ(c.Get(), 0);
    // Streams below the bound finish; a later GOAWAY may not raise it.
    c.log.clear();
    ASSERT_TRUE(
        c.Feed(Frame(kGoAway, 0, 0, U32(99) + U32(0)) + Data(1, "a", true) + Head(7, "200", true)));
    EXPECT_EQ(c.log, "data 1 a end;head 7 200 end;");
    EXPECT_EQ(H2OpenStreams(c.session), 0);
    EXPECT_EQ(c.Sent().find("rst"), std::string::npos);
}

TEST(H2Session, StreamLimits) {
    Client c;
    EXPECT_EQ(H2StreamLimit(c.session), kH2MaxStreams);
    ASSERT_TRUE(c.Feed(Settings({{3, 2}})));
    EXPECT_EQ(c.Get() + c.Get(), 1 + 3);
    EXPECT_FALSE(H2CanOpen(c.session));
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
    ASSERT_TRUE(c.Feed(kPreface + Head(1, "200", false) + Head(3, "200", false) +
                       Head(5, "200", false) + Head(7, "200", false)));
    c.Sent();
    // Half of a stream's window on each of four streams: an update for each,
    // and with the fourth, half of the connection's (counted first).
    const std::string frame = Data(1, std::string(kH2MaxFrameSize, 'x'), false);
    std::string half = std::to_string(kH2StreamWindow / 2), expected;
    for (char stream = 1; stream <= 7; stream += 2) {
        std::string onStream = frame;
        onStream[8] = stream;
        for (uint32_t i = 0; i < kH2StreamWindow / 2 / kH2MaxFrameSize; i++)
            c.Feed(onStream);
        if (stream == 7) expected += "window 0 " + std::to_string(kH2ConnectionWindow / 2) + ";";
        expected += "window " + std::to_string(stream) + " " + half + ";";
    }
    EXPECT_EQ(c.Sent(), expected);
    EXPECT_EQ(H2Failure(c.session), H2NoError);
}

TEST(H2Session, ReceiverThatStopsAndCancel) {
    Client c;
    c.Get();
    c.Get();
    c.keepData = false;
    ASSERT_TRUE(
        c.Feed(kPreface + Head(1, "200", false) + Data(1, "x", false) + Data(1, "ignored", true)));
    H2CancelStream(c.session, 3);
    ASSERT_TRUE(c.Feed(Head(3, "200", true)));
    EXPECT_EQ(c.log, "head 1 200;data 1 x;");
    EXPECT_EQ(c.Sent(), "settings;window 0 " + std::to_string(kH2ConnectionWindow - 65535) +
                            ";headers 1 end;headers 3 end;ack;rst 1 8;rst 3 8;");
}

TEST(H2Session, HeadPastTheListBound) {
    Client c;
    c.Get();
    c.Get();
    // 70 KiB of head over HEADERS and CONTINUATIONs: stream 1 is reset, yet
    // the entry the block indexed serves stream 3's head.
    std::string block = Block({{":status", "200"}, {"x-big", std::string(60000, 'v')}}) +
                        "\x40\x01k\x01v" + Block({{"x-more", std::string(10000, 'w')}});
    ASSERT_TRUE(c.Feed(kPreface + Frame(kHeaders, 0, 1, block.substr(0, 40000)) +
                       Frame(kContinuation, 0, 1, block.substr(40000, 20000)) +
                       Frame(kContinuation, 4, 1, block.substr(60000)) +
                       Frame(kHeaders, 5, 3, Block({{":status", "200"}}) + "\xbe")));
    EXPECT_EQ(c.log, "failed 1 8;head 3 200 k=v end;");
    // A compressed block past what we hold ends the connection.
    std::string flood = Frame(kContinuation, 0, 1, std::string(kH2MaxFrameSize, '\x82'));
    EXPECT_FALSE(c.Feed(Frame(kHeaders, 0, 1, "") + flood + flood));
    EXPECT_EQ(H2Failure(c.session), H2EnhanceYourCalm);
}

TEST(H2Session, ServerThatDoesNotRead) {
    const std::string ping = Frame(kPing, 0, 0, "pingpong");
    Client reading, deaf, settings;
    ASSERT_TRUE(reading.Feed(kPreface) && deaf.Feed(kPreface));
    reading.Sent();
    for (int i = 0; i < 1000; i++) {
        ASSERT_TRUE(reading.Feed(ping));
        ASSERT_EQ(reading.Sent(), "pong pingpong;");
    }
    for (int i = 0; i < kH2MaxPendingPings; i++)
        ASSERT_TRUE(deaf.Feed(ping));
    EXPECT_FALSE(deaf.Feed(ping));
    EXPECT_EQ(H2Failure(deaf.session), H2EnhanceYourCalm);
    // Other answers the server never collects fill the output to its bound, no further.
    bool ok = true;
    for (int i = 0; i < 100000 && ok; i++)
        ok = settings.Feed(kPreface);
    EXPECT_EQ(H2Failure(settings.session), H2EnhanceYourCalm);
    size_t pending = 0;
    H2Output(settings.session, &pending);
    EXPECT_LE(pending, kH2OutputLimit);
}

TEST(H2Session, SendWindowsPoliteGoAwayAndUnsendableRequests) {
    Client c;
    c.Get();
    // A send window raised past 2^31 - 1 by a new INITIAL_WINDOW_SIZE.
    ASSERT_TRUE(c.Feed(Settings({{4, 0x7fffffff - 10}}) + Frame(kWindow, 0, 1, U32(10))));
    EXPECT_FALSE(c.Feed(Settings({{4, 0x7fffffff}})));
    EXPECT_EQ(H2Failure(c.session), H2FlowControlError);

    Client polite;
    polite.Get();
    polite.Sent();
    H2GoAway(polite.session);
    EXPECT_EQ(polite.Get(), 0);
    EXPECT_EQ(polite.Sent(), "goaway 0;");
    ASSERT_TRUE(polite.Feed(kPreface + Head(1, "200", true))); // the open stream finishes
    EXPECT_EQ(polite.log, "head 1 200 end;");

    Client fresh;
    std::string cookie(kH2MaxRequestHead, '\x01'); // no shorter in Huffman code
    const H2Header refused[] = {{"cookie", 6, cookie.data(), (int32_t)cookie.size()},
                                {"x-a", 3, "1\r\nx: 2", 7}};
    for (const H2Header& field : refused) {
        EXPECT_EQ(H2StartRequest(fresh.session, {"GET", "https", "e.jp", "/", &field, 1}), 0);
    }
    EXPECT_EQ(fresh.Get(), 1);
}
