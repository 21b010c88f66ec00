// The cookies of the program's run: kept from every response's Set-Cookie
// lines and sent back with later requests, as RFC 6265 describes. Nothing is
// written to disk. Pure functions: the time is always passed in as Unix
// seconds, so that tests choose it.
#pragma once
#include <cstddef>
#include <cstdint>

// Limits of the store and of one cookie. A cookie whose name, value, domain
// or path does not fit is refused whole: a cut cookie would be a wrong one.
constexpr int kCookieLimit = 300;      // cookies kept at once
constexpr int kCookiesPerDomain = 50;  // of them for one domain
constexpr int kCookieNameSize = 256;   // 255 characters and the terminator
constexpr int kCookieValueSize = 3840; // 3839 characters: name=value fits 4095
constexpr int kCookieDomainSize = 256; // a host name is at most 253 characters
constexpr int kCookiePathSize = 256;   // 255 characters
// Expiry of a cookie that lives until the program ends.
constexpr int64_t kSessionCookie = INT64_MAX;

struct Cookie {
    char name[kCookieNameSize];
    char value[kCookieValueSize];
    char domain[kCookieDomainSize]; // lower case, without a leading dot
    char path[kCookiePathSize];     // begins with "/"
    int64_t expires;                // Unix seconds, kSessionCookie for none
    uint64_t serial;                // order of creation; a replacement keeps it
    bool hostOnly;                  // only the very host, not its subdomains
    bool secure;                    // only over https
    bool httpOnly;                  // kept; no scripts run here to hide it from
};

struct CookieJar {
    Cookie cookies[kCookieLimit];
    int32_t count;       // cookies[0, count) are in use
    uint64_t nextSerial; // serial of the next new cookie
};
extern CookieJar Cookies;

// What became of one cookie handed to the store.
enum CookieResult {
    CookieStored,  // new, or replaced one of the same name, domain and path
    CookieDeleted, // it came expired: one of the same key, if any, is gone
    CookieRefused, // malformed, too long, or a domain the host may not set
};

// Empties the store.
void ClearCookies();

// Puts a finished cookie into the store: its domain must not be a public
// suffix. A full store drops the expired cookies first, then the oldest of
// the cookie's domain when that domain has kCookiesPerDomain, else the one
// that expires soonest (session cookies last, the oldest among equals).
CookieResult PutCookie(const Cookie& cookie, int64_t now);

// One Set-Cookie value (text[0, len)) of a response to host and requestPath
// (the request's path, query included), received over https when secure.
CookieResult StoreSetCookie(const char* text, size_t len, const char* host, const char* requestPath,
                            bool secure, int64_t now);

// Every Set-Cookie line of a response head; returns how many were stored.
int StoreResponseCookies(const char* head, int len, const char* host, const char* requestPath,
                         bool secure, int64_t now);

// The value of the Cookie header for a request, "a=1; b=2", into out: the
// unexpired cookies whose domain and path match, Secure ones only when
// secure, longer paths first, then the earlier created. When out is too
// short, whole cookies are left off from the end. Returns how many it holds.
int CookieHeaderFor(const char* host, const char* path, bool secure, int64_t now, char* out,
                    size_t outSize);

// RFC 6265 pieces, open for the tests.
// True for a domain on the program's short list of public suffixes.
bool IsPublicSuffix(const char* domain);
// True for an IPv4 address in dotted form or an IPv6 one.
bool IsIpAddress(const char* host);
// host domain-matches domain (both lower case): the same, or host ends with
// "." + domain and is a name, not an address.
bool DomainMatches(const char* host, const char* domain);
// The cookie path of a request path when Set-Cookie names none: up to, not
// including, its last "/", or "/".
void DefaultCookiePath(const char* requestPath, char* out, size_t outSize);
// requestPath (its query ignored) path-matches cookiePath.
bool PathMatches(const char* requestPath, const char* cookiePath);
// A cookie date (the lenient reading of Expires) as Unix seconds; false when
// it is not one.
bool ParseCookieDate(const char* text, size_t len, int64_t* secondsOut);
