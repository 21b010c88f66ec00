#include "engine/snapshot.h"

#include <cstring>

#include "text/charset.h"
#include "text/nocase.h"
#include "text/text.h"

// True when every byte belongs to a whole UTF-8 sequence (ASCII included).
static bool IsValidUtf8(const char* text, size_t length) {
    size_t i = 0;
    while (i < length) {
        if ((unsigned char)text[i] < 0x80) {
            i++;
            continue;
        }
        uint32_t codePoint = 0;
        size_t used = DecodeUtf8(text + i, length - i, &codePoint);
        if (used == 0) return false;
        i += used;
    }
    return true;
}

static const char kSnapshotFirstLine[] = "FerrowSnapshot 1\n";
static const char* const kKindNames[] = {"", "page", "link", "picture"};

bool IsSnapshotAddress(const char* text, size_t length) {
    if (length > (size_t)kMaxAddress) return false;
    size_t scheme = 0;
    if (length > 7 && StrNCmpI(text, "http://", 7) == 0) scheme = 7;
    if (length > 8 && StrNCmpI(text, "https://", 8) == 0) scheme = 8;
    if (scheme == 0) return false;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c <= ' ' || c == 0x7f) return false;
    }
    return IsValidUtf8(text, length);
}

// Text that may hold tabs (cookie lines) or line ends (markup) but no NUL.
static bool IsFieldText(const char* text, size_t length, bool lineEnds) {
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c == 0) return false;
        if (c < ' ' && c != '\t' && !(lineEnds && (c == '\r' || c == '\n'))) return false;
    }
    return IsValidUtf8(text, length);
}

SnapshotFault CheckSnapshot(const Snapshot& s) {
    if (s.kind < SnapshotPage || s.kind > SnapshotPicture || s.address[0] == '\0')
        return SnapshotMissing;
    if (!IsSnapshotAddress(s.address, strlen(s.address))) return SnapshotBadAddress;
    if (s.referer[0] && !IsSnapshotAddress(s.referer, strlen(s.referer))) return SnapshotBadAddress;
    if (s.html.size() > kSnapshotMaxHtml || s.pictures.size() > (size_t)kSnapshotMaxPictures ||
        s.cookies.size() > (size_t)kSnapshotMaxCookies)
        return SnapshotTooLarge;
    if (s.kind == SnapshotPage && s.html.empty()) return SnapshotMissing;
    if (!IsFieldText(s.title, strlen(s.title), false) || !IsFieldText(s.agent, strlen(s.agent), false) ||
        !IsFieldText(s.html.data(), s.html.size(), true))
        return SnapshotBadText;
    for (const std::string& p : s.pictures)
        if (!IsSnapshotAddress(p.data(), p.size())) return SnapshotBadAddress;
    for (const std::string& c : s.cookies) {
        if (c.size() > kSnapshotMaxCookieLine) return SnapshotTooLarge;
        if (!IsFieldText(c.data(), c.size(), false)) return SnapshotBadText;
    }
    return SnapshotOk;
}

static void AppendField(std::string* out, const char* name, const char* bytes, size_t n) {
    char line[64];
    FormatText(line, sizeof line, "%s %llu\n", name, (unsigned long long)n);
    out->append(line);
    out->append(bytes, n);
    out->push_back('\n');
}

std::string WriteSnapshot(const Snapshot& s) {
    std::string out = kSnapshotFirstLine;
    const char* kind = kKindNames[s.kind >= SnapshotPage && s.kind <= SnapshotPicture ? s.kind : 0];
    AppendField(&out, "kind", kind, strlen(kind));
    AppendField(&out, "address", s.address, strlen(s.address));
    if (s.referer[0]) AppendField(&out, "referer", s.referer, strlen(s.referer));
    if (s.title[0]) AppendField(&out, "title", s.title, strlen(s.title));
    if (s.agent[0]) AppendField(&out, "agent", s.agent, strlen(s.agent));
    if (!s.html.empty()) AppendField(&out, "html", s.html.data(), s.html.size());
    for (const std::string& p : s.pictures) AppendField(&out, "picture", p.data(), p.size());
    for (const std::string& c : s.cookies) AppendField(&out, "cookie", c.data(), c.size());
    return out;
}

// The field line at *at: its name and byte count, *at moved past it.
static bool ReadFieldLine(const char* bytes, size_t length, size_t* at, char* name, size_t nameSize,
                          size_t* count) {
    size_t i = *at, n = 0;
    while (i < length && bytes[i] >= 'a' && bytes[i] <= 'z' && n + 1 < nameSize) name[n++] = bytes[i++];
    name[n] = '\0';
    if (n == 0 || i >= length || bytes[i] != ' ') return false;
    i++;
    size_t value = 0, digits = 0;
    while (i < length && bytes[i] >= '0' && bytes[i] <= '9') {
        if (++digits > 9) return false;  // past every bound anyway
        value = value * 10 + (size_t)(bytes[i++] - '0');
    }
    if (digits == 0 || i >= length || bytes[i] != '\n') return false;
    *at = i + 1;
    *count = value;
    return true;
}

static bool CopyField(char* out, size_t size, const char* bytes, size_t n) {
    return n < size && CopyPiece(out, size, bytes, n);
}

static int32_t KindOf(const char* bytes, size_t n) {
    for (int32_t k = SnapshotPage; k <= SnapshotPicture; k++)
        if (strlen(kKindNames[k]) == n && memcmp(kKindNames[k], bytes, n) == 0) return k;
    return 0;
}

// One field's value into the snapshot; false when it is unknown, repeated
// where it may not be, or too long for its place.
static SnapshotFault TakeField(Snapshot* s, const char* name, const char* v, size_t n, uint32_t* seen) {
    static const char* const kOnce[] = {"kind", "address", "referer", "title", "agent", "html"};
    for (uint32_t i = 0; i < sizeof kOnce / sizeof kOnce[0]; i++) {
        if (strcmp(name, kOnce[i]) != 0) continue;
        if (*seen & (1u << i)) return SnapshotBadLayout;
        *seen |= 1u << i;
    }
    if (strcmp(name, "kind") == 0) {
        s->kind = KindOf(v, n);
        return s->kind ? SnapshotOk : SnapshotBadLayout;
    }
    if (strcmp(name, "address") == 0)
        return CopyField(s->address, sizeof s->address, v, n) ? SnapshotOk : SnapshotBadAddress;
    if (strcmp(name, "referer") == 0)
        return CopyField(s->referer, sizeof s->referer, v, n) ? SnapshotOk : SnapshotBadAddress;
    if (strcmp(name, "title") == 0)
        return CopyField(s->title, sizeof s->title, v, n) ? SnapshotOk : SnapshotTooLarge;
    if (strcmp(name, "agent") == 0)
        return CopyField(s->agent, sizeof s->agent, v, n) ? SnapshotOk : SnapshotTooLarge;
    if (strcmp(name, "html") == 0) {
        if (n > kSnapshotMaxHtml) return SnapshotTooLarge;
        s->html.assign(v, n);
        return SnapshotOk;
    }
    if (strcmp(name, "picture") == 0) {
        if (s->pictures.size() >= (size_t)kSnapshotMaxPictures || n > (size_t)kMaxAddress)
            return SnapshotTooLarge;
        s->pictures.emplace_back(v, n);
        return SnapshotOk;
    }
    if (strcmp(name, "cookie") == 0) {
        if (s->cookies.size() >= (size_t)kSnapshotMaxCookies || n > kSnapshotMaxCookieLine)
            return SnapshotTooLarge;
        s->cookies.emplace_back(v, n);
        return SnapshotOk;
    }
    return SnapshotBadLayout;
}

SnapshotFault ReadSnapshot(const char* bytes, size_t length, Snapshot* out) {
    *out = Snapshot();
    if (length > kSnapshotMaxBytes) return SnapshotTooLarge;
    size_t first = sizeof kSnapshotFirstLine - 1;
    if (length < first || memcmp(bytes, kSnapshotFirstLine, first) != 0) return SnapshotBadLayout;
    size_t at = first;
    uint32_t seen = 0;
    while (at < length) {
        char name[16];
        size_t count = 0;
        if (!ReadFieldLine(bytes, length, &at, name, sizeof name, &count)) return SnapshotBadLayout;
        if (count > length - at || length - at - count < 1 || bytes[at + count] != '\n')
            return SnapshotBadLayout;
        SnapshotFault fault = TakeField(out, name, bytes + at, count, &seen);
        if (fault != SnapshotOk) return fault;
        at += count + 1;
    }
    return CheckSnapshot(*out);
}

const char* SnapshotFaultText(SnapshotFault fault) {
    switch (fault) {
    case SnapshotOk: return "ok";
    case SnapshotBadLayout: return "malformed snapshot";
    case SnapshotTooLarge: return "a field or count is too large";
    case SnapshotBadAddress: return "only http and https addresses can be handed over";
    case SnapshotBadText: return "text is not valid UTF-8";
    case SnapshotMissing: return "the kind, the address or the page is missing";
    }
    return "unknown fault";
}
