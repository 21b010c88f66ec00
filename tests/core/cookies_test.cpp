// The cookie store: what a Set-Cookie line makes of a cookie, which requests
// carry it, and the store's limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/cookies.h"
#include "text/text.h"

namespace {

constexpr int64_t kNow = 1700000000; // 2023-11-14 22:13:20 UTC

CookieResult Set(const std::string& line, const char* host = "www.example.jp",
                 const char* path = "/dir/page.html", bool secure = false, int64_t now = kNow) {
    return StoreSetCookie(line.data(), line.size(), host, path, secure, now);
}

std::string HeaderFor(const char* host, const char* path, bool secure = false, int64_t now = kNow,
                      size_t size = 4096) {
    std::string out(size, 'x');
    CookieHeaderFor(host, path, secure, now, &out[0], size);
    return std::string(out.c_str());
}

const Cookie* Find(const char* name) {
    for (int i = 0; i < Cookies.count; i++)
        if (strcmp(Cookies.cookies[i].name, name) == 0) return &Cookies.cookies[i];
    return nullptr;
}

class CookieStore : public ::testing::Test {
  protected:
    void SetUp() override { ClearCookies(); }
    void TearDown() override { ClearCookies(); }
};

TEST(CookieRules, PublicSuffixesAndAddresses) {
    for (const char* s : {"com", "jp", "co.jp", "ne.jp", "or.jp", "ac.jp", "go.jp", "co.uk",
                          "org.uk", "ac.uk", "com.au", "de", "fr", "io", "net", "org"})
        EXPECT_TRUE(IsPublicSuffix(s)) << s;
    for (const char* s : {"example.com", "example.co.jp", "localhost", "jp.net", "", "co"})
        EXPECT_EQ(IsPublicSuffix(s), strcmp(s, "co") == 0) << s;
    for (const char* s : {"127.0.0.1", "10.1.2.3", "::1", "[::1]", "1.2.3"})
        EXPECT_TRUE(IsIpAddress(s)) << s;
    for (const char* s : {"localhost", "a1.example", "", "1.2.3.com"})
        EXPECT_FALSE(IsIpAddress(s)) << s;
}

TEST(CookieRules, DomainMatching) {
    const struct {
        const char* host;
        const char* domain;
        bool match;
    } cases[] = {
        {"example.com", "example.com", true},
        {"www.example.com", "example.com", true},
        {"a.b.example.com", "example.com", true},
        {"badexample.com", "example.com", false},
        {"example.com", "www.example.com", false},
        {"example.com", "", false},
        {"1.2.3.4", "2.3.4", false},
        {"127.0.0.1", "127.0.0.1", true},
        {"localhost", "localhost", true},
        {"www.localhost", "localhost", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DomainMatches(c.host, c.domain), c.match) << c.host << " / " << c.domain;
}

TEST(CookieRules, DefaultPathAndPathMatching) {
    const struct {
        const char* request;
        const char* path;
    } defaults[] = {
        {"/dir/page.html", "/dir"},
        {"/dir/sub/", "/dir/sub"},
        {"/page.html", "/"},
        {"/", "/"},
        {"", "/"},
        {"page", "/"},
        {"/a/b?x=/c/d", "/a"},
        {"/a/b#/c", "/a"},
    };
    for (const auto& d : defaults) {
        char out[kCookiePathSize];
        DefaultCookiePath(d.request, out, sizeof out);
        EXPECT_STREQ(out, d.path) << d.request;
    }
    const struct {
        const char* request;
        const char* cookie;
        bool match;
    } cases[] = {
        {"/dir", "/dir", true},         {"/dir/", "/dir", true},       {"/dir/a.jpg", "/dir", true},
        {"/dirt/a.jpg", "/dir", false}, {"/dir/a.jpg", "/dir/", true}, {"/", "/dir", false},
        {"/dir?q=1", "/dir", true},     {"/di", "/dir", false},        {"/x", "/", true},
        {"/DIR/a", "/dir", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathMatches(c.request, c.cookie), c.match) << c.request << " / " << c.cookie;
}

TEST(CookieRules, CookieDates) {
    const struct {
        const char* text;
        int64_t seconds; // -1: not a date
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Wed, 01-Jan-2025 00:00:00 GMT", 1735689600},
        {"1 jan 25 0:0:0", 1735689600}, // 0-69 is 20xx
        {"Fri, 31 Dec 1999 23:59:59 GMT", 946684799},
        {"Tue, 29 Feb 2000 12:00:00 GMT", 951825600}, // a leap day
        {"Thu, 29 Feb 2001 12:00:00 GMT", -1},        // not one
        {"Sun, 06 Nov 1994 24:00:00 GMT", -1},
        {"Sun, 32 Nov 1994 08:49:37 GMT", -1},
        {"Sun, 06 Nov 1600 08:49:37 GMT", -1},
        {"Sun, 06 Nov 1994", -1}, // no time
        {"", -1},
        {"tomorrow", -1},
    };
    for (const auto& c : cases) {
        int64_t seconds = -1;
        bool ok = ParseCookieDate(c.text, strlen(c.text), &seconds);
        EXPECT_EQ(ok, c.seconds != -1) << c.text;
        if (ok) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST_F(CookieStore, DomainAttributeDecidesWhoMaySetAndWhoGetsIt) {
    const struct {
        const char* line;
        const char* host;
        CookieResult result;
        const char* domain; // as stored
        bool hostOnly;
    } cases[] = {
        {"a=1", "www.example.jp", CookieStored, "www.example.jp", true},
        {"b=1; Domain=example.jp", "www.example.jp", CookieStored, "example.jp", false},
        {"c=1; Domain=.EXAMPLE.jp", "WWW.Example.JP", CookieStored, "example.jp", false},
        {"d=1; Domain=other.jp", "www.example.jp", CookieRefused, nullptr, false},
        {"e=1; Domain=sub.www.example.jp", "www.example.jp", CookieRefused, nullptr, false},
        {"f=1; Domain=co.jp", "www.example.co.jp", CookieRefused, nullptr, false},
        {"g=1; Domain=.com", "example.com", CookieRefused, nullptr, false},
        {"h=1; Domain=co.jp", "co.jp", CookieRefused, nullptr, false}, // even its own
        {"m=1", "co.jp", CookieRefused, nullptr, false},
        {"i=1; Domain=127.0.0.1", "127.0.0.1", CookieStored, "127.0.0.1", true},
        {"j=1; Domain=0.0.1", "127.0.0.1", CookieRefused, nullptr, false},
        {"k=1; Domain=localhost", "localhost", CookieStored, "localhost", false},
        {"l=1; Domain=", "www.example.jp", CookieStored, "www.example.jp", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Set(c.line, c.host), c.result) << c.line;
        std::string name(c.line, 1);
        const Cookie* stored = Find(name.c_str());
        ASSERT_EQ(stored != nullptr, c.domain != nullptr) << c.line;
        if (!stored) continue;
        EXPECT_STREQ(stored->domain, c.domain) << c.line;
        EXPECT_EQ(stored->hostOnly, c.hostOnly) << c.line;
    }
    // Host-only cookies go to their host alone, domain cookies to its subdomains.
    EXPECT_EQ(HeaderFor("www.example.jp", "/dir/x"), "a=1; b=1; c=1; l=1");
    EXPECT_EQ(HeaderFor("img.www.example.jp", "/dir/x"), "b=1; c=1");
    EXPECT_EQ(HeaderFor("example.jp", "/dir/x"), "b=1; c=1");
    EXPECT_EQ(HeaderFor("img.example.jp", "/"), ""); // default path /dir
    EXPECT_EQ(HeaderFor("co.jp", "/dir/x"), "");
    EXPECT_EQ(HeaderFor("www.co.jp", "/dir/x"), "");
    EXPECT_EQ(HeaderFor("127.0.0.1", "/dir/x"), "i=1");
    EXPECT_EQ(HeaderFor("www.localhost", "/dir/x"), "k=1");
}

TEST_F(CookieStore, NameValueAndAttributesAsRead) {
    ASSERT_EQ(Set(" sid = a b=c ; Path=/ ;HttpOnly; secure", "h.example", "/", true), CookieStored);
    const Cookie* c = Find("sid");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->value, "a b=c");
    EXPECT_STREQ(c->path, "/");
    EXPECT_TRUE(c->httpOnly);
    EXPECT_TRUE(c->secure);
    EXPECT_EQ(c->expires, kSessionCookie);
    const struct {
        const char* line;
        CookieResult result;
    } malformed[] = {
        {"", CookieRefused},
        {"novalue", CookieRefused},
        {"=value", CookieRefused},
        {"  =value; Path=/", CookieRefused},
        {"; a=b", CookieRefused},
        {"n=v\x01", CookieRefused},
        {"empty=", CookieStored},
        {"x=1; Path=relative", CookieStored},
        {"y=1; Unknown=3; SameSite=Lax", CookieStored},
    };
    for (const auto& m : malformed)
        EXPECT_EQ(Set(m.line, "h.example", "/a/b"), m.result) << m.line;
    EXPECT_STREQ(Find("x")->path, "/a"); // a path without "/" keeps the default
    EXPECT_STREQ(Find("empty")->value, "");
    // A line as long as a request may have names: too long to keep whole.
    EXPECT_EQ(Set("big=" + std::string(kCookieValueSize, 'v'), "h.example"), CookieRefused);
    EXPECT_EQ(Set(std::string(kCookieNameSize, 'n') + "=1", "h.example"), CookieRefused);
    EXPECT_EQ(Set("p=1; Path=/" + std::string(kCookiePathSize, 'p'), "h.example"), CookieRefused);
    EXPECT_EQ(Set("fit=" + std::string(kCookieValueSize - 1, 'v'), "h.example"), CookieStored);
}

TEST_F(CookieStore, SecureCookiesTravelOnlyOverHttps) {
    EXPECT_EQ(Set("s=1; Secure", "h.example", "/", false), CookieRefused);
    EXPECT_EQ(Set("s=1; Secure", "h.example", "/", true), CookieStored);
    EXPECT_EQ(Set("p=1", "h.example", "/", false), CookieStored);
    EXPECT_EQ(HeaderFor("h.example", "/", false), "p=1");
    EXPECT_EQ(HeaderFor("h.example", "/", true), "s=1; p=1");
}

TEST_F(CookieStore, MaxAgeWinsOverExpiresAndExpiredOnesDelete) {
    const struct {
        const char* line;
        CookieResult result;
        int64_t expires; // when stored
    } cases[] = {
        {"a=1; Max-Age=60", CookieStored, kNow + 60},
        {"b=1; Expires=Wed, 01 Jan 2031 00:00:00 GMT", CookieStored, 1924992000},
        {"c=1; Expires=Wed, 01 Jan 2031 00:00:00 GMT; Max-Age=10", CookieStored, kNow + 10},
        {"d=1; Max-Age=10; Expires=Thu, 01 Jan 1970 00:00:00 GMT", CookieStored, kNow + 10},
        {"e=1; Max-Age=ten", CookieStored, kSessionCookie},  // ignored
        {"f=1; Max-Age=+5", CookieStored, kSessionCookie},   // ignored
        {"g=1; Expires=soon", CookieStored, kSessionCookie}, // ignored
        {"h=1; Max-Age=99999999999999999999", CookieStored, kNow + 400LL * 366 * 86400},
        {"i=1; Max-Age=0", CookieDeleted, 0},
        {"j=1; Max-Age=-1", CookieDeleted, 0},
        {"k=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", CookieDeleted, 0},
        {"l=1; Max-Age=5; Max-Age=50", CookieStored, kNow + 50}, // the last one counts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Set(c.line, "h.example", "/"), c.result) << c.line;
        std::string name(c.line, 1);
        const Cookie* stored = Find(name.c_str());
        ASSERT_EQ(stored != nullptr, c.result == CookieStored) << c.line;
        if (stored) {
            EXPECT_EQ(stored->expires, c.expires) << c.line;
        }
    }
    // Max-Age=0 deletes a kept cookie; a cookie past its time is not sent.
    EXPECT_EQ(Set("a=gone; Max-Age=0", "h.example", "/"), CookieDeleted);
    EXPECT_EQ(Find("a"), nullptr);
    EXPECT_EQ(HeaderFor("h.example", "/", false, kNow + 11), "b=1; e=1; f=1; g=1; h=1; l=1");
    EXPECT_EQ(HeaderFor("h.example", "/", false, kNow + 10), "b=1; e=1; f=1; g=1; h=1; l=1");
    EXPECT_EQ(HeaderFor("h.example", "/", false, kNow + 9),
              "b=1; c=1; d=1; e=1; f=1; g=1; h=1; l=1");
}

TEST_F(CookieStore, SameNameDomainAndPathReplacesKeepingItsPlace) {
    Set("a=1; Path=/");
    Set("b=1; Path=/");
    Set("a=2; Path=/"); // keeps its creation: still before b
    Set("a=3; Path=/dir");
    Set("a=4; Path=/; Domain=example.jp"); // another domain: a cookie of its own
    EXPECT_EQ(Cookies.count, 4);
    EXPECT_EQ(HeaderFor("www.example.jp", "/dir/x"), "a=3; a=2; b=1; a=4");
    Set("a=5; Path=/; Max-Age=0");
    EXPECT_EQ(HeaderFor("www.example.jp", "/dir/x"), "a=3; b=1; a=4");
}

TEST_F(CookieStore, LongerPathsFirstThenOlder) {
    Set("root=1; Path=/", "h.example");
    Set("deep=1; Path=/a/b", "h.example");
    Set("mid=1; Path=/a", "h.example");
    Set("mid2=1; Path=/a/", "h.example");
    Set("other=1; Path=/b", "h.example");
    EXPECT_EQ(HeaderFor("h.example", "/a/b/c.jpg"), "deep=1; mid2=1; mid=1; root=1");
    EXPECT_EQ(HeaderFor("h.example", "/a"), "mid=1; root=1");
    EXPECT_EQ(HeaderFor("H.EXAMPLE", "/b?x"), "other=1; root=1");
}

TEST_F(CookieStore, ShortBufferLeavesWholeCookiesOff) {
    Set("aa=11; Path=/a", "h.example");
    Set("bb=22; Path=/", "h.example");
    Set("cc=33; Path=/", "h.example");
    const struct {
        size_t size;
        const char* header;
    } cases[] = {
        {1, ""},
        {5, ""},
        {6, "aa=11"},
        {12, "aa=11"},
        {13, "aa=11; bb=22"},
        {19, "aa=11; bb=22"},
        {20, "aa=11; bb=22; cc=33"},
    };
    for (const auto& c : cases) {
        std::string out(c.size + 1, '#');
        int n = CookieHeaderFor("h.example", "/a/x", false, kNow, &out[0], c.size);
        EXPECT_STREQ(out.c_str(), c.header) << c.size;
        EXPECT_EQ(out[c.size], '#') << "wrote past the buffer at " << c.size;
        EXPECT_EQ(n, c.header[0] ? 1 + (int)std::count(c.header, c.header + strlen(c.header), ';')
                                 : 0);
    }
}

TEST_F(CookieStore, FullStoreDropsExpiredThenSoonestThenOldest) {
    // Per domain: the oldest of that domain goes, others stay.
    Set("keep=1; Max-Age=5", "other.example", "/");
    for (int i = 0; i < kCookiesPerDomain + 3; i++)
        Set("n" + std::to_string(i) + "=1", "h.example", "/");
    EXPECT_EQ(Cookies.count, kCookiesPerDomain + 1);
    EXPECT_EQ(Find("n0"), nullptr);
    EXPECT_EQ(Find("n2"), nullptr);
    EXPECT_NE(Find("n3"), nullptr);
    EXPECT_NE(Find("keep"), nullptr);
    // The whole store: first what has expired, then the soonest to expire.
    ClearCookies();
    Set("short=1; Max-Age=5", "a0.example", "/");
    Set("long=1; Max-Age=500", "a0.example", "/");
    for (int i = 0; Cookies.count < kCookieLimit; i++)
        Set("s" + std::to_string(i) + "=1", ("d" + std::to_string(i / 10) + ".example").c_str(),
            "/");
    EXPECT_EQ(Set("new1=1", "z.example", "/", false, kNow + 10), CookieStored);
    EXPECT_EQ(Find("short"), nullptr); // expired by then
    EXPECT_NE(Find("long"), nullptr);
    EXPECT_EQ(Set("new2=1", "z.example", "/", false, kNow + 10), CookieStored);
    EXPECT_EQ(Find("long"), nullptr); // the soonest to expire
    EXPECT_NE(Find("s0"), nullptr);
    EXPECT_EQ(Set("new3=1", "z.example", "/", false, kNow + 10), CookieStored);
    EXPECT_EQ(Find("s0"), nullptr); // among session cookies the oldest
    EXPECT_NE(Find("s1"), nullptr);
    EXPECT_EQ(Cookies.count, kCookieLimit);
}

TEST_F(CookieStore, PutCookieRefusesWhatTheHeaderCouldNotCarry) {
    static Cookie c;
    c = Cookie{};
    CopyText(c.name, sizeof c.name, "n");
    CopyText(c.value, sizeof c.value, "v");
    CopyText(c.domain, sizeof c.domain, "h.example");
    CopyText(c.path, sizeof c.path, "/");
    c.expires = kSessionCookie;
    EXPECT_EQ(PutCookie(c, kNow), CookieStored);
    const struct {
        const char* field;
        const char* text;
    } bad[] = {
        {"name", ""},        {"name", "a=b"},      {"name", "a;b"},   {"value", "v;w"},
        {"value", "v\r\nX"}, {"domain", ""},       {"domain", "com"}, {"domain", "H.example"},
        {"path", ""},        {"path", "relative"}, {"path", "/a;b"},
    };
    for (const auto& b : bad) {
        static Cookie d;
        d = c;
        const bool isName = strcmp(b.field, "name") == 0, isValue = strcmp(b.field, "value") == 0;
        if (isName)
            CopyText(d.name, sizeof d.name, b.text);
        else if (isValue)
            CopyText(d.value, sizeof d.value, b.text);
        else if (strcmp(b.field, "domain") == 0)
            CopyText(d.domain, sizeof d.domain, b.text);
        else
            CopyText(d.path, sizeof d.path, b.text);
        EXPECT_EQ(PutCookie(d, kNow), CookieRefused) << b.field << "=" << b.text;
    }
    static Cookie unterminated;
    unterminated = c;
    memset(unterminated.value, 'v', sizeof unterminated.value);
    EXPECT_EQ(PutCookie(unterminated, kNow), CookieRefused);
    EXPECT_EQ(Cookies.count, 1);
}

TEST_F(CookieStore, EverySetCookieLineOfAResponse) {
    const char head[] = "HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nX-Set-Cookie: x=1\r\n"
                        "set-cookie:b=2; Path=/\r\nSet-Cookie: bad\r\nSET-COOKIE: c=3\r\n\r\n";
    EXPECT_EQ(StoreResponseCookies(head, (int)strlen(head), "h.example", "/p/q", false, kNow), 3);
    EXPECT_EQ(HeaderFor("h.example", "/p/x"), "a=1; c=3; b=2");
}

} // namespace
