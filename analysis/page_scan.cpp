#include "analysis/page_scan.h"

#include <cstring>

#include "analysis/attribute_text.h"
#include "analysis/byte_search.h"
#include "analysis/json_images.h"
#include "analysis/links.h"
#include "text/charset.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

// Room a tag text starts with; a longer tag grows it, bounded by the page.
constexpr size_t kTagTextStart = 4096;
// Raw title bytes kept: a UTF-8 character takes up to three bytes for the
// two of its Shift_JIS form, so 88 Shift_JIS bytes need this many.
constexpr size_t kTitleRawBytes = 3 * kMaxTitleBytes;
constexpr size_t kCharsetSize = 256;
// A decoded attribute value, and a link with its bytes beyond ASCII
// percent-encoded; a longer one names no address we could fetch.
constexpr size_t kValueSize = kAddressInputSize;
// How far after the "(" (or ",") of a call its quoted argument may start.
// Bounds the work per call, so a script of nothing but unclosed calls still
// scans in linear time.
constexpr size_t kMaxArgumentGap = 256;
constexpr char kWindowOpen[] = "window.open";

// Whitespace of the collected tag text and title: a carriage return is an
// ordinary character there, as it always was.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
// Blanks between attributes of a tag as browsers read them.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

struct Scanner {
    const char* page;
    const char* end;
    const ScanSettings* settings;
    PageScan* out;
    const char* tagStart; // "<" of the tag being handled
    char* tagText;        // the whole tag, blanks collapsed, in *tagRoom
    size_t tagLength;
    std::vector<char>* tagRoom;
    char title[kTitleRawBytes + 1];
    size_t titleLength;
    bool inTitle;
    bool inLink;
    int charset;
    bool charsetFixed; // from the header or the byte-order mark: meta tags do not change it
    bool baseTaken;    // a <base href> set the base; later ones do not count
    const char* tagLt; // the tag as HandleTag has it, "<" to ">"
    const char* tagGt;
    const char* tagReadEnd; // the end of the buffer the tag lies in
    int8_t pixel;           // the tag is a counting pixel: 1, 0, or -1 until asked
    LinkBase base;          // what relative links start from, split once
};

// Case-free comparison with a lowercase word: the answer of StrNCmpI(text,
// lower, n) == 0 without its call, for the tests run on every tag. A text
// shorter than n ends at its NUL, which no word holds.
inline bool SameLower(const char* text, const char* lower, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c >= 'A' && c <= 'Z') c = (unsigned char)(c + 32);
        if (c != (unsigned char)lower[i]) return false;
    }
    return true;
}

// Case-free prefix test on raw page bytes, the ">" at gt included: the same
// answer as the prefix test on the collected tag text, because no prefix
// holds whitespace (the one that does is tested on the collected text).
template <size_t N> bool StartsRaw(const char* lt, const char* gt, const char (&prefix)[N]) {
    constexpr size_t n = N - 1;
    if ((size_t)(gt - lt) + 1 < n) return false;
    return SameLower(lt, prefix, n);
}

template <size_t N> bool StartsNoCase(const char* text, const char (&prefix)[N]) {
    return SameLower(text, prefix, N - 1);
}

// The element itself, not just a name that begins the same way: "<a" must
// not take "<area>", "<abbr>" or "<address>" for an anchor.
template <size_t N> bool IsElement(const char* tagText, const char (&name)[N]) {
    constexpr size_t n = N - 1;
    if (!SameLower(tagText, name, n)) return false;
    char next = tagText[n];
    return next == ' ' || next == '>' || next == '/' || next == '\r';
}

bool NameIs(const char* name, size_t length, const char* word, size_t wordLength) {
    return length == wordLength && SameLower(name, word, wordLength);
}
template <size_t N> bool NameIs(const char* name, size_t length, const char (&word)[N]) {
    return NameIs(name, length, word, N - 1);
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

// Length of text without a UTF-8 character cut off at its end.
size_t WholeUtf8Length(const char* text, size_t length) {
    size_t back = 0;
    while (back < 3 && back < length && ((unsigned char)text[length - 1 - back] & 0xC0) == 0x80)
        back++;
    if (back == length) return length;
    unsigned char lead = (unsigned char)text[length - 1 - back];
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return need > back + 1 ? length - 1 - back : length;
}

// First place in [p, end) where word (n bytes, any case) starts, ignoring
// case, or nullptr: FindNoCase on a text of known length, its first letter
// looked for with the vector search.
const char* FindWord(const char* p, const char* end, const char* word, size_t n) {
    if (n == 0) return p;
    unsigned char first = (unsigned char)word[0];
    char lower = (char)(first >= 'A' && first <= 'Z' ? first + 32 : first);
    char upper = (char)(first >= 'a' && first <= 'z' ? first - 32 : first);
    for (;;) {
        p = FindEitherByte(p, end, lower, upper);
        if ((size_t)(end - p) < n) return nullptr;
        size_t i = 1;
        while (i < n) {
            unsigned char a = (unsigned char)p[i];
            unsigned char b = (unsigned char)word[i];
            if (a >= 'A' && a <= 'Z') a = (unsigned char)(a + 32);
            if (b >= 'A' && b <= 'Z') b = (unsigned char)(b + 32);
            if (a != b) break;
            i++;
        }
        if (i == n) return p;
        p++;
    }
}

// FindAttributeValue on the text [text, end), which holds no NUL.
bool FindValueIn(const char* text, const char* end, const char* name, size_t nameLength,
                 const char** startOut, size_t* lengthOut) {
    const char* at = FindWord(text, end, name, nameLength);
    if (!at) return false;
    const char* equals = FindByte(at + nameLength, end, '=');
    if (equals >= end) return false;
    const char* p = equals + 1;
    while (p < end && IsSpace(*p))
        p++;
    if (p >= end) return false;
    const char* start;
    const char* stop;
    if (*p == '"' || *p == '\'') {
        start = p + 1;
        stop = FindByte(start, end, *p);
    } else {
        start = p;
        stop = FindByte(start, end, ' ');
        if (stop >= end) stop = FindByte(start, end, '>');
    }
    if (stop >= end) return false;
    while (start < stop && IsSpace(*start))
        start++;
    while (stop > start && IsSpace(stop[-1]))
        stop--;
    if (start == stop) return false;
    *startOut = start;
    *lengthOut = (size_t)(stop - start);
    return true;
}

// The same on the collected tag text from from on.
template <size_t N>
bool TagValue(const Scanner& s, const char* from, const char (&name)[N], const char** startOut,
              size_t* lengthOut) {
    return FindValueIn(from, s.tagText + s.tagLength, name, N - 1, startOut, lengthOut);
}

// A link resolved on the current base; on a UTF-8 page its non-ASCII bytes
// are percent-encoded first (into encoded, which out->clean may point into),
// as browsers send them. False when dropped.
bool ResolveForPage(const Scanner& s, const char* value, size_t length,
                    char (&encoded)[kAddressBufferSize], ResolvedLink* out) {
    if (s.charset == CharsetUtf8 && (ClassifyLinkBytes(value, value + length) & LinkBytesHigh)) {
        if (!PercentEncodeHighBytes(value, length, encoded, sizeof encoded)) return false;
        value = encoded;
        length = strnlen(encoded, sizeof encoded);
    }
    return ResolveOnBase(value, length, s.base, out) != LinkDropped;
}

bool IsCountingPixel(const char* lt, const char* gt);

// PathExtension's answer for the links the scan meets, found from the end of
// the path back to its last "/" (a host's dots are never reached there in
// a picture's address, and the engine judges the address again).
bool HasExtension(const ResolvedLink& link) {
    const char* begin = link.clean;
    const char* end = FindEitherByte(begin, begin + link.cleanLength, '?', '#');
    for (const char* p = end; p-- > begin;) {
        if (*p == '/') return false;
        if (*p == '.') return (size_t)(end - p - 1) <= (size_t)kMaxExtension;
    }
    return false;
}

// Asked once a tag, and only for links without an extension: most pictures
// have one, and the look for width and height costs a pass over the tag.
bool IsPixelTag(Scanner& s) {
    if (s.pixel < 0) s.pixel = IsCountingPixel(s.tagLt, s.tagGt) ? 1 : 0;
    return s.pixel == 1;
}

// One found link: character references decoded (attribute values), the
// non-ASCII bytes of a UTF-8 page percent-encoded, cleaned and resolved.
void AddLink(Scanner& s, const char* value, size_t length, ReferenceKind kind, bool decode,
             bool picture = false) {
    char decoded[kAddressBufferSize];
    if (decode && FindByte(value, value + length, '&') < value + length) {
        size_t n = 0;
        if (!DecodeCharacterReferences(value, length, decoded, sizeof decoded, &n)) return;
        value = decoded;
        length = n;
    }
    if (length > (size_t)kMaxAddress) return; // a cut link names another file
    char encoded[kAddressBufferSize];
    ResolvedLink resolved;
    if (!ResolveForPage(s, value, length, encoded, &resolved)) return;
    PageReference ref;
    std::string& texts = s.out->texts;
    ref.link = (uint32_t)texts.size();
    texts.append(resolved.clean, resolved.cleanLength).push_back('\0');
    // An absolute link is its own address: one text serves both.
    if (!resolved.relative && resolved.addressLength == resolved.cleanLength &&
        memcmp(resolved.address, resolved.clean, resolved.cleanLength) == 0) {
        ref.address = ref.link;
    } else {
        ref.address = (uint32_t)texts.size();
        texts.append(resolved.address, resolved.addressLength + 1);
    }
    ref.relative = resolved.relative;
    ref.origin = (uint32_t)(s.tagStart - s.page);
    ref.kind = kind;
    ref.picture = picture && !HasExtension(resolved) && !IsPixelTag(s);
    s.out->references.push_back(ref);
}

template <size_t N> void AddAttributeLink(Scanner& s, const char (&name)[N], ReferenceKind kind) {
    const char* value = nullptr;
    size_t length = 0;
    if (TagValue(s, s.tagText, name, &value, &length)) AddLink(s, value, length, kind, true);
}

// The src of an image as the scan has always found it (the first "src"
// anywhere in the tag), except inside the name srcset: that value is a list
// of candidates with descriptors, never one address, and has its own rule.
void AddImageSource(Scanner& s) {
    const char* from = s.tagText;
    const char* end = s.tagText + s.tagLength;
    for (;;) {
        const char* at = FindWord(from, end, "src", 3);
        if (!at) return;
        if (!SameLower(at + 3, "set", 3)) break;
        from = at + 6;
    }
    const char* value = nullptr;
    size_t length = 0;
    if (TagValue(s, from, "src", &value, &length)) AddLink(s, value, length, RefImage, true, true);
}

// Takes the first quoted argument of the call at the start of text (of the
// call named prefix, or of any call when prefix is nullptr) as a link.
void TakeArgument(Scanner& s, const char* text, const char* end, const char* prefix) {
    const char* p = text;
    if (prefix) {
        size_t n = strlen(prefix);
        if ((size_t)(end - p) < n || memcmp(p, prefix, n) != 0) return;
        // The name must be called: window.opener.location(...) is no call
        // of window.open.
        p += n;
        while (p < end && (IsSpace(*p) || *p == '\r'))
            p++;
        if (p >= end || *p != '(') return;
    } else {
        p = FindByte(p, end, '(');
        if (p >= end) return;
    }
    p++;
    const char* window = (size_t)(end - p) > kMaxArgumentGap ? p + kMaxArgumentGap : end;
    // The argument opens at the first quote of either kind and closes at the
    // next one of the same kind: openWin('a.jpg', "w") takes a.jpg.
    const char* open = FindEitherByte(p, window, '"', '\'');
    if (open >= window) return;
    const char* start = open + 1;
    size_t room = (size_t)(end - start);
    if (room > (size_t)kMaxAddress + 1) room = (size_t)kMaxAddress + 1;
    const char* close = FindByte(start, start + room, *open);
    if (close >= start + room) return; // longer than any address
    AddLink(s, start, (size_t)(close - start), RefScript, false);
}

void NoteCharset(Scanner& s) {
    char charset[kCharsetSize];
    if (!GetAttributeValue(s.tagText, "charset", charset, sizeof charset)) return;
    int named = CharsetOfLabel(charset);
    if (named != CharsetUnknown && !s.charsetFixed) s.charset = named;
}

// An anchor: the quoted argument of the onClick of a "javascript:;" link,
// then the href itself (one look-up of href serves both).
void TakeAnchor(Scanner& s) {
    const char* href = nullptr;
    size_t hrefLength = 0;
    if (!TagValue(s, s.tagText, "href", &href, &hrefLength)) return;
    const char* onClick = nullptr;
    size_t length = 0;
    if (hrefLength == 12 && SameLower(href, "javascript:;", 12) &&
        TagValue(s, s.tagText, "onclick", &onClick, &length)) {
        char decoded[kValueSize];
        size_t n = 0;
        if (DecodeCharacterReferences(onClick, length, decoded, sizeof decoded, &n))
            TakeArgument(s, decoded, decoded + n, nullptr);
    }
    AddLink(s, href, hrefLength, RefAnchor, true);
}

// Position of the first "</name" (any case) in [p, end), or end.
template <size_t N>
const char* FindEndTag(const char* p, const char* end, const char (&endTag)[N]) {
    constexpr size_t n = N - 1;
    for (;;) {
        p = FindByte(p, end, '<');
        if ((size_t)(end - p) < n) return end;
        if (SameLower(p, endTag, n)) return p;
        p++;
    }
}

// Scans a script body from the ">" of its tag for window.open calls;
// answers where the page scan goes on, or nullptr when the script has no
// end (the scan ends).
const char* ScanScript(Scanner& s, const char* gt) {
    const char* scriptEnd = FindEndTag(gt, s.end, "</script>");
    // The first argument of window.open is the address it opens.
    for (const char* p = FindByte(gt, scriptEnd, 'w'); p < scriptEnd;
         p = FindByte(p + 1, scriptEnd, 'w'))
        TakeArgument(s, p, scriptEnd, kWindowOpen);
    if (scriptEnd >= s.end) return nullptr;
    return scriptEnd + 9;
}

// The whole tag, however long: today's tags carry kilobytes of alt, data-*
// and srcset text before the attribute the rules want.
void CollectTagText(Scanner& s, const char* lt, const char* gt) {
    // ">", the terminator, and the slack the copy may write past the text.
    size_t need = (size_t)(gt - lt) + 2 + kCollapseSlack;
    if (s.tagRoom->size() < need) {
        s.tagRoom->resize(need);
        s.tagText = s.tagRoom->data();
    }
    size_t n = CollapseBlanksWithin(lt, gt, s.tagReadEnd, s.tagText);
    s.tagText[n++] = '>';
    s.tagText[n] = '\0';
    s.tagLength = n;
}

void CollectTitle(Scanner& s, const char* p, const char* end) {
    for (; p < end && s.titleLength < kTitleRawBytes; p++) {
        char c = *p;
        if (IsSpace(c)) {
            if (s.titleLength == 0 || s.title[s.titleLength - 1] == ' ') continue;
            c = ' ';
        }
        s.title[s.titleLength++] = c;
    }
    s.title[s.titleLength] = '\0';
}

// What the page scan does after a tag.
enum TagOutcome { TagDone, TagOpensTitle, TagSkipScript, TagEndsScan };

// The rules for the tags that the scan has always known, on the collected
// tag text. Only tags that one of the prefixes below can match get here.
TagOutcome OldTagRules(Scanner& s, const char* pageGt, const char** resumeOut) {
    const char* tag = s.tagText;
    // Every prefix below fixes the character after "<": one look there picks
    // the tests that can match, in the order they have always run.
    switch (tag[1] | 0x20) {
    case 'm':
        if (StartsNoCase(tag, "<meta")) NoteCharset(s);
        break;
    case 't':
        if (StartsNoCase(tag, "<title")) {
            s.titleLength = 0;
            s.title[0] = '\0';
            s.inTitle = true;
            return TagOpensTitle;
        }
        break;
    case '/':
        if (StartsNoCase(tag, "</title")) s.inTitle = false;
        if (IsElement(tag, "</a")) s.inLink = false;
        break;
    case 's':
        if (StartsNoCase(tag, "<script language") && FindNoCase(tag, "JavaScript")) {
            const char* resume = ScanScript(s, pageGt);
            if (!resume) return TagEndsScan;
            *resumeOut = resume;
            return TagSkipScript;
        }
        break;
    case 'a':
        if (IsElement(tag, "<a")) s.inLink = true;
        TakeAnchor(s);
        if (StartsNoCase(tag, "<area")) AddAttributeLink(s, "href", RefAnchor);
        break;
    case 'i':
        if (StartsNoCase(tag, "<img") && !(s.settings->skipThumbnails && s.inLink))
            AddImageSource(s);
        if (StartsNoCase(tag, "<iframe")) AddAttributeLink(s, "src", RefFrame);
        break;
    case 'f':
        if (StartsNoCase(tag, "<frame")) AddAttributeLink(s, "src", RefFrame);
        break;
    case 'b':
        if (StartsNoCase(tag, "<body")) AddAttributeLink(s, "background", RefBackground);
        break;
    default:
        break;
    }
    return TagDone;
}

bool MayMatchOldRules(const char* lt, const char* gt) {
    switch (lt[1] | 0x20) {
    case 'a':
        return true;
    case 'i':
        return StartsRaw(lt, gt, "<img") || StartsRaw(lt, gt, "<iframe");
    case 'f':
        return StartsRaw(lt, gt, "<frame");
    case 'b':
        return StartsRaw(lt, gt, "<body");
    case 'm':
        return StartsRaw(lt, gt, "<meta");
    case 't':
        return StartsRaw(lt, gt, "<title");
    case 's':
        return StartsRaw(lt, gt, "<script");
    case '/':
        return StartsRaw(lt, gt, "</title") || StartsRaw(lt, gt, "</a");
    default:
        return false;
    }
}

struct Span {
    const char* text = nullptr;
    size_t length = 0;
};

enum Element {
    ElementOther,
    ElementImg,
    ElementSource,
    ElementVideo,
    ElementAudio,
    ElementEmbed,
    ElementObject,
    ElementLink,
    ElementMeta,
    ElementBase,
    ElementStyle,
    ElementScript
};

Element ElementOf(const char* name, size_t length) {
    static const struct {
        const char* name;
        size_t length;
        Element element;
    } kElements[] = {
        {"img", 3, ElementImg},     {"source", 6, ElementSource}, {"video", 5, ElementVideo},
        {"audio", 5, ElementAudio}, {"embed", 5, ElementEmbed},   {"object", 6, ElementObject},
        {"link", 4, ElementLink},   {"meta", 4, ElementMeta},     {"base", 4, ElementBase},
        {"style", 5, ElementStyle}, {"script", 6, ElementScript}};
    if (length < 3 || length > 6) return ElementOther;
    char first = (char)(name[0] | 0x20);
    for (const auto& e : kElements)
        if (e.name[0] == first && NameIs(name, length, e.name, e.length)) return e.element;
    return ElementOther;
}

template <size_t N> bool HasToken(const Span& list, const char (&word)[N]) {
    constexpr size_t n = N - 1;
    const char* p = list.text;
    const char* end = p + list.length;
    while (p < end) {
        while (p < end && IsBlank(*p))
            p++;
        const char* token = p;
        while (p < end && !IsBlank(*p))
            p++;
        if ((size_t)(p - token) == n && SameLower(token, word, n)) return true;
    }
    return false;
}

template <size_t N> bool ValueIs(const Span& value, const char (&word)[N]) {
    return value.text && NameIs(value.text, value.length, word);
}

// The candidate is picked from the value as written (lists of long CDN
// addresses run to kilobytes); its references are decoded with the link.
void TakeSrcset(Scanner& s, const Span& value) {
    const char* start = nullptr;
    size_t length = 0;
    if (LargestSrcsetCandidate(value.text, value.length, &start, &length))
        AddLink(s, start, length, RefSrcset, true, true);
}

void TakeCssUrl(void* context, const char* start, size_t length) {
    AddLink(*(Scanner*)context, start, length, RefStyle, false, true);
}

void TakeLazyCssUrl(void* context, const char* start, size_t length) {
    AddLink(*(Scanner*)context, start, length, RefLazy, false, true);
}

void TakeJsonImage(void* context, const char* start, size_t length) {
    AddLink(*(Scanner*)context, start, length, RefStructured, false, true);
}

// A lazy background: an address, or CSS with url(...) in it.
void TakeLazyBackground(Scanner& s, const Span& value) {
    const char* paren = FindByte(value.text, value.text + value.length, '(');
    if (paren < value.text + value.length) {
        char decoded[kValueSize];
        size_t n = 0;
        if (DecodeCharacterReferences(value.text, value.length, decoded, sizeof decoded, &n))
            ForEachCssUrl(decoded, n, TakeLazyCssUrl, &s);
        return;
    }
    AddLink(s, value.text, value.length, RefLazy, true, true);
}

// Quotes inside a style attribute are often written as &quot;, so the value
// is decoded before its url(...) are read; one too long for that is read as
// written.
void TakeStyleAttribute(Scanner& s, const Span& value) {
    char decoded[kValueSize];
    size_t n = 0;
    if (DecodeCharacterReferences(value.text, value.length, decoded, sizeof decoded, &n))
        ForEachCssUrl(decoded, n, TakeCssUrl, &s);
    else
        ForEachCssUrl(value.text, value.length, TakeCssUrl, &s);
}

void TakeBase(Scanner& s, const Span& href) {
    if (s.baseTaken || !href.text) return;
    char decoded[kAddressBufferSize];
    size_t n = 0;
    if (!DecodeCharacterReferences(href.text, href.length, decoded, sizeof decoded, &n)) return;
    // As every link: else the addresses resolved on it would carry raw bytes.
    char encoded[kAddressBufferSize];
    ResolvedLink resolved;
    if (!ResolveForPage(s, decoded, n, encoded, &resolved)) return;
    LinkBase base;
    SplitLinkBase(resolved.address, &base);
    if (base.length == 0) return;
    s.base = base;
    s.baseTaken = true;
}

bool MayHoldDataOrStyle(const char* p, const char* end) {
    // One search for both: "-" after "data", "y" (any case) of "style".
    for (const char* q = FindFoldedByte(p, end, '-', 'y'); q < end;
         q = FindFoldedByte(q + 1, end, '-', 'y')) {
        if (*q == '-') {
            if (q - p >= 4 && SameLower(q - 4, "data", 4)) return true;
        } else if ((*q | 0x20) == 'y') {
            if (q - p >= 2 && end - q >= 3 && SameLower(q - 2, "style", 5)) return true;
        }
    }
    return false;
}

// The value of a number attribute of the tag [lt, gt] is 0 or 1 ("1", "0px").
bool IsTinyValue(const char* lt, const char* gt, const char* name, size_t nameLength) {
    const char* value = nullptr;
    size_t length = 0;
    if (!FindValueIn(lt, gt + 1, name, nameLength, &value, &length)) return false;
    if (value[0] != '0' && value[0] != '1') return false;
    return length == 1 || (length == 3 && SameLower(value + 1, "px", 2));
}

bool IsCountingPixel(const char* lt, const char* gt) {
    return (size_t)(gt - lt) > 4 && SameLower(lt + 1, "img", 3) && IsBlank(lt[4]) &&
           IsTinyValue(lt, gt, "width", 5) && IsTinyValue(lt, gt, "height", 6);
}

// A <source> without a video or sound type stands in a <picture>.
bool IsPictureSource(const char* lt, const char* gt) {
    const char* value = nullptr;
    size_t length = 0;
    if (!FindValueIn(lt, gt + 1, "type", 4, &value, &length)) return true;
    return !(length >= 6 && (SameLower(value, "video/", 6) || SameLower(value, "audio/", 6)));
}

// The references that today's pages make: responsive and lazy images,
// media, icons, sharing images, CSS, and the base address. Reads the tag's
// attributes from the page itself, so long tags are read whole.
void NewTagRules(Scanner& s, const char* lt, const char* gt, const char* pageGt) {
    // End tags, declarations and processing instructions carry no
    // attributes that a browser reads; about half of a page's tags are those.
    if (lt[1] == '/' || lt[1] == '!' || lt[1] == '?') return;
    const char* p = lt + 1;
    const char* nameEnd = p;
    while (nameEnd < gt && !IsBlank(*nameEnd) && *nameEnd != '/')
        nameEnd++;
    Element element = ElementOf(p, (size_t)(nameEnd - p));
    // On any other element only data-... and style attributes count; most
    // tags hold neither, and two vector searches tell.
    if (element == ElementOther && !MayHoldDataOrStyle(nameEnd, gt)) return;
    bool image = element == ElementImg || element == ElementSource;
    bool thumbnail = image && s.settings->skipThumbnails && s.inLink;
    Span rel, as, href, property, name, content, type;
    for (p = nameEnd; p < gt;) {
        while (p < gt && (IsBlank(*p) || *p == '/'))
            p++;
        if (p >= gt) break;
        const char* attr = p;
        if (*p == '=') p++; // a name may begin with "="
        while (p < gt && !IsBlank(*p) && *p != '=' && *p != '/')
            p++;
        size_t attrLength = (size_t)(p - attr);
        while (p < gt && IsBlank(*p))
            p++;
        Span value;
        if (p < gt && *p == '=') {
            p++;
            while (p < gt && IsBlank(*p))
                p++;
            if (p < gt && (*p == '"' || *p == '\'')) {
                const char* close = FindByte(p + 1, gt, *p);
                value.text = p + 1;
                value.length = (size_t)(close - value.text);
                p = close < gt ? close + 1 : gt;
            } else {
                value.text = p;
                while (p < gt && !IsBlank(*p))
                    p++;
                value.length = (size_t)(p - value.text);
            }
        }
        if (!value.text || attrLength < 2) continue;
        // Most attributes are none of ours: one look at the first letter.
        switch (attr[0] | 0x20) {
        case 'a':
            if (NameIs(attr, attrLength, "as")) as = value;
            break;
        case 'c':
            if (NameIs(attr, attrLength, "content")) content = value;
            break;
        case 'd':
            if (NameIs(attr, attrLength, "data-src") || NameIs(attr, attrLength, "data-original") ||
                NameIs(attr, attrLength, "data-lazy-src") ||
                NameIs(attr, attrLength, "data-full-src") ||
                NameIs(attr, attrLength, "data-large-file") ||
                NameIs(attr, attrLength, "data-orig-file")) {
                if (!thumbnail) AddLink(s, value.text, value.length, RefLazy, true, true);
            } else if (NameIs(attr, attrLength, "data-bg") ||
                       NameIs(attr, attrLength, "data-background-image")) {
                if (!thumbnail) TakeLazyBackground(s, value);
            } else if (NameIs(attr, attrLength, "data-srcset") ||
                       NameIs(attr, attrLength, "data-lazy-srcset")) {
                if (image && !thumbnail) TakeSrcset(s, value);
            } else if (NameIs(attr, attrLength, "data") && element == ElementObject) {
                AddLink(s, value.text, value.length, RefMedia, true);
            }
            break;
        case 'h':
            if (NameIs(attr, attrLength, "href")) href = value;
            break;
        case 'n':
            if (NameIs(attr, attrLength, "name")) name = value;
            break;
        case 'p':
            if (NameIs(attr, attrLength, "property"))
                property = value;
            else if (NameIs(attr, attrLength, "poster") && element == ElementVideo)
                AddLink(s, value.text, value.length, RefMedia, true, true);
            break;
        case 'r':
            if (NameIs(attr, attrLength, "rel")) rel = value;
            break;
        case 't':
            if (NameIs(attr, attrLength, "type")) type = value;
            break;
        case 's':
            if (NameIs(attr, attrLength, "src")) {
                if (element == ElementSource ? !thumbnail
                                             : element == ElementVideo || element == ElementAudio ||
                                                   element == ElementEmbed)
                    AddLink(s, value.text, value.length, RefMedia, true,
                            element == ElementSource && IsPictureSource(lt, gt));
            } else if (NameIs(attr, attrLength, "srcset")) {
                if (image && !thumbnail) TakeSrcset(s, value);
            } else if (NameIs(attr, attrLength, "style")) {
                TakeStyleAttribute(s, value);
            }
            break;
        default:
            break;
        }
    }
    if (element == ElementLink && href.text &&
        (HasToken(rel, "icon") || HasToken(rel, "apple-touch-icon") || HasToken(rel, "image_src") ||
         (HasToken(rel, "preload") && ValueIs(as, "image"))))
        AddLink(s, href.text, href.length, RefIcon, true, true);
    if (element == ElementMeta && content.text) {
        const Span* key[] = {&property, &name};
        for (const Span* k : key) {
            if (ValueIs(*k, "og:image") || ValueIs(*k, "og:image:url") || ValueIs(*k, "og:video") ||
                ValueIs(*k, "twitter:image")) {
                AddLink(s, content.text, content.length, RefMeta, true, !ValueIs(*k, "og:video"));
                break;
            }
        }
    }
    if (element == ElementBase) TakeBase(s, href);
    if (element == ElementScript && ValueIs(type, "application/ld+json")) {
        const char* scriptEnd = FindEndTag(pageGt + 1, s.end, "</script");
        ForEachJsonImage(pageGt + 1, (size_t)(scriptEnd - (pageGt + 1)), TakeJsonImage, &s);
    }
    if (element == ElementStyle) {
        const char* styleEnd = FindEndTag(pageGt + 1, s.end, "</style");
        ForEachCssUrl(pageGt + 1, (size_t)(styleEnd - (pageGt + 1)), TakeCssUrl, &s);
    }
}

void FinishTitle(Scanner& s, const char* pageAddress) {
    PageScan& out = *s.out;
    if (s.titleLength == 0) {
        CopyText(out.title, sizeof out.title, pageAddress);
        DropHalfCharacter(out.title);
        out.charset = s.charset;
        return;
    }
    int charset = s.charset;
    size_t whole = WholeUtf8Length(s.title, s.titleLength);
    if (charset == CharsetUnknown && IsUtf8Text(s.title, whole)) charset = CharsetUtf8;
    if (charset == CharsetUtf8) {
        Utf8ToShiftJis(s.title, whole, out.title, sizeof out.title);
    } else {
        // The title as it always was: its first 88 bytes, guessed and
        // converted from EUC-JP when it is that.
        size_t n = s.titleLength < kMaxTitleBytes ? s.titleLength : kMaxTitleBytes;
        memcpy(out.title, s.title, n);
        out.title[n] = '\0';
        if (charset == CharsetUnknown) charset = GuessJapaneseEncoding(out.title);
        if (charset == CharsetEucJp) EucToShiftJis(out.title);
        // The cut at 88 bytes may have split a character; its lead byte would
        // swallow the space of the caption's suffix.
        DropHalfCharacter(out.title);
    }
    out.charset = charset;
}

bool IsCommentAt(const Scanner& s, const char* lt) {
    return s.end - lt >= 4 && memcmp(lt, "<!--", 4) == 0;
}

// The ">" that ends the comment opened at lt, or the page's end. "-->" is
// looked for from the second dash on: "<!-->" closes at once.
const char* CommentEnd(const Scanner& s, const char* lt) {
    for (const char* close = lt + 4;; close++) {
        close = FindByte(close, s.end, '>');
        if (close >= s.end || (close[-1] == '-' && close[-2] == '-')) return close;
    }
}

// A whole tag, "<" at lt to ">" at gt (the page's own bytes, or a copy
// without the comments inside it; pageGt is its ">" in the page).
// An end tag ends a title or a link; read on the page's own bytes, as the
// collected text would read them (its blanks are ' ' there, '\r' stays).
void HandleEndTag(Scanner& s, const char* lt, const char* gt) {
    if (StartsRaw(lt, gt, "</title")) s.inTitle = false;
    if (StartsRaw(lt, gt, "</a")) {
        char next = lt[3]; // at most gt
        if (next == ' ' || next == '\t' || next == '\n' || next == '>' || next == '/' ||
            next == '\r')
            s.inLink = false;
    }
}

TagOutcome HandleTag(Scanner& s, const char* lt, const char* gt, const char* pageGt,
                     const char** resumeOut) {
    if (lt[1] == '/') {
        HandleEndTag(s, lt, gt);
        return TagDone;
    }
    s.tagLt = lt;
    s.tagGt = gt;
    s.pixel = (lt[1] | 0x20) == 'i' ? -1 : 0;
    if (MayMatchOldRules(lt, gt)) {
        CollectTagText(s, lt, gt);
        TagOutcome outcome = OldTagRules(s, pageGt, resumeOut);
        if (outcome != TagDone) return outcome;
    }
    NewTagRules(s, lt, gt, pageGt);
    return TagDone;
}

} // namespace

void ScanPage(const char* bytes, size_t length, const char* pageAddress,
              const ScanSettings& settings, PageScan* out) {
    out->references.clear();
    out->texts.clear();
    out->title[0] = '\0';
    Scanner s;
    memset(&s, 0, sizeof s);
    s.page = bytes;
    s.end = FindByte(bytes, bytes + length, '\0'); // the body ends at its first NUL
    s.settings = &settings;
    s.out = out;
    static std::vector<char> tagRoom(kTagTextStart);
    s.tagRoom = &tagRoom;
    s.tagText = tagRoom.data();
    s.charset = settings.headerCharset;
    if (s.charset == CharsetUnknown) s.charset = CharsetOfByteOrderMark(bytes, length);
    s.charsetFixed = s.charset != CharsetUnknown;
    // Links resolve against the page's directory, and only when it has one.
    char directory[kAddressBufferSize];
    BaseDirectory(pageAddress, directory, sizeof directory);
    SplitLinkBase(directory, &s.base);
    out->texts.reserve(length / 8);

    std::string joined; // a tag with comments inside, without them
    const char* p = bytes;
    for (;;) {
        const char* lt = FindByte(p, s.end, '<');
        if (s.inTitle) CollectTitle(s, p, lt);
        if (lt >= s.end) break;
        if (IsCommentAt(s, lt)) {
            const char* close = CommentEnd(s, lt);
            if (close >= s.end) break;
            p = close + 1;
            continue;
        }
        s.tagStart = lt;
        // The tag runs to the next ">"; a "<" on the way starts a tag anew,
        // unless it opens a comment, which the tag goes on around.
        const char* gt = FindEitherByte(lt + 1, s.end, '<', '>');
        const char* tagBegin = lt;
        const char* tagEnd = gt;
        if (gt < s.end && *gt == '<' && IsCommentAt(s, gt)) {
            joined.assign(lt, (size_t)(gt - lt));
            while (gt < s.end && *gt == '<' && IsCommentAt(s, gt)) {
                const char* close = CommentEnd(s, gt);
                if (close >= s.end) {
                    gt = s.end;
                    break;
                }
                const char* next = FindEitherByte(close + 1, s.end, '<', '>');
                joined.append(close + 1, (size_t)(next - (close + 1)));
                gt = next;
            }
            joined.push_back('>');
            tagBegin = joined.data();
            tagEnd = tagBegin + joined.size() - 1;
        }
        if (gt >= s.end) break;
        if (*gt == '<') {
            p = gt;
            continue;
        }
        p = gt + 1;
        const char* resume = nullptr;
        s.tagReadEnd = tagBegin == lt ? s.end : tagEnd + 1;
        TagOutcome outcome = HandleTag(s, tagBegin, tagEnd, gt, &resume);
        if (outcome == TagEndsScan) break;
        if (outcome == TagSkipScript) p = resume;
    }
    FinishTitle(s, pageAddress);
}

bool FindAttributeValue(const char* tagText, const char* name, const char** startOut,
                        size_t* lengthOut) {
    return FindValueIn(tagText, tagText + strlen(tagText), name, strlen(name), startOut, lengthOut);
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
