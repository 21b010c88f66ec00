#include "analysis/page_scan.h"

#include <cstring>

#include "analysis/file_table.h"
#include "analysis/links.h"
#include "engine/jobs.h"
#include "engine/report.h"
#include "engine/text.h"
#include "settings/options.h"

namespace {

constexpr size_t kTagTextSize = 256;
constexpr size_t kMaxTagChars = 253;  // then ">" and the terminator
constexpr size_t kTitleSize = 100;
constexpr size_t kMaxTitleChars = 88;
constexpr size_t kCharsetSize = 256;
constexpr size_t kHrefSize = 256;  // room enough to compare with "javascript:;"
constexpr char kCaptionSuffix[] = " - Ferrow";
constexpr char kScriptEnd[] = "</script>";
constexpr size_t kScriptEndLength = sizeof kScriptEnd - 1;
constexpr char kWindowOpen[] = "window.open";
// How far after the "(" (or ",") of a call its quoted argument may start.
// Bounds the work per call, so a script of nothing but unclosed calls still
// scans in linear time.
constexpr size_t kMaxArgumentGap = 256;

enum Encoding { EncodingUnknown = 0, EncodingShiftJis = 2, EncodingEucJp = 3 };

struct ScanState {
    char tagText[kTagTextSize];
    size_t tagLength;
    bool tagCut;  // characters were dropped for want of room
    bool inTag;
    char title[kTitleSize];
    size_t titleLength;
    bool inTitle;
    bool inLink;
    int encoding;
    char baseDirectory[kAddressBufferSize];
};

// Whitespace of markup: a carriage return is an ordinary character here.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool StartsNoCase(const char* text, const char* prefix) {
    return StrNCmpI(text, prefix, (int)strlen(prefix)) == 0;
}

// The element itself, not just a name that begins the same way: "<a" must
// not take "<area>", "<abbr>" or "<address>" for an anchor.
bool IsElement(const char* tagText, const char* name) {
    size_t n = strlen(name);
    if (StrNCmpI(tagText, name, (int)n) != 0) return false;
    char next = tagText[n];
    return next == ' ' || next == '>' || next == '/' || next == '\r';
}

// Copies length bytes of text, at most size - 1, never ending the copy with
// the first half of a Shift_JIS character.
void CopySpan(char* out, size_t size, const char* text, size_t length) {
    if (size == 0) return;
    size_t n = length < size - 1 ? length : size - 1;
    if (n < length) {
        size_t whole = 0;
        while (whole < n) {
            size_t step = IsLeadByte((unsigned char)text[whole]) ? 2 : 1;
            if (whole + step > n) break;
            whole += step;
        }
        n = whole;
    }
    memcpy(out, text, n);
    out[n] = '\0';
}

// Cuts a Shift_JIS text before a lead byte that has lost its second byte.
void DropHalfCharacter(char* text) {
    size_t i = 0;
    while (text[i]) {
        if (IsLeadByte((unsigned char)text[i])) {
            if (!text[i + 1]) {
                text[i] = '\0';
                return;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
}

void TakeArgument(const char* text, const char* end, const char* prefix, int index,
                  const char* baseDirectory) {
    const char* p = text;
    if (prefix) {
        size_t n = strlen(prefix);
        if ((size_t)(end - p) < n || memcmp(p, prefix, n) != 0) return;
        // The name must be called: window.opener.location(...) is no call
        // of window.open.
        p += n;
        while (p < end && (IsSpace(*p) || *p == '\r')) p++;
        if (p >= end || *p != '(') return;
    } else {
        p = (const char*)memchr(p, '(', (size_t)(end - p));
        if (!p) return;
    }
    p++;
    const char* window = (size_t)(end - p) > kMaxArgumentGap ? p + kMaxArgumentGap : end;
    if (index == 1) {
        p = (const char*)memchr(p, ',', (size_t)(window - p));
        if (!p) return;
        p++;
        window = (size_t)(end - p) > kMaxArgumentGap ? p + kMaxArgumentGap : end;
    }
    // The argument opens at the first quote of either kind and closes at the
    // next one of the same kind: openWin('a.jpg', "w") takes a.jpg.
    const char* open = p;
    while (open < window && *open != '"' && *open != '\'') open++;
    if (open >= window) return;
    const char* start = open + 1;
    size_t room = (size_t)(end - start);
    if (room > (size_t)kMaxAddress + 1) room = (size_t)kMaxAddress + 1;
    const char* close = (const char*)memchr(start, *open, room);
    if (!close || close - start > kMaxAddress) return;  // longer than any address
    char link[kAddressBufferSize];
    memcpy(link, start, (size_t)(close - start));
    link[close - start] = '\0';
    HandleLink(link, nullptr, baseDirectory);
}

void CollectCharacter(ScanState& s, char c) {
    if (s.inTag) {
        if (IsSpace(c)) {
            if (s.tagLength > 0 && s.tagText[s.tagLength - 1] == ' ') return;
            c = ' ';
        }
        if (s.tagLength < kMaxTagChars) {
            s.tagText[s.tagLength++] = c;
            s.tagText[s.tagLength] = '\0';
        } else {
            s.tagCut = true;
        }
    } else if (s.inTitle) {
        if (IsSpace(c)) {
            if (s.titleLength == 0 || s.title[s.titleLength - 1] == ' ') return;
            c = ' ';
        }
        if (s.titleLength < kMaxTitleChars) {
            s.title[s.titleLength++] = c;
            s.title[s.titleLength] = '\0';
        }
    }
}

void NoteCharset(ScanState& s) {
    char charset[kCharsetSize];
    if (!GetAttributeValue(s.tagText, "charset", charset, sizeof charset)) return;
    if (FindNoCase(charset, "EUC-JP")) s.encoding = EncodingEucJp;
    if (FindNoCase(charset, "Shift_JIS")) s.encoding = EncodingShiftJis;
}

void TakeScriptLink(ScanState& s) {
    char href[kHrefSize];
    if (!GetAttributeValue(s.tagText, "href", href, sizeof href)) return;
    if (StrNCmpI(href, "javascript:;", 13) != 0) return;
    const char* onClick = nullptr;
    size_t length = 0;
    if (!FindAttributeValue(s.tagText, "onClick", &onClick, &length)) return;
    TakeArgument(onClick, onClick + length, nullptr, 0, s.baseDirectory);
}

// What the page scan does after a tag.
enum TagOutcome { TagDone, TagOpensTitle, TagSkipScript, TagEndsScan };

// Handles the tag collected in s; at is the tag's ">" in the page. For a
// script, *skipOut is how far the scan jumps from there.
TagOutcome ProcessTag(ScanState& s, const char* at, ptrdiff_t* skipOut) {
    const char* tag = s.tagText;
    if (StartsNoCase(tag, "<meta")) NoteCharset(s);
    if (StartsNoCase(tag, "<title")) {
        s.title[0] = '\0';
        s.titleLength = 0;
        s.inTitle = true;
        return TagOpensTitle;
    }
    if (StartsNoCase(tag, "</title")) s.inTitle = false;
    if (StartsNoCase(tag, "<script language") && FindNoCase(tag, "JavaScript")) {
        ptrdiff_t skip = ScanScript(at, s.baseDirectory);
        if (skip < 0) return TagEndsScan;
        *skipOut = skip;
        return TagSkipScript;
    }
    if (IsElement(tag, "<a")) s.inLink = true;
    if (IsElement(tag, "</a")) s.inLink = false;
    if (StartsNoCase(tag, "<img") && !(Options.ThumbNail == 1 && s.inLink))
        HandleLink(tag, "src", s.baseDirectory);
    if (StartsNoCase(tag, "<a")) {
        TakeScriptLink(s);
        HandleLink(tag, "href", s.baseDirectory);
    }
    if (StartsNoCase(tag, "<frame")) HandleLink(tag, "src", s.baseDirectory);
    if (StartsNoCase(tag, "<iframe")) HandleLink(tag, "src", s.baseDirectory);
    if (StartsNoCase(tag, "<area")) HandleLink(tag, "href", s.baseDirectory);
    if (StartsNoCase(tag, "<body")) HandleLink(tag, "background", s.baseDirectory);
    return TagDone;
}

void ShowTitle(ScanState& s, const char* pageAddress) {
    if (s.titleLength == 0) CopyText(s.title, kMaxTitleChars + 1, pageAddress);
    if (s.encoding == EncodingUnknown) s.encoding = GuessJapaneseEncoding(s.title);
    if (s.encoding == EncodingEucJp) EucToShiftJis(s.title);
    // The cut at 88 bytes may have split a character; its lead byte would
    // swallow the space of the suffix.
    DropHalfCharacter(s.title);
    char caption[kTitleSize + sizeof kCaptionSuffix];
    FormatText(caption, sizeof caption, "%s%s", s.title, kCaptionSuffix);
    SetCaption(caption);
}

}  // namespace

void AnalysePage(const char* text, const char* pageAddress) {
    ScanState s;
    memset(&s, 0, sizeof s);
    // Without a usable page address relative links have nothing to resolve
    // against and are dropped; absolute ones still count.
    BaseDirectory(pageAddress, s.baseDirectory, sizeof s.baseDirectory);
    PrepareLinkChecks();
    ViewSetRedraw(0);

    size_t i = 0;
    while (text[i]) {
        char c = text[i];
        if (c == '<') {
            if (strncmp(text + i, "<!--", 4) == 0) {
                // "-->" found from the second dash on: "<!-->" closes at once.
                const char* end = strstr(text + i + 2, "-->");
                if (!end) break;
                i = (size_t)(end - text) + 3;
                continue;
            }
            s.tagText[0] = '\0';
            s.tagLength = 0;
            s.tagCut = false;
            s.inTag = true;
        } else if (c == '>') {
            bool closesTag = s.inTag;
            // A cut tag gets no ">": an unquoted value running into the cut
            // then has no end and is not taken half.
            if (!s.tagCut) {
                s.tagText[s.tagLength++] = '>';
                s.tagText[s.tagLength] = '\0';
            }
            s.inTag = false;
            ptrdiff_t skip = 0;
            TagOutcome outcome = ProcessTag(s, text + i, &skip);
            s.tagText[0] = '\0';
            s.tagLength = 0;
            s.tagCut = false;
            if (outcome == TagEndsScan) break;
            if (outcome == TagSkipScript) {
                i += (size_t)skip;
                continue;
            }
            // The bracket that closes a tag is markup, not title text.
            if (closesTag) {
                i++;
                continue;
            }
        }
        CollectCharacter(s, c);
        i++;
    }

    if (strcmp(pageAddress, Engine.TopPageAddress) == 0) ShowTitle(s, pageAddress);
    ListPublishCount();
    ViewSetRedraw(1);
}

bool FindAttributeValue(const char* tagText, const char* name, const char** startOut,
                        size_t* lengthOut) {
    const char* at = FindNoCase(tagText, name);
    if (!at) return false;
    const char* equals = strchr(at + strlen(name), '=');
    if (!equals) return false;
    const char* p = equals + 1;
    while (IsSpace(*p)) p++;
    if (!*p) return false;
    const char* start;
    const char* stop;
    if (*p == '"' || *p == '\'') {
        start = p + 1;
        stop = strchr(start, *p);
    } else {
        start = p;
        stop = strchr(start, ' ');
        if (!stop) stop = strchr(start, '>');
    }
    if (!stop) return false;
    while (start < stop && IsSpace(*start)) start++;
    while (stop > start && IsSpace(stop[-1])) stop--;
    if (start == stop) return false;
    *startOut = start;
    *lengthOut = (size_t)(stop - start);
    return true;
}

bool GetAttributeValue(const char* tagText, const char* name, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = '\0';
    const char* start = nullptr;
    size_t length = 0;
    if (!FindAttributeValue(tagText, name, &start, &length)) return false;
    CopySpan(out, capacity, start, length);
    return true;
}

ptrdiff_t ScanScript(const char* text, const char* baseDirectory) {
    const char* scriptEnd = FindNoCase(text, kScriptEnd);
    const char* end = scriptEnd ? scriptEnd : text + strlen(text);
    // The first argument of window.open is the address it opens.
    for (const char* p = text; p < end; p++)
        if (*p == 'w') TakeArgument(p, end, kWindowOpen, 0, baseDirectory);
    if (!scriptEnd) return -1;
    return (scriptEnd - text) + (ptrdiff_t)kScriptEndLength;
}

void TakeQuotedArgument(const char* text, const char* prefix, int index, const char* baseDirectory) {
    TakeArgument(text, text + strlen(text), prefix, index, baseDirectory);
}

int GuessJapaneseEncoding(const char* text) {
    int shiftJis = 0, eucJp = 0;
    const unsigned char* p = (const unsigned char*)text;
    while (*p) {
        if (*p < 0x80) {
            p++;
            continue;
        }
        unsigned char c1 = p[0], c2 = p[1];
        if (!c2) break;
        bool trail = c2 >= 0x40 && c2 <= 0xFC;
        if (c1 >= 0x81 && c1 <= 0x9F && trail) shiftJis++;
        if (c1 >= 0xE0 && c1 <= 0xEF && trail) shiftJis++;
        if (c1 >= 0xA1 && c1 <= 0xFE && c2 >= 0xA1 && c2 <= 0xFE) eucJp++;
        p += 2;
    }
    return eucJp > shiftJis ? EncodingEucJp : EncodingShiftJis;
}

// JIS X 0208 rows map arithmetically from EUC-JP onto Shift_JIS. Only real
// EUC-JP pairs are converted: a high byte paired with an ASCII byte would
// turn the ASCII byte into anything, a terminator included. A half-width
// katakana (0x8E and one byte) becomes its single Shift_JIS byte.
void EucToShiftJis(char* text) {
    unsigned char* in = (unsigned char*)text;
    unsigned char* out = in;
    while (*in) {
        unsigned char c1 = in[0], c2 = in[1];
        if (c1 >= 0xA1 && c1 <= 0xFE && c2 >= 0xA1 && c2 <= 0xFE) {
            if (c1 & 1)
                c2 = (unsigned char)(c2 - 0x61 + (c2 - 0x61 > 0x7E ? 1 : 0));
            else
                c2 = (unsigned char)(c2 - 2);
            c1 = (unsigned char)((c1 + 1) / 2 + (c1 < 0xDF ? 0x30 : 0x70));
            *out++ = c1;
            *out++ = c2;
            in += 2;
        } else if (c1 == 0x8E && c2 >= 0xA1 && c2 <= 0xDF) {
            *out++ = c2;
            in += 2;
        } else {
            *out++ = c1;
            in += 1;
        }
    }
    *out = '\0';
}
