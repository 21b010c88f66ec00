// libFuzzer target for what a server controls: the response head (status,
// Content-Length, Last-Modified, Location, Content-Range, Retry-After) and
// the address a download is saved under. Whatever the bytes, the saved path must stay inside the folder.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/links.h"
#include "engine/http.h"
#include "engine/local_path.h"
#include "text/text.h"

// Stops the run with the line of the broken rule, so a finding is read at once.
static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "http_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

// The path is folder\rest where rest has no empty, "." or ".." component,
// none of the characters Windows refuses in names and no lead byte without
// its second half. Components are split as Windows reads Shift_JIS: a
// backslash that is the second byte of a character separates nothing.
static void CheckInsideFolder(const char* folder, const char* path) {
    size_t n = strlen(folder);
    Check(strlen(path) <= 259);
    Check(strncmp(path, folder, n) == 0 && path[n] == '\\');
    std::string part;
    for (const char* p = path + n + 1;; p++) {
        if (*p == '\\' || *p == '\0') {
            Check(!part.empty() && part != "." && part != "..");
            Check(part.back() != ' ' && part.back() != '.');
            if (!*p) break;
            part.clear();
            continue;
        }
        if (IsDoubleByteAt(p)) {
            part += p[0];
            part += p[1];
            p++;
            continue;
        }
        unsigned char c = (unsigned char)*p;
        Check(c >= 0x20 && !IsLeadByte(c) && !strchr("<>:\"/|?*", c));
        part += *p;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    int len = (int)text.size();
    int bodyAt = FindHeadEnd(text.c_str(), len);
    Check(bodyAt == -1 || (bodyAt >= 0 && bodyAt <= len));
    int headLen = bodyAt < 0 ? len : bodyAt;
    int status = ParseStatusLine(text.c_str(), headLen);
    Check(status >= 0 && status <= 999);

    char value[260];
    if (FindHeaderValue(text.c_str(), headLen, "Content-Length", value, sizeof value)) {
        Check(strlen(value) < sizeof value);
        Check(ParseContentLength(value) >= -1);
    }
    if (FindHeaderValue(text.c_str(), headLen, "Last-Modified", value, sizeof value)) {
        char date[20];
        FormatHttpDate(value, date);
        Check(strlen(date) < sizeof date);
    }
    // What a retry or a resumed download reads from the head.
    if (FindHeaderValue(text.c_str(), headLen, "Content-Range", value, sizeof value)) {
        int64_t first = -1, total = -1;
        if (ParseContentRange(value, &first, &total))
            Check(first >= 0 && (total == -1 || first < total));
    }
    if (FindHeaderValue(text.c_str(), headLen, "Retry-After", value, sizeof value)) {
        char date[260];
        bool dated = FindHeaderValue(text.c_str(), headLen, "Date", date, sizeof date);
        int wait = RetryAfterSeconds(value, dated ? date : nullptr, 120);
        Check(wait >= -1 && wait <= 120);
    }
    char address[260] = "http://127.0.0.1/dir/page.html";
    if (FindHeaderValue(text.c_str(), headLen, "Location", value, sizeof value)) {
        char resolved[260];
        if (ResolveLink(value, address, resolved, sizeof resolved)) {
            Check(strlen(resolved) <= 259 && SchemeLength(resolved) > 0);
            memcpy(address, resolved, sizeof address);
        }
    }
    // The input itself as an address, and the redirect target, saved both ways.
    std::string raw = text.substr(0, 300);
    raw.erase(std::find(raw.begin(), raw.end(), '\0'), raw.end());
    const char* folder = "C:\\Down";
    const char* candidates[] = {address, raw.c_str()};
    for (const char* candidate : candidates) {
        char local[256], path[260];
        LocalNameOf(candidate, local, sizeof local);
        for (int hierarchical = 0; hierarchical <= 1; hierarchical++) {
            if (!DownloadPath(folder, candidate, local, hierarchical, path, sizeof path)) continue;
            CheckInsideFolder(folder, path);
            // Its part file waits beside it, inside the folder too.
            char part[260];
            if (PartPathOf(path, part, sizeof part)) {
                Check(strlen(part) <= 259);
                Check(strncmp(part, path, (size_t)(strrchr(path, '\\') - path + 1)) == 0);
            }
        }
    }
    return 0;
}
