#include "engine/host_message.h"

#include <cstdlib>
#include <cstring>

#include "engine/cookies.h"
#include "text/json_text.h"
#include "text/text.h"

namespace {

// The message nests three deep; unknown values may nest a little more.
constexpr int kMaxDepth = 16;
// Year 9999: later expiries are no dates a browser gives.
constexpr double kLatestExpiry = 253402300799.0;

struct Cursor {
    const char* p;
    const char* end;
};

void SkipBlanks(Cursor* c) {
    while (c->p < c->end && (*c->p == ' ' || *c->p == '\t' || *c->p == '\n' || *c->p == '\r'))
        c->p++;
}

bool Take(Cursor* c, char expected) {
    SkipBlanks(c);
    if (c->p >= c->end || *c->p != expected) return false;
    c->p++;
    return true;
}

bool TakeWord(Cursor* c, const char* word) {
    size_t n = strlen(word);
    if ((size_t)(c->end - c->p) < n || memcmp(c->p, word, n) != 0) return false;
    c->p += n;
    return true;
}

// A string value, decoded; tooLong when it decodes to more than max bytes.
// The decoded text is never longer than its JSON form, which sizes out.
MessageFault ReadString(Cursor* c, std::string* out, size_t max, bool controls,
                        MessageFault tooLong) {
    SkipBlanks(c);
    if (c->p >= c->end || *c->p != '"') return c->p >= c->end ? MessageBadJson : MessageBadType;
    const char* stop = JsonStringEnd(c->p, c->end);
    if (stop >= c->end) return MessageBadJson;
    size_t raw = (size_t)(stop - c->p - 1);
    if (raw / 6 > max) return tooLong; // even all \u escapes would decode too long
    out->resize(raw + 1);
    size_t n = 0;
    if (!DecodeJsonString(c->p + 1, stop, &(*out)[0], raw + 1, &n, controls)) return MessageBadText;
    out->resize(n);
    c->p = stop + 1;
    return n > max ? tooLong : MessageOk;
}

MessageFault ReadBool(Cursor* c, bool* out) {
    SkipBlanks(c);
    if (TakeWord(c, "true"))
        *out = true;
    else if (TakeWord(c, "false"))
        *out = false;
    else
        return MessageBadType;
    return MessageOk;
}

MessageFault ReadNumber(Cursor* c, double* out) {
    SkipBlanks(c);
    char text[40];
    size_t n = 0;
    while (c->p < c->end && strchr("+-.eE0123456789", *c->p) && *c->p) {
        if (n + 1 >= sizeof text) return MessageBadType;
        text[n++] = *c->p++;
    }
    text[n] = '\0';
    char* stop = nullptr;
    double value = n ? strtod(text, &stop) : 0;
    if (n == 0 || stop != text + n) return MessageBadType;
    *out = value;
    return MessageOk;
}

MessageFault SkipValue(Cursor* c, int depth);

// The members or items of the container whose opening bracket was taken.
MessageFault SkipContainer(Cursor* c, bool object, int depth) {
    if (depth >= kMaxDepth) return MessageBadJson;
    const char close = object ? '}' : ']';
    if (Take(c, close)) return MessageOk;
    for (;;) {
        if (object) {
            std::string key;
            MessageFault f = ReadString(c, &key, SIZE_MAX, true, MessageBadJson);
            if (f != MessageOk) return f == MessageBadType ? MessageBadJson : f;
            if (!Take(c, ':')) return MessageBadJson;
        }
        MessageFault f = SkipValue(c, depth + 1);
        if (f != MessageOk) return f;
        if (Take(c, close)) return MessageOk;
        if (!Take(c, ',')) return MessageBadJson;
    }
}

MessageFault SkipValue(Cursor* c, int depth) {
    SkipBlanks(c);
    if (c->p >= c->end) return MessageBadJson;
    std::string text;
    bool flag = false;
    double number = 0;
    switch (*c->p) {
    case '{':
    case '[':
        c->p++;
        return SkipContainer(c, c->p[-1] == '{', depth);
    case '"':
        return ReadString(c, &text, SIZE_MAX, true, MessageBadJson);
    case 't':
    case 'f':
        return ReadBool(c, &flag) == MessageOk ? MessageOk : MessageBadJson;
    case 'n':
        return TakeWord(c, "null") ? MessageOk : MessageBadJson;
    default:
        return ReadNumber(c, &number) == MessageOk ? MessageOk : MessageBadJson;
    }
}

// Calls member(key) for each member of the object at the cursor; member
// reads the value.
template <typename Member> MessageFault ReadObject(Cursor* c, Member member) {
    if (!Take(c, '{')) return c->p >= c->end ? MessageBadJson : MessageBadType;
    if (Take(c, '}')) return MessageOk;
    for (;;) {
        std::string key;
        MessageFault f = ReadString(c, &key, SIZE_MAX, true, MessageBadJson);
        if (f != MessageOk) return f == MessageBadType ? MessageBadJson : f;
        if (!Take(c, ':')) return MessageBadJson;
        f = member(key);
        if (f != MessageOk) return f;
        if (Take(c, '}')) return MessageOk;
        if (!Take(c, ',')) return MessageBadJson;
    }
}

// Calls item() for each item of the array at the cursor.
template <typename Item> MessageFault ReadArray(Cursor* c, Item item) {
    if (!Take(c, '[')) return c->p >= c->end ? MessageBadJson : MessageBadType;
    if (Take(c, ']')) return MessageOk;
    for (;;) {
        MessageFault f = item();
        if (f != MessageOk) return f;
        if (Take(c, ']')) return MessageOk;
        if (!Take(c, ',')) return MessageBadJson;
    }
}

struct CookieFields {
    std::string name, value, domain, path;
    bool hostOnly = false, secure = false, httpOnly = false, session = false;
    bool hasName = false, hasValue = false;
    double expires = -1; // none given
};

// A domain as the cookie store takes it: a host name or address, with the
// leading dot of a domain cookie.
bool IsCookieDomain(const std::string& domain) {
    if (domain.empty() || domain == ".") return false;
    for (char ch : domain) {
        bool plain =
            (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (!plain && !strchr(".-_:[]", ch)) return false;
    }
    return true;
}

MessageFault CookieMember(Cursor* c, const std::string& key, CookieFields* k) {
    const MessageFault bad = MessageBadCookie;
    if (key == "name") {
        k->hasName = true;
        return ReadString(c, &k->name, kCookieNameSize - 1, false, bad);
    }
    if (key == "value") {
        k->hasValue = true;
        return ReadString(c, &k->value, kCookieValueSize - 1, false, bad);
    }
    if (key == "domain") return ReadString(c, &k->domain, kCookieDomainSize - 1, false, bad);
    if (key == "path") return ReadString(c, &k->path, kCookiePathSize - 1, false, bad);
    if (key == "hostOnly") return ReadBool(c, &k->hostOnly);
    if (key == "secure") return ReadBool(c, &k->secure);
    if (key == "httpOnly") return ReadBool(c, &k->httpOnly);
    if (key == "session") return ReadBool(c, &k->session);
    if (key == "expirationDate") return ReadNumber(c, &k->expires);
    return SkipValue(c, 2);
}

// One cookie of the browser as a cookies.txt line (the snapshot's layout).
MessageFault ReadCookie(Cursor* c, std::string* line) {
    CookieFields k;
    MessageFault f =
        ReadObject(c, [&](const std::string& key) { return CookieMember(c, key, &k); });
    if (f != MessageOk) return f == MessageBadType ? MessageBadCookie : f;
    if (!k.hasName || !k.hasValue || !IsCookieDomain(k.domain) || k.path.empty() ||
        k.path[0] != '/')
        return MessageBadCookie;
    int64_t expiry = 0; // for the run only
    if (!k.session && k.expires != -1) {
        if (!(k.expires >= 0 && k.expires <= kLatestExpiry)) return MessageBadCookie;
        expiry = (int64_t)k.expires;
        if (expiry == 0) expiry = 1; // long past, not a session cookie
    }
    const char* host = k.domain.c_str() + (k.domain[0] == '.' ? 1 : 0);
    char fields[64];
    FormatText(fields, sizeof fields, "\t%s\t", k.hostOnly ? "FALSE" : "TRUE");
    *line = k.httpOnly ? "#HttpOnly_" : "";
    *line += k.hostOnly ? "" : ".";
    *line += host;
    *line += fields;
    *line += k.path;
    FormatText(fields, sizeof fields, "\t%s\t%lld\t", k.secure ? "TRUE" : "FALSE",
               (long long)expiry);
    *line += fields;
    *line += k.name + "\t" + k.value;
    return MessageOk;
}

// A fixed field of the snapshot from a string value.
MessageFault ReadInto(Cursor* c, char* field, size_t size, MessageFault tooLong) {
    std::string text;
    MessageFault f = ReadString(c, &text, size - 1, false, tooLong);
    if (f == MessageOk) CopyText(field, size, text.c_str());
    return f;
}

MessageFault ReadKind(Cursor* c, Snapshot* s) {
    static const char* const kKinds[] = {"page", "link", "picture"};
    std::string text;
    MessageFault f = ReadString(c, &text, 16, false, MessageBadKind);
    if (f != MessageOk) return f;
    for (int32_t k = 0; k < 3; k++)
        if (text == kKinds[k]) s->kind = SnapshotPage + k;
    return s->kind ? MessageOk : MessageBadKind;
}

// Markup may hold any character; the snapshot keeps tabs and line ends, and
// the scan reads other control characters as blanks anyway.
void BlankControls(std::string* html) {
    for (char& ch : *html)
        if ((unsigned char)ch < 0x20 && ch != '\t' && ch != '\r' && ch != '\n') ch = ' ';
}

MessageFault MessageMember(Cursor* c, const std::string& key, Snapshot* s) {
    if (key == "kind") return ReadKind(c, s);
    if (key == "url") return ReadInto(c, s->address, sizeof s->address, MessageBadAddress);
    if (key == "referrer") return ReadInto(c, s->referer, sizeof s->referer, MessageBadAddress);
    if (key == "title") return ReadInto(c, s->title, sizeof s->title, MessageTooLarge);
    if (key == "userAgent") return ReadInto(c, s->agent, sizeof s->agent, MessageTooLarge);
    if (key == "html") {
        MessageFault f = ReadString(c, &s->html, kSnapshotMaxHtml, true, MessageTooLarge);
        BlankControls(&s->html);
        return f;
    }
    if (key == "pictures") {
        s->pictures.clear();
        return ReadArray(c, [&] {
            if (s->pictures.size() >= (size_t)kSnapshotMaxPictures) return MessageTooLarge;
            s->pictures.emplace_back();
            return ReadString(c, &s->pictures.back(), kMaxAddress, false, MessageBadAddress);
        });
    }
    if (key == "cookies") {
        s->cookies.clear();
        return ReadArray(c, [&] {
            if (s->cookies.size() >= (size_t)kSnapshotMaxCookies) return MessageTooLarge;
            s->cookies.emplace_back();
            return ReadCookie(c, &s->cookies.back());
        });
    }
    return SkipValue(c, 1);
}

MessageFault FromSnapshotFault(SnapshotFault fault) {
    switch (fault) {
    case SnapshotOk:
        return MessageOk;
    case SnapshotBadLayout:
        return MessageBadJson;
    case SnapshotTooLarge:
        return MessageTooLarge;
    case SnapshotBadAddress:
        return MessageBadAddress;
    case SnapshotBadText:
        return MessageBadText;
    case SnapshotMissing:
        return MessageMissing;
    }
    return MessageBadJson;
}

} // namespace

MessageFault ReadMessageLength(const unsigned char prefix[4], uint32_t* lengthOut) {
    uint32_t n = (uint32_t)prefix[0] | (uint32_t)prefix[1] << 8 | (uint32_t)prefix[2] << 16 |
                 (uint32_t)prefix[3] << 24;
    if (n == 0 || n > kHostMessageMax) return MessageBadLength;
    *lengthOut = n;
    return MessageOk;
}

MessageFault ReadHostMessage(const char* json, size_t length, Snapshot* out) {
    *out = Snapshot();
    if (length == 0 || length > kHostMessageMax) return MessageBadLength;
    Cursor c = {json, json + length};
    SkipBlanks(&c);
    if (c.p >= c.end || *c.p != '{') return MessageBadJson;
    MessageFault f =
        ReadObject(&c, [&](const std::string& key) { return MessageMember(&c, key, out); });
    if (f != MessageOk) return f;
    SkipBlanks(&c);
    if (c.p != c.end) return MessageBadJson;
    return FromSnapshotFault(CheckSnapshot(*out));
}

const char* MessageFaultText(MessageFault fault) {
    switch (fault) {
    case MessageOk:
        return "ok";
    case MessageBadLength:
        return "the message length is missing, zero or over 64 MiB";
    case MessageShort:
        return "the message ended before its stated length";
    case MessageBadJson:
        return "the message is not one JSON object";
    case MessageBadType:
        return "a field has the wrong type";
    case MessageBadKind:
        return "kind must be page, link or picture";
    case MessageBadCookie:
        return "a cookie is malformed or too long";
    case MessageTooLarge:
        return "a field or count is too large";
    case MessageBadAddress:
        return "only http and https addresses can be handed over";
    case MessageBadText:
        return "text is not valid UTF-8";
    case MessageMissing:
        return "the kind, the url or the page's html is missing";
    }
    return "unknown fault";
}

std::string FrameHostReply(const char* error) {
    std::string body;
    if (!error) {
        body = "{\"ok\":true}";
    } else {
        // Far under the browser's bound, and never half a UTF-8 character.
        size_t n = strlen(error);
        if (n > 4096) n = 4096;
        while (n > 0 && n < strlen(error) && ((unsigned char)error[n] & 0xC0) == 0x80)
            n--;
        body = "{\"error\":";
        AppendJsonString(&body, error, n);
        body += "}";
    }
    uint32_t n = (uint32_t)body.size();
    std::string framed;
    for (int i = 0; i < 4; i++)
        framed.push_back((char)((n >> (8 * i)) & 0xFF));
    return framed + body;
}
