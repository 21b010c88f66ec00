#include "engine/cookies.h"

#include <algorithm>
#include <cstring>

#include "engine/http.h"
#include "text/nocase.h"
#include "text/text.h"

CookieJar Cookies;

// ---- small text pieces

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c;
}
static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
static bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Control characters (tab aside) and ";" would change the Cookie line the
// store builds, so no stored text holds them.
static bool IsCleanText(const char* text, bool allowEquals) {
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if ((*p < 0x20 && *p != '\t') || *p == 0x7F || *p == ';') return false;
        if (*p == '=' && !allowEquals) return false;
    }
    return true;
}

static void LowerInPlace(char* text) {
    for (char* p = text; *p; p++)
        *p = Lower(*p);
}

// text[0, len) without blanks at either end.
static void Trim(const char** text, size_t* len) {
    while (*len > 0 && IsBlank(**text)) {
        (*text)++;
        (*len)--;
    }
    while (*len > 0 && IsBlank((*text)[*len - 1]))
        (*len)--;
}


// ---- domains and paths

// The short list of public suffixes: the generic top-level domains and the
// registries under which strangers share a second level (co.jp, co.uk ...).
// A site may not set a cookie for one of these. It is deliberately short;
// a name not listed here is taken as a site's own.
static const char* const kPublicSuffixes[] = {
    "com",    "net",   "org",   "edu",    "gov",    "mil",    "int",    "info",  "biz",    "name",
    "io",     "co",    "me",    "tv",     "app",    "dev",    "jp",     "co.jp", "ne.jp",  "or.jp",
    "ac.jp",  "go.jp", "ad.jp", "ed.jp",  "gr.jp",  "lg.jp",  "uk",     "co.uk", "org.uk", "ac.uk",
    "gov.uk", "me.uk", "au",    "com.au", "net.au", "org.au", "edu.au", "de",    "fr",     "it",
    "nl",     "eu",    "ru",    "cn",     "com.cn", "kr",     "co.kr",  "tw",    "com.tw", "br",
    "com.br", "in",    "co.in", "ca",     "us",
};

bool IsPublicSuffix(const char* domain) {
    for (const char* suffix : kPublicSuffixes)
        if (strcmp(domain, suffix) == 0) return true;
    return false;
}

bool IsIpAddress(const char* host) {
    if (!host[0]) return false;
    if (strchr(host, ':') || host[0] == '[') return true;
    for (const char* p = host; *p; p++)
        if (!IsDigit(*p) && *p != '.') return false;
    return true;
}

bool DomainMatches(const char* host, const char* domain) {
    if (strcmp(host, domain) == 0) return true;
    size_t h = strlen(host), d = strlen(domain);
    if (d == 0 || h <= d || host[h - d - 1] != '.') return false;
    return strcmp(host + h - d, domain) == 0 && !IsIpAddress(host);
}

// Length of the path part of a request path: up to its query or fragment.
static size_t PathLength(const char* requestPath) {
    return strcspn(requestPath, "?#");
}

void DefaultCookiePath(const char* requestPath, char* out, size_t outSize) {
    size_t len = PathLength(requestPath);
    size_t last = 0;
    for (size_t i = 0; i < len; i++)
        if (requestPath[i] == '/') last = i;
    if (len == 0 || requestPath[0] != '/' || last == 0) {
        CopyText(out, outSize, "/");
        return;
    }
    if (!CopyPiece(out, outSize, requestPath, last)) CopyText(out, outSize, "/");
}

bool PathMatches(const char* requestPath, const char* cookiePath) {
    size_t len = PathLength(requestPath);
    size_t c = strlen(cookiePath);
    if (c > len || memcmp(requestPath, cookiePath, c) != 0) return false;
    return c == len || cookiePath[c - 1] == '/' || requestPath[c] == '/';
}

// ---- dates

static bool IsDateDelimiter(unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
           (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

// Reads 1 to maxDigits digits at token[*at]; at least minDigits.
static bool ReadDigits(const char* token, size_t len, size_t* at, int minDigits, int maxDigits,
                       int* valueOut) {
    int value = 0, n = 0;
    while (*at < len && IsDigit(token[*at]) && n < maxDigits) {
        value = value * 10 + (token[*at] - '0');
        (*at)++;
        n++;
    }
    *valueOut = value;
    return n >= minDigits;
}

// The digits must end the token or be followed by a non-digit.
static bool DigitsEnd(const char* token, size_t len, size_t at) {
    return at == len || !IsDigit(token[at]);
}

// A token that begins with minDigits to maxDigits digits and a non-digit
// or its end; valueOut is left alone when it does not.
static bool ReadNumber(const char* token, size_t len, int minDigits, int maxDigits, int* valueOut) {
    size_t at = 0;
    int value = 0;
    if (!ReadDigits(token, len, &at, minDigits, maxDigits, &value) || !DigitsEnd(token, len, at))
        return false;
    *valueOut = value;
    return true;
}

static bool ReadTime(const char* token, size_t len, int* h, int* m, int* s) {
    size_t at = 0;
    if (!ReadDigits(token, len, &at, 1, 2, h) || at >= len || token[at++] != ':') return false;
    if (!ReadDigits(token, len, &at, 1, 2, m) || at >= len || token[at++] != ':') return false;
    return ReadDigits(token, len, &at, 1, 2, s) && DigitsEnd(token, len, at);
}

static int MonthOf(const char* token, size_t len) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (len < 3) return 0;
    for (int m = 0; m < 12; m++)
        if (Lower(token[0]) == kMonths[m][0] && Lower(token[1]) == kMonths[m][1] &&
            Lower(token[2]) == kMonths[m][2])
            return m + 1;
    return 0;
}

// The date algorithm of RFC 6265 5.1.1: tokens between delimiters, the first
// time, day, month and year found in any order.
bool ParseCookieDate(const char* text, size_t len, int64_t* secondsOut) {
    bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    size_t p = 0;
    while (p < len) {
        while (p < len && IsDateDelimiter((unsigned char)text[p]))
            p++;
        size_t start = p;
        while (p < len && !IsDateDelimiter((unsigned char)text[p]))
            p++;
        const char* token = text + start;
        size_t n = p - start;
        if (n == 0) continue;
        if (!haveTime && ReadTime(token, n, &hour, &minute, &second)) {
            haveTime = true;
        } else if (!haveDay && ReadNumber(token, n, 1, 2, &day)) {
            haveDay = true;
        } else if (!haveMonth && MonthOf(token, n)) {
            haveMonth = true;
            month = MonthOf(token, n);
        } else if (!haveYear && ReadNumber(token, n, 2, 4, &year)) {
            haveYear = true;
        }
    }
    if (!haveTime || !haveDay || !haveMonth || !haveYear) return false;
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year <= 69)
        year += 2000;
    static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int lastDay = month == 2 && !leap ? 28 : kMonthDays[month - 1];
    if (day < 1 || day > lastDay || year < 1601 || hour > 23 || minute > 59 || second > 59)
        return false;
    *secondsOut = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// ---- the store

void ClearCookies() {
    Cookies.count = 0;
    Cookies.nextSerial = 1;
}

static bool IsExpired(const Cookie& cookie, int64_t now) {
    return cookie.expires <= now;
}

static void RemoveAt(int index) {
    Cookies.count--;
    if (index != Cookies.count) Cookies.cookies[index] = Cookies.cookies[Cookies.count];
}

static void DropExpired(int64_t now) {
    for (int i = Cookies.count - 1; i >= 0; i--)
        if (IsExpired(Cookies.cookies[i], now)) RemoveAt(i);
}

static int CountOfDomain(const char* domain) {
    int n = 0;
    for (int i = 0; i < Cookies.count; i++)
        if (strcmp(Cookies.cookies[i].domain, domain) == 0) n++;
    return n;
}

// a goes before b when the store must drop one.
static bool GoesFirst(const Cookie& a, const Cookie& b) {
    if (a.expires != b.expires) return a.expires < b.expires;
    return a.serial < b.serial;
}

// Frees a place for a new cookie of domain.
static void MakeRoom(const char* domain, int64_t now) {
    if (Cookies.count >= kCookieLimit || CountOfDomain(domain) >= kCookiesPerDomain)
        DropExpired(now);
    if (CountOfDomain(domain) >= kCookiesPerDomain) {
        int oldest = -1;
        for (int i = 0; i < Cookies.count; i++)
            if (strcmp(Cookies.cookies[i].domain, domain) == 0 &&
                (oldest < 0 || Cookies.cookies[i].serial < Cookies.cookies[oldest].serial))
                oldest = i;
        RemoveAt(oldest);
    }
    if (Cookies.count >= kCookieLimit) {
        int first = 0;
        for (int i = 1; i < Cookies.count; i++)
            if (GoesFirst(Cookies.cookies[i], Cookies.cookies[first])) first = i;
        RemoveAt(first);
    }
}

static bool IsWellFormed(const Cookie& c) {
    // Every text must end inside its field: the record may come from anywhere.
    if (!memchr(c.name, '\0', sizeof c.name) || !memchr(c.value, '\0', sizeof c.value) ||
        !memchr(c.domain, '\0', sizeof c.domain) || !memchr(c.path, '\0', sizeof c.path))
        return false;
    if (!c.name[0] || !c.domain[0] || c.path[0] != '/') return false;
    if (!IsCleanText(c.name, false) || !IsCleanText(c.value, true) || !IsCleanText(c.path, true) ||
        !IsCleanText(c.domain, false))
        return false;
    for (const char* p = c.domain; *p; p++)
        if (*p >= 'A' && *p <= 'Z') return false;
    return !IsPublicSuffix(c.domain);
}

CookieResult PutCookie(const Cookie& cookie, int64_t now) {
    if (Cookies.nextSerial == 0) Cookies.nextSerial = 1;
    if (!IsWellFormed(cookie)) return CookieRefused;
    int same = -1;
    for (int i = 0; i < Cookies.count && same < 0; i++) {
        const Cookie& c = Cookies.cookies[i];
        if (strcmp(c.name, cookie.name) == 0 && strcmp(c.domain, cookie.domain) == 0 &&
            strcmp(c.path, cookie.path) == 0)
            same = i;
    }
    if (IsExpired(cookie, now)) {
        if (same >= 0) RemoveAt(same);
        return CookieDeleted;
    }
    if (same >= 0) {
        uint64_t serial = Cookies.cookies[same].serial; // RFC 6265: keeps its creation
        Cookies.cookies[same] = cookie;
        Cookies.cookies[same].serial = serial;
        return CookieStored;
    }
    MakeRoom(cookie.domain, now);
    Cookie& slot = Cookies.cookies[Cookies.count++];
    slot = cookie;
    slot.serial = Cookies.nextSerial++;
    return CookieStored;
}

// ---- Set-Cookie

// Largest Max-Age taken as it is; a later expiry is as good as never.
constexpr int64_t kMaxAgeCap = 400LL * 366 * 86400;

// A Max-Age value: digits, or "-" and digits; false when it is neither.
static bool ReadMaxAge(const char* text, size_t len, int64_t now, int64_t* expiresOut) {
    if (len == 0 || !(IsDigit(text[0]) || text[0] == '-')) return false;
    bool negative = text[0] == '-';
    size_t at = negative ? 1 : 0;
    if (at == len) return false;
    int64_t seconds = 0;
    for (; at < len; at++) {
        if (!IsDigit(text[at])) return false;
        if (seconds < kMaxAgeCap) seconds = seconds * 10 + (text[at] - '0');
    }
    if (seconds > kMaxAgeCap) seconds = kMaxAgeCap;
    // Zero or less: the earliest time there is, so that it counts as expired.
    *expiresOut = negative || seconds == 0 ? INT64_MIN : now + seconds;
    return true;
}

// The attributes of a Set-Cookie value as read; the last of each name wins.
struct CookieAttributes {
    bool haveExpires, haveMaxAge, haveDomain, havePath, secure, httpOnly;
    int64_t expires, maxAgeExpires;
    char domain[kCookieDomainSize];
    char path[kCookiePathSize];
    bool domainTooLong, pathTooLong;
};

static void ReadAttribute(const char* name, size_t nameLen, const char* value, size_t valueLen,
                          int64_t now, CookieAttributes* a) {
    if (SameNoCase(name, nameLen, "expires")) {
        if (ParseCookieDate(value, valueLen, &a->expires)) a->haveExpires = true;
    } else if (SameNoCase(name, nameLen, "max-age")) {
        if (ReadMaxAge(value, valueLen, now, &a->maxAgeExpires)) a->haveMaxAge = true;
    } else if (SameNoCase(name, nameLen, "domain")) {
        if (valueLen == 0) return; // ignored, as if absent
        if (value[0] == '.') {
            value++;
            valueLen--;
        }
        a->haveDomain = true;
        a->domainTooLong = !CopyPiece(a->domain, sizeof a->domain, value, valueLen);
        LowerInPlace(a->domain);
    } else if (SameNoCase(name, nameLen, "path")) {
        // A path that does not begin with "/" leaves the default path.
        if (valueLen == 0 || value[0] != '/') {
            a->havePath = false;
            return;
        }
        a->havePath = true;
        a->pathTooLong = !CopyPiece(a->path, sizeof a->path, value, valueLen);
    } else if (SameNoCase(name, nameLen, "secure")) {
        a->secure = true;
    } else if (SameNoCase(name, nameLen, "httponly")) {
        a->httpOnly = true;
    }
}

// Domain and host-only flag of a cookie from the request host and the
// Domain attribute; false when the host may not set it.
static bool ChooseDomain(const char* host, const CookieAttributes& a, Cookie* c) {
    if (!a.haveDomain || (IsIpAddress(host) && strcmp(a.domain, host) == 0)) {
        // No Domain, or an address naming itself: this host alone.
        c->hostOnly = true;
        CopyText(c->domain, sizeof c->domain, host);
        return strlen(host) < sizeof c->domain;
    }
    // A public suffix is refused even when it names the host itself: no
    // cookie is ever kept for one.
    if (a.domainTooLong || !a.domain[0] || IsPublicSuffix(a.domain)) return false;
    if (IsIpAddress(host) || !DomainMatches(host, a.domain)) return false;
    c->hostOnly = false;
    CopyText(c->domain, sizeof c->domain, a.domain);
    return true;
}

CookieResult StoreSetCookie(const char* text, size_t len, const char* host, const char* requestPath,
                            bool secure, int64_t now) {
    char canonicalHost[kCookieDomainSize];
    if (!host[0] || !CopyPiece(canonicalHost, sizeof canonicalHost, host, strlen(host)))
        return CookieRefused;
    LowerInPlace(canonicalHost);
    const char* end = text + len;
    const char* semicolon = (const char*)memchr(text, ';', len);
    const char* pairEnd = semicolon ? semicolon : end;
    const char* equals = (const char*)memchr(text, '=', (size_t)(pairEnd - text));
    if (!equals) return CookieRefused;
    const char* name = text;
    size_t nameLen = (size_t)(equals - text);
    const char* value = equals + 1;
    size_t valueLen = (size_t)(pairEnd - value);
    Trim(&name, &nameLen);
    Trim(&value, &valueLen);
    static Cookie c; // 4.6 KB: kept off the stack
    memset(&c, 0, sizeof c);
    if (nameLen == 0 || !CopyPiece(c.name, sizeof c.name, name, nameLen) ||
        !CopyPiece(c.value, sizeof c.value, value, valueLen))
        return CookieRefused;
    CookieAttributes a;
    memset(&a, 0, sizeof a);
    for (const char* p = pairEnd; p < end;) {
        p++; // the ";"
        const char* next = (const char*)memchr(p, ';', (size_t)(end - p));
        const char* avEnd = next ? next : end;
        const char* eq = (const char*)memchr(p, '=', (size_t)(avEnd - p));
        const char* n = p;
        size_t nLen = (size_t)((eq ? eq : avEnd) - p);
        const char* v = eq ? eq + 1 : avEnd;
        size_t vLen = (size_t)(avEnd - v);
        Trim(&n, &nLen);
        Trim(&v, &vLen);
        ReadAttribute(n, nLen, v, vLen, now, &a);
        p = avEnd;
    }
    if (a.secure && !secure) return CookieRefused; // only a secure origin sets Secure
    if (!ChooseDomain(canonicalHost, a, &c)) return CookieRefused;
    if (a.havePath && a.pathTooLong) return CookieRefused;
    if (a.havePath)
        CopyText(c.path, sizeof c.path, a.path);
    else
        DefaultCookiePath(requestPath, c.path, sizeof c.path);
    c.expires = a.haveMaxAge ? a.maxAgeExpires : a.haveExpires ? a.expires : kSessionCookie;
    c.secure = a.secure;
    c.httpOnly = a.httpOnly;
    return PutCookie(c, now);
}

struct ResponseCookies {
    const char* host;
    const char* requestPath;
    bool secure;
    int64_t now;
    int stored;
};

static void StoreOneLine(const char* value, int len, void* context) {
    ResponseCookies* r = (ResponseCookies*)context;
    if (StoreSetCookie(value, (size_t)len, r->host, r->requestPath, r->secure, r->now) ==
        CookieStored)
        r->stored++;
}

int StoreResponseCookies(const char* head, int len, const char* host, const char* requestPath,
                         bool secure, int64_t now) {
    ResponseCookies r = {host, requestPath, secure, now, 0};
    VisitHeaderValues(head, len, "Set-Cookie", StoreOneLine, &r);
    return r.stored;
}

// ---- the Cookie header

int CookieHeaderFor(const char* host, const char* path, bool secure, int64_t now, char* out,
                    size_t outSize) {
    if (outSize == 0) return 0;
    out[0] = '\0';
    char canonicalHost[kCookieDomainSize];
    if (!CopyPiece(canonicalHost, sizeof canonicalHost, host, strlen(host))) return 0;
    LowerInPlace(canonicalHost);
    int chosen[kCookieLimit];
    int count = 0;
    for (int i = 0; i < Cookies.count; i++) {
        const Cookie& c = Cookies.cookies[i];
        if (IsExpired(c, now) || (c.secure && !secure) || !PathMatches(path, c.path)) continue;
        bool hostMatches = c.hostOnly ? strcmp(canonicalHost, c.domain) == 0
                                      : DomainMatches(canonicalHost, c.domain);
        if (hostMatches) chosen[count++] = i;
    }
    std::sort(chosen, chosen + count, [](int a, int b) {
        const Cookie& x = Cookies.cookies[a];
        const Cookie& y = Cookies.cookies[b];
        size_t xl = strlen(x.path), yl = strlen(y.path);
        if (xl != yl) return xl > yl;
        return x.serial < y.serial;
    });
    size_t used = 0;
    int written = 0;
    for (int k = 0; k < count; k++) {
        const Cookie& c = Cookies.cookies[chosen[k]];
        size_t need = (written ? 2 : 0) + strlen(c.name) + 1 + strlen(c.value);
        if (used + need > outSize - 1) break;
        // Copied piece by piece: a cookie may be longer than a formatted piece.
        const char* pieces[] = {written ? "; " : "", c.name, "=", c.value};
        for (const char* piece : pieces) {
            size_t n = strlen(piece);
            memcpy(out + used, piece, n);
            used += n;
        }
        out[used] = '\0';
        written++;
    }
    return written;
}
