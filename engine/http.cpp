#include "engine/http.h"

#include <cstring>
#include <string>

#include "analysis/links.h"
#include "resources/version.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

bool EscapeSpaces(const char* address, char* out, size_t outSize) {
    if (outSize == 0) return false;
    size_t used = 0;
    bool whole = true;
    for (const char* p = address; *p; p++) {
        const char* piece = *p == ' ' ? "%20" : nullptr;
        size_t len = piece ? 3 : 1;
        if (used + len > outSize - 1) {
            whole = false;
            break;
        }
        if (piece) memcpy(out + used, piece, 3);
        else out[used] = *p;
        used += len;
    }
    out[used] = '\0';
    return whole;
}

void LocalNameOf(const char* address, char* out, size_t outSize) {
    const char* name = nullptr;
    size_t length = 0;
    AddressNameSpan(address, &name, &length);
    if (length == 0) {
        CopyText(out, outSize, "index.html");
        return;
    }
    CopyText(out, outSize, std::string(name, length).c_str());
}

bool IsSecureAddress(const char* address) {
    return SchemeLength(address) == 8;
}

void SplitAddress(const char* address, char* hostOut, size_t hostSize, uint16_t* portOut,
                  char* pathOut, size_t pathSize) {
    const char* p = address + SchemeLength(address);
    uint32_t defaultPort = IsSecureAddress(address) ? 443 : 80;
    const char* slash = strchr(p, '/');
    size_t hostLen = slash ? (size_t)(slash - p) : strlen(p);
    const char* colon = (const char*)memchr(p, ':', hostLen);
    size_t nameLen = colon ? (size_t)(colon - p) : hostLen;
    if (hostSize > 0) {
        size_t n = nameLen < hostSize - 1 ? nameLen : hostSize - 1;
        memcpy(hostOut, p, n);
        hostOut[n] = '\0';
    }
    uint32_t port = defaultPort;
    if (colon) {
        port = 0;
        for (const char* d = colon + 1; d < p + hostLen && *d >= '0' && *d <= '9'; d++) {
            port = port * 10 + (uint32_t)(*d - '0');
            if (port > 65535) break;
        }
        if (port == 0 || port > 65535) port = defaultPort;
    }
    *portOut = (uint16_t)port;
    CopyText(pathOut, pathSize, slash && slash[0] ? slash : "/");
}

int BuildRequest(char* out, size_t outSize, const RequestParts& parts) {
    if (outSize == 0) return 0;
    out[0] = '\0';
    AppendFormat(out, outSize, "%s", parts.head ? "HEAD " : "GET ");
    AppendFormat(out, outSize, "%s HTTP/1.1\r\n", parts.target);
    if (parts.direct) AppendFormat(out, outSize, "Proxy-Connection:Keep-Alive\r\n");
    if (parts.port) AppendFormat(out, outSize, "Host: %s:%u\r\n", parts.host, (unsigned)parts.port);
    else AppendFormat(out, outSize, "Host: %s\r\n", parts.host);
    if (parts.agent && parts.agent[0])
        AppendFormat(out, outSize, "User-Agent: %s\r\n", parts.agent);
    else
        AppendFormat(out, outSize, "User-Agent: Ferrow/%s\r\n", FERROW_VERSION);
    // Many image hosts refuse a file asked for without the page it is on.
    if (parts.referer && parts.referer[0])
        AppendFormat(out, outSize, "Referer: %s\r\n", parts.referer);
    // In three pieces: a formatted piece holds at most 4095 characters.
    if (parts.cookie && parts.cookie[0]) {
        AppendFormat(out, outSize, "Cookie: ");
        AppendFormat(out, outSize, "%s", parts.cookie);
        AppendFormat(out, outSize, "\r\n");
    }
    if (parts.rangeFrom > 0) {
        AppendFormat(out, outSize, "Range: bytes=%lld-\r\n", (long long)parts.rangeFrom);
        if (parts.ifRange && parts.ifRange[0])
            AppendFormat(out, outSize, "If-Range: %s\r\n", parts.ifRange);
    }
    if (parts.compressed) AppendFormat(out, outSize, "Accept-Encoding: gzip, deflate\r\n");
    AppendFormat(out, outSize, "\r\n");
    return (int)strlen(out);
}

int BuildTunnelRequest(char* out, size_t outSize, const char* host, uint16_t port) {
    FormatText(out, outSize,
               "CONNECT %s:%u HTTP/1.0\r\nHost: %s:%u\r\nUser-Agent: Ferrow/%s\r\n\r\n", host,
               (unsigned)port, host, (unsigned)port, FERROW_VERSION);
    return (int)strlen(out);
}

int FindHeadEnd(const char* text, int len) {
    static const struct {
        const char* mark;
        int size;
    } kEnds[] = {{"\n\n", 2}, {"\r\n\r\n", 4}, {"\r\r", 2}, {"\n\r\n\r", 4}};
    for (int p = 0; p < len; p++) {
        if (text[p] != '\n' && text[p] != '\r') continue;
        for (const auto& end : kEnds)
            if (p + end.size <= len && memcmp(text + p, end.mark, (size_t)end.size) == 0)
                return p + end.size;
    }
    return -1;
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int ParseStatusLine(const char* head, int len) {
    // "HTTP/" digit "." digit " " and three digits: 12 bytes at least.
    if (len < 12 || memcmp(head, "HTTP/", 5) != 0) return 0;
    if (!IsDigit(head[5]) || head[6] != '.' || !IsDigit(head[7]) || head[8] != ' ') return 0;
    if (!IsDigit(head[9]) || !IsDigit(head[10]) || !IsDigit(head[11])) return 0;
    if (len > 12 && IsDigit(head[12])) return 0;
    return (head[9] - '0') * 100 + (head[10] - '0') * 10 + (head[11] - '0');
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsHttp11(const char* head, int len) {
    if (ParseStatusLine(head, len) == 0) return false;
    return head[5] > '1' || (head[5] == '1' && head[7] >= '1');
}

// a[0, n) and b[0, n) alike ignoring ASCII case; no terminator needed.
static bool SameNoCase(const char* a, const char* b, int n) {
    for (int i = 0; i < n; i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = (char)(x + 32);
        if (y >= 'A' && y <= 'Z') y = (char)(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Token visitor: the token sought, whether any list named it, and the last
// one seen.
struct TokenSearch {
    const char* token;
    bool found;
    const char* last;
    int lastLen;
};
static void SearchTokens(const char* value, int len, void* context) {
    TokenSearch* search = (TokenSearch*)context;
    int tokenLen = (int)strlen(search->token);
    for (int p = 0; p < len;) {
        while (p < len && (IsBlank(value[p]) || value[p] == ',')) p++;
        int start = p;
        while (p < len && value[p] != ',' && value[p] != ';') p++;
        int end = p;
        while (end > start && IsBlank(value[end - 1])) end--;
        while (p < len && value[p] != ',') p++;  // parameters
        if (end == start) continue;
        if (end - start == tokenLen && SameNoCase(value + start, search->token, tokenLen))
            search->found = true;
        search->last = value + start;
        search->lastLen = end - start;
    }
}

bool HeaderHasToken(const char* head, int len, const char* name, const char* token) {
    TokenSearch search = {token, false, nullptr, 0};
    VisitHeaderValues(head, len, name, SearchTokens, &search);
    return search.found;
}

bool IsChunkedAnswer(const char* head, int len) {
    TokenSearch search = {"chunked", false, nullptr, 0};
    VisitHeaderValues(head, len, "Transfer-Encoding", SearchTokens, &search);
    return search.last && search.lastLen == 7 && SameNoCase(search.last, "chunked", 7);
}

int VisitHeaderValues(const char* head, int len, const char* name, HeaderVisitor visit,
                      void* context) {
    int nameLen = (int)strlen(name);
    int found = 0;
    int p = 0;
    while (p < len && head[p] != '\r' && head[p] != '\n') p++;  // the status line
    while (p < len) {
        while (p < len && (head[p] == '\r' || head[p] == '\n')) p++;
        int lineStart = p;
        while (p < len && head[p] != '\r' && head[p] != '\n') p++;
        int lineEnd = p;
        if (lineEnd - lineStart <= nameLen || head[lineStart + nameLen] != ':') continue;
        // StrNCmpI stops at NUL; compare byte by byte within the line instead.
        if (!SameNoCase(head + lineStart, name, nameLen)) continue;
        int v = lineStart + nameLen + 1;
        while (v < lineEnd && IsBlank(head[v])) v++;
        int e = lineEnd;
        while (e > v && IsBlank(head[e - 1])) e--;
        visit(head + v, e - v, context);
        found++;
    }
    return found;
}

// FindHeaderValue's visitor: each line's value overwrites the one before.
struct LastValue {
    char* out;
    size_t outSize;
};
static void KeepLastValue(const char* value, int len, void* context) {
    LastValue* last = (LastValue*)context;
    if (last->outSize == 0) return;
    size_t n = (size_t)len < last->outSize - 1 ? (size_t)len : last->outSize - 1;
    memcpy(last->out, value, n);
    last->out[n] = '\0';
}

bool FindHeaderValue(const char* head, int len, const char* name, char* out, size_t outSize) {
    LastValue last = {out, outSize};
    return VisitHeaderValues(head, len, name, KeepLastValue, &last) > 0;
}

int64_t ParseContentLength(const char* value) {
    if (!IsDigit(value[0])) return -1;
    int64_t n = 0;
    for (const char* p = value; *p; p++) {
        if (!IsDigit(*p)) return -1;
        int digit = *p - '0';
        if (n > (INT64_MAX - digit) / 10) return -1;
        n = n * 10 + digit;
    }
    return n;
}

// Decimal digits at text: the number, and text moved past them; false when
// there are none or the number passes 2^63 - 1.
static bool ReadDecimal(const char** text, int64_t* out) {
    const char* p = *text;
    if (!IsDigit(*p)) return false;
    int64_t n = 0;
    for (; IsDigit(*p); p++) {
        int digit = *p - '0';
        if (n > (INT64_MAX - digit) / 10) return false;
        n = n * 10 + digit;
    }
    *text = p;
    *out = n;
    return true;
}

bool ParseContentRange(const char* value, int64_t* firstOut, int64_t* totalOut) {
    const char* p = value;
    if (strncmp(p, "bytes", 5) != 0) return false;
    p += 5;
    while (IsBlank(*p)) p++;
    int64_t first = 0, last = 0, total = -1;
    if (!ReadDecimal(&p, &first) || *p++ != '-' || !ReadDecimal(&p, &last) || *p++ != '/')
        return false;
    if (*p == '*') p++;
    else if (!ReadDecimal(&p, &total)) return false;
    while (IsBlank(*p)) p++;
    if (*p || last < first || (total >= 0 && last >= total)) return false;
    *firstOut = first;
    *totalOut = total;
    return true;
}

int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool HttpDateSeconds(const char* text, int64_t* secondsOut) {
    // The three layouts become one: "YYYY/MM/DD hh:mm:ss".
    char date[20];
    FormatHttpDate(text, date);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const int lengths[] = {4, 2, 2, 2, 2, 2};
    int* fields[] = {&year, &month, &day, &hour, &minute, &second};
    const char* p = date;
    for (int i = 0; i < 6; i++) {
        for (int k = 0; k < lengths[i]; k++, p++) {
            if (!IsDigit(*p)) return false;
            *fields[i] = *fields[i] * 10 + (*p - '0');
        }
        if (i < 5 && *p++ != (i < 2 ? '/' : i == 2 ? ' ' : ':')) return false;
    }
    if (*p || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    *secondsOut = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

int RetryAfterSeconds(const char* retryAfter, const char* date, int maxSeconds) {
    if (!retryAfter || !retryAfter[0]) return -1;
    const char* p = retryAfter;
    int64_t seconds = 0;
    if (IsDigit(*p)) {
        // A number too large to read is as good as the cap.
        if (!ReadDecimal(&p, &seconds)) return maxSeconds;
        if (*p) return -1;
    } else {
        int64_t at = 0, now = 0;
        if (!date || !HttpDateSeconds(retryAfter, &at) || !HttpDateSeconds(date, &now)) return -1;
        seconds = at > now ? at - now : 0;
    }
    return seconds > maxSeconds ? maxSeconds : (int)seconds;
}

// Decimal number at the start of text (leading blanks skipped), 0 when none.
static int NumberAt(const char* text) {
    while (*text == ' ') text++;
    int n = 0;
    for (int i = 0; i < 6 && IsDigit(text[i]); i++) n = n * 10 + (text[i] - '0');
    return n;
}

static int MonthAt(const char* text) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; m++)
        if (strncmp(text, kMonths[m], 3) == 0) return m + 1;
    return 0;
}

void FormatHttpDate(const char* text, char* out) {
    static const char* const kDays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                        "Friday", "Saturday", "Sunday"};
    // The layouts read fixed offsets up to 28; a zero-padded copy keeps every
    // read inside the buffer whatever the length of the header's value.
    char date[64];
    memset(date, 0, sizeof date);
    CopyText(date, 40, text);
    char layout = 'A';
    size_t nameLen = 0;
    for (const char* day : kDays) {
        size_t len = strlen(day);
        if (strncmp(date, day, len) == 0) {
            layout = 'B';
            nameLen = len;
            break;
        }
        if (strncmp(date, day, 3) == 0) {
            layout = date[3] == ',' ? 'A' : 'C';
            break;
        }
    }
    int day = 0, month = 0, year = 0;
    char time[9];
    if (layout == 'A') {
        day = NumberAt(date + 5);
        month = MonthAt(date + 8);
        year = NumberAt(date + 12);
        CopyText(time, sizeof time, date + 17);
    } else if (layout == 'B') {
        size_t l = nameLen;
        day = NumberAt(date + l + 2);
        month = MonthAt(date + l + 5);
        year = NumberAt(date + l + 9);
        year += year <= 50 ? 2000 : 1900;
        CopyText(time, sizeof time, date + l + 12);
    } else {
        month = MonthAt(date + 4);
        day = NumberAt(date + 8);
        CopyText(time, sizeof time, date + 11);
        year = NumberAt(date + 20);
    }
    FormatText(out, 20, "%d/%02d/%02d %s", year, month, day, time);
}
