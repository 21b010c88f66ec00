// HTTP/1.1 texts of the engine: address splitting, the request, and the
// reading of a response head. Pure functions, fed bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "text/address.h"

// A response head longer than this ends its job as an HTTP error.
constexpr int kHeadLimit = 64 * 1024;
// The longest Cookie value a request carries, terminator included.
constexpr int kCookieHeaderSize = 4096;
// The longest User-Agent a request carries (a browser's), terminator included.
constexpr int kAgentSize = 512;
// Room for the longest request: method, an address (proxy form) or path, a
// host, a Referer (each at most kMaxAddress characters), the Cookie line, a
// User-Agent of kAgentSize, a
// range with a validator of kValidatorSize and the fixed lines.
// An ETag or Last-Modified kept to guard a resumed download; longer ones
// are not kept (the download then starts over).
constexpr int kValidatorSize = 128;
constexpr int kRequestSize =
    3 * kMaxAddress + 512 + kAgentSize + kCookieHeaderSize + 16 + 48 + kValidatorSize;

// address with every space replaced by "%20"; false (out cut to
// outSize - 1 characters) when that does not fit.
bool EscapeSpaces(const char* address, char* out, size_t outSize);
// "index.html" when the address ends with "/", else the text after its last "/".
void LocalNameOf(const char* address, char* out, size_t outSize);
// True for an "https://" address (any case).
bool IsSecureAddress(const char* address);
// Host (without port), port (80, or 443 for "https://", when none) and path
// ("/" when empty) of an address; the scheme is optional and compared
// ignoring case.
void SplitAddress(const char* address, char* hostOut, size_t hostSize, uint16_t* portOut,
                  char* pathOut, size_t pathSize);

// What a request says besides its fixed lines.
struct RequestParts {
    bool head;                     // HEAD, else GET
    const char* target;            // the path, or the whole address for an HTTP proxy
    const char* host;              // the Host line
    bool direct;                   // not through a proxy: the Proxy-Connection line
    const char* referer;           // the page the file was found on; nullptr or "" for none
    const char* cookie = nullptr;  // the Cookie value (kCookieHeaderSize), or "" for none
    int64_t rangeFrom = 0;         // ask for the bytes from here on; 0 for the whole file
    const char* ifRange = nullptr; // the validator that guards the range; "" for none
    bool compressed = false;       // a page: gzip and deflate are welcome
    uint16_t port = 0;             // written after the host unless 0 (the scheme's own)
    const char* agent = nullptr;   // a browser's User-Agent; nullptr or "" for Ferrow's own
};
// The request text of a job; returns the text's length.
int BuildRequest(char* out, size_t outSize, const RequestParts& parts);
// The request that asks a proxy for a tunnel to host:port.
int BuildTunnelRequest(char* out, size_t outSize, const char* host, uint16_t port);

// Offset where the body starts when text[0, len) holds the end of a head,
// else -1.
int FindHeadEnd(const char* text, int len);
// Status code of a head beginning "HTTP/x.y NNN", or 0 when it cannot be read.
int ParseStatusLine(const char* head, int len);
// True when the head's status line says HTTP/1.1 or later.
bool IsHttp11(const char* head, int len);
// True when a comma-separated header (Connection, Transfer-Encoding...)
// lists token, ignoring case, in any of its lines.
bool HeaderHasToken(const char* head, int len, const char* name, const char* token);
// True when the last coding of Transfer-Encoding is chunked.
bool IsChunkedAnswer(const char* head, int len);
// Called with the value of each header line of a name: value[0, len), not
// terminated, without surrounding blanks.
using HeaderVisitor = void (*)(const char* value, int len, void* context);
// Calls visit for every header line called name (ignoring case) in the head,
// in order; returns how many there were. Only line starts after the status
// line count, so values never match as names.
int VisitHeaderValues(const char* head, int len, const char* name, HeaderVisitor visit,
                      void* context);
// Value of the last header line called name, cut to outSize - 1 characters.
bool FindHeaderValue(const char* head, int len, const char* name, char* out, size_t outSize);
// A Content-Length value: -1 unless it is a plain decimal number from 0 to
// 2^63 - 1.
int64_t ParseContentLength(const char* value);

// "Content-Range: bytes FIRST-LAST/TOTAL" (TOTAL may be "*", then -1):
// false unless it is well formed with FIRST <= LAST < TOTAL.
bool ParseContentRange(const char* value, int64_t* firstOut, int64_t* totalOut);
// Days from 1970-01-01 to a date of the (proleptic) Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day);
// Seconds since 1970 of an HTTP date in any of the three layouts below;
// false when it cannot be read.
bool HttpDateSeconds(const char* text, int64_t* secondsOut);
// The wait before a retry: a Retry-After value in seconds, or an HTTP date
// taken against the answer's Date header, capped at maxSeconds; -1 when
// there is none to read (no value, or a date with no Date to measure from).
int RetryAfterSeconds(const char* retryAfter, const char* date, int maxSeconds);

// Reformats an HTTP date (layouts "Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994") as
// "1994/11/06 08:49:37" into out (at least 20 bytes).
void FormatHttpDate(const char* text, char* out);
