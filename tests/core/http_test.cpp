// The engine's HTTP texts: address splitting, the request, head reading and
// date reformatting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/links.h"
#include "engine/http.h"
#include "resources/version.h"

namespace {

TEST(HttpDate, ThreeLayoutsAndTheirVariants) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", "1994/11/06 08:49:37"},
        {"Sunday, 06-Nov-94 08:49:37 GMT", "1994/11/06 08:49:37"},
        {"Sun Nov  6 08:49:37 1994", "1994/11/06 08:49:37"},
        {"Wednesday, 01-Jan-20 00:00:01 GMT", "2020/01/01 00:00:01"},  // 50 or less: 20xx
        {"Thursday, 31-Dec-51 23:59:59 GMT", "1951/12/31 23:59:59"},
        {"Mon, 01 Dec 2003 10:00:00 GMT", "2003/12/01 10:00:00"},
        {"Sat Feb 29 12:00:00 2020", "2020/02/29 12:00:00"},
        {"06 Nov 1994 08:49:37 GMT", "8/00/00 :37 GMT"},  // no weekday: layout A as it falls
        {"", "0/00/00 "},
        {"Sun, 0", "0/00/00 "},  // short values read nothing beyond their end
    };
    for (const auto& c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        FormatHttpDate(c.text, out);
        EXPECT_STREQ(out, c.expected) << c.text;
        EXPECT_LE(strlen(out), 19u);
    }
}

TEST(HttpAddress, SplitIntoHostPortPath) {
    const struct {
        const char* address;
        const char* host;
        int port;
        const char* path;
    } cases[] = {
        {"http://host/dir/a.jpg", "host", 80, "/dir/a.jpg"},
        {"http://host:8080/x.html", "host", 8080, "/x.html"},
        {"HTTP://Host", "Host", 80, "/"},
        {"http://host:99999/", "host", 80, "/"},
        {"http://host:/a", "host", 80, "/a"},
        {"http://h/a?b=/c", "h", 80, "/a?b=/c"},
        {"https://host/dir/a.jpg", "host", 443, "/dir/a.jpg"},
        {"HTTPS://host:8443", "host", 8443, "/"},
        {"https://host:0/x", "host", 443, "/x"},
        {"https://h:/a", "h", 443, "/a"},
    };
    for (const auto& c : cases) {
        char host[256], path[256];
        uint16_t port = 0;
        SplitAddress(c.address, host, sizeof host, &port, path, sizeof path);
        EXPECT_STREQ(host, c.host) << c.address;
        EXPECT_EQ(port, c.port) << c.address;
        EXPECT_STREQ(path, c.path) << c.address;
    }
}

TEST(HttpAddress, LocalNameAndEscapedSpaces) {
    char out[256];
    LocalNameOf("http://host/dir/", out, sizeof out);
    EXPECT_STREQ(out, "index.html");
    LocalNameOf("http://host", out, sizeof out);
    EXPECT_STREQ(out, "host");
    LocalNameOf("http://h/a.php?x=1", out, sizeof out);
    EXPECT_STREQ(out, "a.php");
    LocalNameOf("http://h/a.jpg?from=/b/c.gif#d/e", out, sizeof out);
    EXPECT_STREQ(out, "a.jpg");
    LocalNameOf("http://h/d/?q=1", out, sizeof out);
    EXPECT_STREQ(out, "index.html");
    EXPECT_TRUE(EscapeSpaces("http://h/a b c.jpg", out, sizeof out));
    EXPECT_STREQ(out, "http://h/a%20b%20c.jpg");
    // An escape that no longer fits is left out whole, and said so.
    char small[12];
    EXPECT_FALSE(EscapeSpaces("http://h/ a", small, sizeof small));
    EXPECT_STREQ(small, "http://h/");
    char exact[13];
    EXPECT_TRUE(EscapeSpaces("http://h/ ", exact, sizeof exact));
    EXPECT_STREQ(exact, "http://h/%20");
}

TEST(HttpAddress, Schemes) {
    const struct {
        const char* address;
        int length;
        bool secure;
    } cases[] = {
        {"http://h/", 7, false}, {"HTTPS://h/", 8, true}, {"https:/h", 0, false},
        {"ftp://h/", 0, false},  {"httpx://h", 0, false}, {"", 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SchemeLength(c.address), c.length) << c.address;
        EXPECT_EQ(IsSecureAddress(c.address), c.secure) << c.address;
    }
}

TEST(HttpRequest, LongestRequestIsComplete) {
    std::string path = "/" + std::string(254, 'p');
    std::string host(255, 'h');
    std::string address = "http://" + std::string(248, 'a');
    std::string referer = "https://" + std::string(251, 'r');
    char out[kRequestSize];
    for (const char* proxy : {(const char*)nullptr, address.c_str()}) {
        RequestParts parts = {true, proxy ? proxy : path.c_str(), host.c_str(), !proxy,
                              referer.c_str()};
        int len = BuildRequest(out, sizeof out, parts);
        ASSERT_EQ(len, (int)strlen(out));
        EXPECT_EQ(std::string(out).substr(len - 4), "\r\n\r\n");
        EXPECT_EQ(std::string(out, 5), "HEAD ");
        EXPECT_NE(std::string(out).find("Referer: " + referer + "\r\n"), std::string::npos);
    }
    // With the longest Cookie value a request carries, nothing is cut either.
    std::string cookie = "n=" + std::string(kCookieHeaderSize - 3, 'c');
    RequestParts parts = {false, path.c_str(), host.c_str(), true, referer.c_str(), cookie.c_str()};
    int len = BuildRequest(out, sizeof out, parts);
    EXPECT_EQ(std::string(out).substr(len - 4), "\r\n\r\n");
    EXPECT_NE(std::string(out).find("\r\nCookie: " + cookie + "\r\n\r\n"),
              std::string::npos);
}

TEST(HttpRequest, ExactBytes) {
    const struct {
        RequestParts parts;
        const char* expected;
    } cases[] = {
        {{false, "/dir/a%20b.jpg", "host", true, nullptr},
         "GET /dir/a%20b.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: host\r\n"
         "User-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n"},
        {{true, "/a.jpg", "host", true, "https://host/page.html"},
         "HEAD /a.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: host\r\n"
         "User-Agent: Ferrow/" FERROW_VERSION "\r\nReferer: https://host/page.html\r\n"
         "\r\n"},
        {{false, "http://host/a.jpg", "host", false, ""},
         "GET http://host/a.jpg HTTP/1.1\r\nHost: host\r\nUser-Agent: Ferrow/" FERROW_VERSION
         "\r\n\r\n"},
        // A resumed download: the rest, guarded by the validator if there is one.
        {{false, "/big.bin", "host", false, "", nullptr, 3145728, "\"v1\""},
         "GET /big.bin HTTP/1.1\r\nHost: host\r\nUser-Agent: Ferrow/" FERROW_VERSION
         "\r\nRange: bytes=3145728-\r\nIf-Range: \"v1\"\r\n\r\n"},
        {{false, "/big.bin", "host", false, nullptr, nullptr, 5, ""},
         "GET /big.bin HTTP/1.1\r\nHost: host\r\nUser-Agent: Ferrow/" FERROW_VERSION
         "\r\nRange: bytes=5-\r\n\r\n"},
        {{false, "/big.bin", "host", false, nullptr, nullptr, 0, "\"v1\""},
         "GET /big.bin HTTP/1.1\r\nHost: host\r\nUser-Agent: Ferrow/" FERROW_VERSION
         "\r\n\r\n"},
        {{false, "/a.jpg", "host", true, "http://host/", "sid=abc; b=2"},
         "GET /a.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: host\r\n"
         "User-Agent: Ferrow/" FERROW_VERSION "\r\nReferer: http://host/\r\n"
         "Cookie: sid=abc; b=2\r\n\r\n"},
        {{true, "/a.jpg", "host", true, nullptr, "sid=abc"},
         "HEAD /a.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: host\r\n"
         "User-Agent: Ferrow/" FERROW_VERSION "\r\nCookie: sid=abc\r\n"
         "\r\n"},
        {{false, "/a.jpg", "host", true, nullptr, ""},
         "GET /a.jpg HTTP/1.1\r\nProxy-Connection:Keep-Alive\r\nHost: host\r\n"
         "User-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n"},
        // A page takes compressed answers; a server on its own port is named with it.
        {{false, "/p.html", "host", false, nullptr, nullptr, 0, nullptr, true, 8080},
         "GET /p.html HTTP/1.1\r\nHost: host:8080\r\nUser-Agent: Ferrow/" FERROW_VERSION
         "\r\nAccept-Encoding: gzip, deflate\r\n\r\n"},
    };
    for (const auto& c : cases) {
        char out[kRequestSize];
        int len = BuildRequest(out, sizeof out, c.parts);
        EXPECT_EQ(std::string(out, (size_t)len), c.expected);
    }
    char out[kRequestSize];
    int len = BuildTunnelRequest(out, sizeof out, "host", 443);
    EXPECT_EQ(std::string(out, (size_t)len), "CONNECT host:443 HTTP/1.0\r\nHost: host:443\r\n"
                                             "User-Agent: Ferrow/" FERROW_VERSION "\r\n\r\n");
}

TEST(HttpRetry, ContentRange) {
    const struct {
        const char* value;
        bool ok;
        int64_t first, total;
    } cases[] = {
        {"bytes 100-199/200", true, 100, 200},
        {"bytes 0-0/1", true, 0, 1},
        {"bytes  7-9/*", true, 7, -1},
        {"bytes 5000000000-5000000001/9000000000", true, 5000000000, 9000000000},
        {"bytes 100-199/150", false, 0, 0},   // past the end
        {"bytes 200-100/300", false, 0, 0},   // backwards
        {"bytes */200", false, 0, 0},         // the answer to an unsatisfiable range
        {"items 0-1/2", false, 0, 0},
        {"bytes 1-2/3 x", false, 0, 0},
        {"bytes 1-/3", false, 0, 0},
        {"bytes 99999999999999999999-1/2", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        int64_t first = -5, total = -5;
        EXPECT_EQ(ParseContentRange(c.value, &first, &total), c.ok) << c.value;
        if (!c.ok) continue;
        EXPECT_EQ(first, c.first) << c.value;
        EXPECT_EQ(total, c.total) << c.value;
    }
}

TEST(HttpRetry, DatesAsSecondsAndRetryAfter) {
    int64_t seconds = 0;
    ASSERT_TRUE(HttpDateSeconds("Sun, 06 Nov 1994 08:49:37 GMT", &seconds));
    EXPECT_EQ(seconds, 784111777);
    ASSERT_TRUE(HttpDateSeconds("Sunday, 06-Nov-94 08:49:37 GMT", &seconds));
    EXPECT_EQ(seconds, 784111777);
    ASSERT_TRUE(HttpDateSeconds("Sun Nov  6 08:49:37 1994", &seconds));
    EXPECT_EQ(seconds, 784111777);
    ASSERT_TRUE(HttpDateSeconds("Thu, 29 Feb 2024 00:00:00 GMT", &seconds));
    EXPECT_EQ(seconds, 1709164800);
    for (const char* bad : {"", "soon", "Sun, 06 Xyz 1994 08:49:37 GMT", "Sun, 06 Nov 1994 8:9:37"})
        EXPECT_FALSE(HttpDateSeconds(bad, &seconds)) << bad;

    const char* date = "Sun, 06 Nov 1994 08:49:37 GMT";
    const struct {
        const char* after;
        const char* date;
        int seconds;
    } cases[] = {
        {"1", nullptr, 1},
        {"0", nullptr, 0},
        {"120", nullptr, 120},
        {"121", nullptr, 120},
        {"99999999999999999999999", nullptr, 120},
        {"Sun, 06 Nov 1994 08:49:44 GMT", date, 7},
        {"Sun, 06 Nov 1994 08:49:30 GMT", date, 0},   // already past
        {"Mon, 07 Nov 1994 08:49:37 GMT", date, 120},
        {"Sun, 06 Nov 1994 08:49:44 GMT", nullptr, -1},  // nothing to measure from
        {"Sun, 06 Nov 1994 08:49:44 GMT", "garbage", -1},
        {"-5", nullptr, -1},
        {"5 s", nullptr, -1},
        {"", nullptr, -1},
        {nullptr, nullptr, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryAfterSeconds(c.after, c.date, 120), c.seconds) << (c.after ? c.after : "null");
}

TEST(HttpHead, EndMarks) {
    const struct {
        const char* text;
        int body;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nbody", 19}, {"HTTP/1.0 200 OK\n\nbody", 17},
        {"HTTP/1.0 200 OK\r\rbody", 17},     {"HTTP/1.0 200 OK\r\nX: y\r\n", -1},
        {"", -1},                            {"\r\n\r", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindHeadEnd(c.text, (int)strlen(c.text)), c.body) << c.text;
}

TEST(HttpHead, StatusLine) {
    const struct {
        const char* text;
        int status;
    } cases[] = {
        {"HTTP/1.0 200 OK", 200}, {"HTTP/1.1 404 Not Found", 404}, {"HTTP/1.0 302", 302},
        {"HTTP/1.0 2", 0},        {"HTTP/1.0 2000", 0},            {"hello world 200", 0},
        {"HTTP/10 200 OK", 0},    {"http/1.0 200 OK", 0},          {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseStatusLine(c.text, (int)strlen(c.text)), c.status) << c.text;
}

TEST(HttpHead, HeaderValuesComeFromLineStartsOnly) {
    const char head[] =
        "HTTP/1.0 200 OK\r\nX-Note: Content-Length: 99\r\ncontent-length:  42 \r\n"
        "Location: /a\r\nLOCATION:\t/b\r\n\r\n";
    int len = (int)strlen(head);
    char value[64];
    ASSERT_TRUE(FindHeaderValue(head, len, "Content-Length", value, sizeof value));
    EXPECT_STREQ(value, "42");
    ASSERT_TRUE(FindHeaderValue(head, len, "Location", value, sizeof value));
    EXPECT_STREQ(value, "/b");  // a later line replaces an earlier one
    EXPECT_FALSE(FindHeaderValue(head, len, "Last-Modified", value, sizeof value));
    EXPECT_FALSE(FindHeaderValue("Location: /x\r\n\r\n", 15, "Location", value, sizeof value));
    char small[4];
    ASSERT_TRUE(FindHeaderValue(head, len, "Location", small, sizeof small));
    EXPECT_STREQ(small, "/b");
}

TEST(HttpHead, EveryLineOfANameIsVisitedInOrder) {
    const char head[] = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nX-Set-Cookie: no\r\n"
                        "set-cookie:b=2; Path=/ \r\nSet-Cookie:\r\nSET-COOKIE:\t c=3\n\n";
    std::vector<std::string> seen;
    int n = VisitHeaderValues(
        head, (int)strlen(head), "Set-Cookie",
        [](const char* value, int len, void* context) {
            ((std::vector<std::string>*)context)->push_back(std::string(value, (size_t)len));
        },
        &seen);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(seen, (std::vector<std::string>{"a=1", "b=2; Path=/", "", "c=3"}));
    // The status line is never a header line, however it reads.
    const char odd[] = "Set-Cookie: s=1\r\nSet-Cookie: t=2\r\n\r\n";
    seen.clear();
    EXPECT_EQ(
        VisitHeaderValues(
            odd, (int)strlen(odd), "Set-Cookie",
            [](const char* value, int len, void* context) {
                ((std::vector<std::string>*)context)->push_back(std::string(value, (size_t)len));
            },
            &seen),
        1);
    EXPECT_EQ(seen, (std::vector<std::string>{"t=2"}));
}

TEST(HttpHead, ContentLengthValues) {
    const struct {
        const char* value;
        int64_t length;
    } cases[] = {
        {"0", 0},
        {"4096", 4096},
        {"2147483647", 2147483647},
        {"2147483648", 2147483648LL},
        {"4294967296", 4294967296LL},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", -1},
        {"-5", -1},
        {"12abc", -1},
        {"", -1},
        {"99999999999999999999", -1},
        {"+3", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseContentLength(c.value), c.length) << c.value;
}

}  // namespace
