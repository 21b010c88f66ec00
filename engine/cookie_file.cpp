#include "engine/cookie_file.h"

#include <cstring>
#include <string>

#include "engine/cookies.h"
#include "engine/platform.h"
#include "engine/report.h"
#include "settings/options.h"
#include "settings/whole_file.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

constexpr int kFieldCount = 7;

struct Field {
    const char* text;
    size_t len;
};

// "TRUE" or "FALSE" in any case; false when it is neither.
bool ReadFlag(const Field& f, bool* flagOut) {
    if (SameNoCase(f.text, f.len, "TRUE"))
        *flagOut = true;
    else if (SameNoCase(f.text, f.len, "FALSE"))
        *flagOut = false;
    else
        return false;
    return true;
}

// Plain decimal digits up to 18 of them; false for anything else.
bool ReadExpiry(const Field& f, int64_t* out) {
    if (f.len == 0 || f.len > 18) return false;
    int64_t n = 0;
    for (size_t i = 0; i < f.len; i++) {
        if (f.text[i] < '0' || f.text[i] > '9') return false;
        n = n * 10 + (f.text[i] - '0');
    }
    *out = n;
    return true;
}

bool CopyField(char* dst, size_t size, const Field& f) { return CopyPiece(dst, size, f.text, f.len); }

// One line without its line end; true when its cookie went into the store.
bool ReadLine(const char* line, size_t len, int64_t now) {
    static const char kHttpOnly[] = "#HttpOnly_";
    const size_t markLen = sizeof kHttpOnly - 1;
    bool httpOnly = false;
    if (len >= markLen && memcmp(line, kHttpOnly, markLen) == 0) {
        httpOnly = true;
        line += markLen;
        len -= markLen;
    } else if (len > 0 && line[0] == '#') {
        return false; // a comment
    }
    Field fields[kFieldCount];
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i <= len; i++) {
        if (i < len && line[i] != '\t') continue;
        if (count == kFieldCount) return false; // more fields than seven
        fields[count++] = {line + start, i - start};
        start = i + 1;
    }
    if (count != kFieldCount) return false; // blank lines end here too
    static Cookie c;                        // 4.6 KB: kept off the stack
    memset(&c, 0, sizeof c);
    Field domain = fields[0];
    if (domain.len > 0 && domain.text[0] == '.') {
        domain.text++;
        domain.len--;
    }
    bool subdomains = false;
    int64_t expires = 0;
    if (!CopyField(c.domain, sizeof c.domain, domain) || !ReadFlag(fields[1], &subdomains) ||
        !CopyField(c.path, sizeof c.path, fields[2]) || !ReadFlag(fields[3], &c.secure) ||
        !ReadExpiry(fields[4], &expires) || !CopyField(c.name, sizeof c.name, fields[5]) ||
        !CopyField(c.value, sizeof c.value, fields[6]))
        return false;
    for (char* p = c.domain; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = (char)(*p + 32);
    // An address takes cookies for itself alone, whatever the flag says.
    c.hostOnly = !subdomains || IsIpAddress(c.domain);
    c.httpOnly = httpOnly;
    c.expires = expires == 0 ? kSessionCookie : expires;
    // An expired cookie is not added; unlike a server's, it deletes nothing.
    if (c.expires <= now) return false;
    return PutCookie(c, now) == CookieStored;
}

bool IsAbsolutePath(const char* path) {
    if (path[0] == '\\' || path[0] == '/') return true;
    char d = path[0];
    return ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && path[1] == ':';
}

} // namespace

int ReadCookieText(const char* text, size_t len, int64_t now) {
    int stored = 0;
    size_t start = 0;
    while (start < len) {
        const char* newline = (const char*)memchr(text + start, '\n', len - start);
        size_t end = newline ? (size_t)(newline - text) : len;
        size_t lineLen = end - start;
        if (lineLen > 0 && text[start + lineLen - 1] == '\r') lineLen--;
        if (ReadLine(text + start, lineLen, now)) stored++;
        start = end + 1;
    }
    return stored;
}

void CookieFilePath(const char* setting, const char* folder, char* out, size_t outSize) {
    if (!setting[0] || IsAbsolutePath(setting))
        CopyText(out, outSize, setting);
    else
        FormatText(out, outSize, "%s\\%s", folder, setting);
}

void LoadCookieFile() {
    if (!Options.CookieFile[0]) return;
    char path[260];
    CookieFilePath(Options.CookieFile, ProgramFolder, path, sizeof path);
    std::string text;
    if (LoadWholeFile(path, &text) != WholeFileLoaded) {
        LogAppend("err:クッキーファイル%sを読み込めませんでした", path);
        return;
    }
    int count = ReadCookieText(text.data(), text.size(), UnixTime());
    LogAppend("クッキーファイル%sから%d個のクッキーを読み込みました", path, count);
}
