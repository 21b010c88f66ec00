// libFuzzer target for what servers and cookie files control: Set-Cookie
// values, whole response heads and cookies.txt lines. The first byte picks
// the reader; after each input the store must keep its promises: within its
// limits, no cookie for a public suffix or with bytes that would break the
// Cookie line, and a Cookie value that never passes its buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cookie_file.h"
#include "engine/cookies.h"
#include "engine/http.h"

// Stops the run with the line of the broken rule, so a finding is read at once.
static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "cookie_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

constexpr int64_t kNow = 1700000000;

// Hosts a response may come from, and paths it may answer.
static const char* const kHosts[] = {"www.example.co.jp", "example.com",     "127.0.0.1",
                                     "localhost",         "a.b.example.org", "co.jp"};
static const char* const kPaths[] = {"/", "/dir/page.html", "/a/b/c?x=/y", ""};

static bool IsClean(const char* text, bool allowEquals) {
    for (const unsigned char* p = (const unsigned char*)text; *p; p++)
        if ((*p < 0x20 && *p != '\t') || *p == 0x7F || *p == ';' || (*p == '=' && !allowEquals))
            return false;
    return true;
}

static void CheckStore() {
    Check(Cookies.count >= 0 && Cookies.count <= kCookieLimit);
    for (int i = 0; i < Cookies.count; i++) {
        const Cookie& c = Cookies.cookies[i];
        Check(memchr(c.name, 0, sizeof c.name) && memchr(c.value, 0, sizeof c.value));
        Check(memchr(c.domain, 0, sizeof c.domain) && memchr(c.path, 0, sizeof c.path));
        Check(c.name[0] && c.domain[0] && c.path[0] == '/');
        Check(!IsPublicSuffix(c.domain));
        Check(IsClean(c.name, false) && IsClean(c.value, true) && IsClean(c.path, true));
        Check(strlen(c.name) + 1 + strlen(c.value) < kCookieHeaderSize);
        Check(c.expires > kNow);
        int sameDomain = 0, sameKey = 0;
        for (int j = 0; j < Cookies.count; j++) {
            const Cookie& d = Cookies.cookies[j];
            if (strcmp(c.domain, d.domain) != 0) continue;
            sameDomain++;
            if (strcmp(c.name, d.name) == 0 && strcmp(c.path, d.path) == 0) sameKey++;
        }
        Check(sameDomain <= kCookiesPerDomain);
        Check(sameKey == 1);
    }
}

// The Cookie value for every host and path in buffers of several sizes, with
// a guard byte past each.
static void CheckHeaders() {
    static char out[4097];
    for (const char* host : kHosts) {
        for (const char* path : kPaths) {
            for (size_t size : {(size_t)1, (size_t)7, (size_t)64, (size_t)4096}) {
                memset(out, '#', size + 1);
                int n = CookieHeaderFor(host, path, (size & 1) != 0, kNow, out, size);
                Check(out[size] == '#');
                Check(memchr(out, 0, size) != nullptr);
                Check(!strchr(out, '\r') && !strchr(out, '\n'));
                Check(n >= 0 && n <= Cookies.count);
                Check((n == 0) == (out[0] == '\0'));
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    ClearCookies();
    const char* text = (const char*)data + 2;
    size_t len = size - 2;
    const char* host = kHosts[data[1] % (sizeof kHosts / sizeof kHosts[0])];
    const char* path = kPaths[(data[1] >> 4) % (sizeof kPaths / sizeof kPaths[0])];
    bool secure = (data[1] & 8) != 0;
    switch (data[0] % 4) {
    case 0: { // one Set-Cookie line per input line
        size_t start = 0;
        while (start <= len) {
            const char* nl = (const char*)memchr(text + start, '\n', len - start);
            size_t end = nl ? (size_t)(nl - text) : len;
            CookieResult r = StoreSetCookie(text + start, end - start, host, path, secure, kNow);
            Check(r == CookieStored || r == CookieDeleted || r == CookieRefused);
            start = end + 1;
        }
        break;
    }
    case 1: { // a response head
        std::string head(text, len);
        int stored = StoreResponseCookies(head.data(), (int)head.size(), host, path, secure, kNow);
        Check(stored >= 0 && stored <= (int)len);
        break;
    }
    case 2: { // cookies.txt
        int stored = ReadCookieText(text, len, kNow);
        Check(stored >= 0 && stored <= (int)len);
        break;
    }
    default: { // a cookie date
        int64_t seconds = 0;
        if (ParseCookieDate(text, len, &seconds))
            Check(seconds >= -11644473600LL && seconds < 253402300800LL); // 1601 to 9999
        break;
    }
    }
    CheckStore();
    CheckHeaders();
    return 0;
}
