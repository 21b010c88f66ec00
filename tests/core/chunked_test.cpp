// The chunk decoder, fed whole and one byte at a time, and the head
// readings that choose the framing.
#include <gtest/gtest.h>

#include <string>

#include "engine/chunked.h"
#include "engine/http.h"

namespace {

bool Append(const char* bytes, int n, void* context) {
    ((std::string*)context)->append(bytes, (size_t)n);
    return true;
}

struct Fed {
    ChunkAnswer answer;
    std::string body;
    int used;  // of the piece that finished, or of the last piece
};

Fed Feed(const std::string& stream, size_t step) {
    ChunkDecoder d = {};
    Fed fed = {ChunkWantMore, "", 0};
    for (size_t p = 0; p < stream.size() && fed.answer == ChunkWantMore; p += step) {
        size_t n = std::min(step, stream.size() - p);
        fed.answer = ChunkFeed(&d, stream.data() + p, (int)n, Append, &fed.body, &fed.used);
        if (fed.answer == ChunkDone) fed.used += (int)p;
    }
    return fed;
}

}  // namespace

TEST(Chunked, DecodesWholeOrByteByByte) {
    const std::string big(70000, 'x');
    const struct {
        std::string stream;
        ChunkAnswer answer;
        std::string body;
        int after;  // bytes after the body's end
    } cases[] = {
        {"5\r\nhello\r\n0\r\n\r\n", ChunkDone, "hello", 0},
        {"5;name=val;q=\"a b\"\r\nhello\r\n6 ; x\r\n world\r\n0;end\r\n\r\n", ChunkDone,
         "hello world", 0},
        {"A\r\n0123456789\r\n0\r\nExpires: never\r\nX-Sum: 1\r\n\r\nGET /next", ChunkDone,
         "0123456789", 9},
        {"3\nabc\n0\n\n", ChunkDone, "abc", 0},  // bare line feeds
        {"1117\r\n" + big.substr(0, 0x1117) + "\r\n0\r\n\r\n", ChunkDone, big.substr(0, 0x1117), 0},
        {"5\r\nhel", ChunkWantMore, "hel", 0},
        {"5\r\nhello\r\n0\r\nTrailer: cut", ChunkWantMore, "hello", 0},
        // Hostile or broken: refused, whatever came before.
        {"1000000000000000\r\n", ChunkError, "", 0},   // 2^60, past the digits allowed
        {"fffffffffffffff\r\nab", ChunkWantMore, "ab", 0},  // the largest size taken
        {"-5\r\nhello\r\n0\r\n\r\n", ChunkError, "", 0},
        {"\r\nhello\r\n", ChunkError, "", 0},
        {"5x\r\nhello\r\n", ChunkError, "", 0},
        {"0x5\r\nhello\r\n", ChunkError, "", 0},
        {"5\r\nhelloX\r\n0\r\n\r\n", ChunkError, "hello", 0},
        {"5\r\rhello\r\n", ChunkError, "", 0},
        {"1;" + std::string(kChunkLineLimit, 'e') + "\r\nx\r\n0\r\n\r\n", ChunkError, "", 0},
        {"0\r\n" + std::string(kChunkLineLimit + 1, 't') + "\r\n\r\n", ChunkError, "", 0},
        {"0\r\n", ChunkWantMore, "", 0},
    };
    for (const auto& c : cases) {
        for (size_t step : {c.stream.size(), (size_t)1, (size_t)7}) {
            Fed fed = Feed(c.stream, step);
            std::string shown = c.stream.substr(0, 40) + " step " + std::to_string(step);
            EXPECT_EQ(fed.answer, c.answer) << shown;
            EXPECT_EQ(fed.body, c.body) << shown;
            if (c.answer == ChunkDone) {
                EXPECT_EQ((int)c.stream.size() - fed.used, c.after) << shown;
            }
        }
    }
    // Trailers past their bound in all, each line within its own.
    std::string many = "0\r\n";
    while ((int)many.size() <= kChunkTrailerLimit) many += "X-Pad: " + std::string(100, 'p') + "\r\n";
    EXPECT_EQ(Feed(many + "\r\n", 4096).answer, ChunkError);
}

TEST(Chunked, StopsWhenTheReceiverEnds) {
    ChunkDecoder d = {};
    int used = 0;
    auto refuse = [](const char*, int, void*) { return false; };
    EXPECT_EQ(ChunkFeed(&d, "3\r\nabc\r\n0\r\n\r\n", 13, refuse, nullptr, &used), ChunkStopped);
}

TEST(HttpFraming, HeadReadings) {
    const struct {
        const char* head;
        bool http11, chunked, close;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true, true, false},
        {"HTTP/1.1 200 OK\r\ntransfer-encoding: gzip, Chunked\r\nConnection: Close\r\n\r\n",
         true, true, true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", true, false, false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunkedx\r\nConnection: keep-alive, close\r\n\r\n",
         true, false, true},
        {"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nX: chunked\r\n\r\n", false, false, false},
        {"HTTP/2.0 200 OK\r\nConnection: closed\r\n\r\n", true, false, false},
        {"HTTP/1.1 2000 OK\r\n\r\n", false, false, false},
    };
    for (const auto& c : cases) {
        int len = (int)strlen(c.head);
        EXPECT_EQ(IsHttp11(c.head, len), c.http11) << c.head;
        EXPECT_EQ(IsChunkedAnswer(c.head, len), c.chunked) << c.head;
        EXPECT_EQ(HeaderHasToken(c.head, len, "Connection", "close"), c.close) << c.head;
    }
}
