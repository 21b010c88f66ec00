// The shared text helpers: Shift_JIS lead bytes, UTF-8 and the readable form
// of names, and the page scan's byte search against its portable twin.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "analysis/attribute_text.h"
#include "analysis/byte_search.h"
#include "text/charset.h"
#include "text/json_text.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

TEST(ShiftJisTest, LeadBytesAre81To9FAndE0ToFC) {
    for (int c = 0; c < 256; c++) {
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(IsLeadByte((unsigned char)c), lead) << c;
    }
}

TEST(NoCaseTest, EndsWithNoCaseComparesTheTail) {
    EXPECT_TRUE(EndsWithNoCase("A.HTML", ".html"));
    EXPECT_TRUE(EndsWithNoCase("x", ""));
    EXPECT_FALSE(EndsWithNoCase("html", ".html"));
    EXPECT_FALSE(EndsWithNoCase("a.htm", ".html"));
}

TEST(Utf8Test, DecodeAcceptsOnlyWholeShortestCharacters) {
    const struct {
        const char* bytes;
        size_t length;
        size_t taken;
        uint32_t codePoint;
    } cases[] = {
        {"A", 1, 1, 0x41},
        {"\xC3\xA9", 2, 2, 0xE9},
        {"\xE5\x86\x99", 3, 3, 0x5199},
        {"\xF0\x9F\x98\x80", 4, 4, 0x1F600},
        {"\xE5\x86", 2, 0, 0},         // cut short
        {"\xC0\xAF", 2, 0, 0},         // over-long "/"
        {"\xE0\x80\xAF", 3, 0, 0},     // over-long "/"
        {"\xED\xA0\x80", 3, 0, 0},     // surrogate
        {"\xF4\x90\x80\x80", 4, 0, 0}, // past U+10FFFF
        {"\x80", 1, 0, 0},
        {"\xE5"
         "A\x99",
         3, 0, 0},
    };
    for (const auto& c : cases) {
        uint32_t cp = 0;
        EXPECT_EQ(DecodeUtf8(c.bytes, c.length, &cp), c.taken) << c.bytes;
        if (c.taken) {
            EXPECT_EQ(cp, c.codePoint) << c.bytes;
        }
    }
    EXPECT_TRUE(IsUtf8Text("a\xE5\x86\x99", 4));
    EXPECT_FALSE(IsUtf8Text("plain", 5));
    EXPECT_FALSE(IsUtf8Text("\x8E\xCA\x90\x5E", 4)); // Shift_JIS
}

TEST(Utf8Test, ConversionToShiftJis) {
    const struct {
        const char* utf8;
        const char* sjis;
        int replaced;
    } cases[] = {
        {"\xE5\x86\x99\xE7\x9C\x9F.jpg", "\x8E\xCA\x90\x5E.jpg", 0},
        {"\xE3\x81\x82", "\x82\xA0", 0},
        {"\xEF\xBD\xB1", "\xB1", 0},     // half-width katakana: one byte
        {"\xE2\x91\xA0", "\x87\x40", 0}, // circled one, a code page 932 extension
        {"\xC3\xA9t\xC3\xA9", "?t?", 2}, // e acute is not in Shift_JIS
        {"\xF0\x9F\x98\x80", "?", 1},
        {"\xFF"
         "a",
         "?a", 1},
    };
    for (const auto& c : cases) {
        char out[64];
        EXPECT_EQ(Utf8ToShiftJis(c.utf8, strlen(c.utf8), out, sizeof out), c.replaced) << c.utf8;
        EXPECT_STREQ(out, c.sjis) << c.utf8;
    }
    // A cut never leaves half a character.
    char small[4];
    Utf8ToShiftJis("a\xE3\x81\x82\xE3\x81\x84", 7, small, sizeof small);
    EXPECT_STREQ(small, "a\x82\xA0");
    Utf8ToShiftJis("ab\xE3\x81\x82", 5, small, sizeof small);
    EXPECT_STREQ(small, "ab");
}

TEST(NameTextTest, ReadableNames) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"%E5%86%99%E7%9C%9F.jpg", "\x8E\xCA\x90\x5E.jpg"},
        {"%e5%86%99%e7%9c%9f.jpg", "\x8E\xCA\x90\x5E.jpg"},
        {"\xE5\x86\x99\xE7\x9C\x9F.jpg", "\x8E\xCA\x90\x5E.jpg"}, // raw UTF-8
        {"%E5%86%99%20x.jpg", "\x8E\xCA x.jpg"},                  // ASCII escapes too
        {"caf%C3%A9.jpg", "caf%C3%A9.jpg"},                       // no Shift_JIS form
        {"caf\xC3\xA9.jpg", "caf%C3%A9.jpg"},
        {"\x8E\xCA\x90\x5E.jpg", "\x8E\xCA\x90\x5E.jpg"}, // Shift_JIS stays
        {"%8E%CA.jpg", "%8E%CA.jpg"},                     // escaped Shift_JIS too
        {"a%20b.jpg", "a b.jpg"},
        {"%41%7e%25.jpg", "A~%.jpg"},
        // Escapes of what a Windows name refuses stay as written.
        {"a%3Fb%2F%5c%3a%2A%22%3C%3E%7C%09%7F.jpg", "a%3Fb%2F%5c%3a%2A%22%3C%3E%7C%09%7F.jpg"},
        {"caf%C3%A9%20%3F.jpg", "caf%C3%A9 %3F.jpg"},
        {"%8E%CA%20.jpg", "%8E%CA .jpg"},
        {"%E5%86.jpg", "%E5%86.jpg"}, // a broken sequence
        {"%C0%AF.jpg", "%C0%AF.jpg"}, // over-long "/"
        {"100%.jpg", "100%.jpg"},
        {"%E5%8", "%E5%8"},
    };
    for (const auto& c : cases) {
        char out[64];
        ReadableName(c.name, strlen(c.name), out, sizeof out);
        EXPECT_STREQ(out, c.shown) << c.name;
    }
    char small[4];
    ReadableName("%E5%86%99%E7%9C%9F", 18, small, sizeof small);
    EXPECT_STREQ(small, "\x8E\xCA");
}

TEST(NameTextTest, PercentEncodingOfHighBytes) {
    char out[16];
    EXPECT_TRUE(PercentEncodeHighBytes("a\xE5 b", 4, out, sizeof out));
    EXPECT_STREQ(out, "a%E5 b");
    EXPECT_FALSE(PercentEncodeHighBytes("\xE5\xE5\xE5\xE5\xE5\xE5", 6, out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(AttributeTextTest, SrcsetCandidates) {
    const struct {
        const char* srcset;
        const char* largest; // nullptr: none
    } cases[] = {
        {"a.jpg 100w, b.jpg 300w, c.jpg 200w", "b.jpg"},
        {"a.jpg 300w,b.jpg 300w", "a.jpg"},
        {"a.jpg, b.jpg 1.5x, c.jpg 1.25x", "b.jpg"},
        {"  a.jpg  ", "a.jpg"},
        {"a.jpg,b.jpg 2x", "a.jpg,b.jpg"}, // an address runs to a blank, commas and all
        {"a.jpg, b.jpg 2x", "b.jpg"},
        {"data:image/gif;base64,R0l,GOD 1x, real.jpg 2x", "real.jpg"},
        {"a.jpg 2x bogus, b.jpg 1x", "a.jpg"},
        {"a.jpg xw, b.jpg 2x", "b.jpg"},
        {"", nullptr},
        {" , ,", nullptr},
    };
    for (const auto& c : cases) {
        const char* start = nullptr;
        size_t length = 0;
        bool found = LargestSrcsetCandidate(c.srcset, strlen(c.srcset), &start, &length);
        EXPECT_EQ(found, c.largest != nullptr) << c.srcset;
        if (found && c.largest) {
            EXPECT_EQ(std::string(start, length), c.largest) << c.srcset;
        }
    }
}

TEST(AttributeTextTest, CssUrls) {
    const struct {
        const char* css;
        std::vector<std::string> urls;
    } cases[] = {
        {"a{background:url(x.png)}", {"x.png"}},
        {"url( 'a b.png' ) URL(\"c.gif\") Url(d.jpg)", {"a b.png", "c.gif", "d.jpg"}},
        {"url('unclosed.png)", {}},
        {"url(", {}},
        {"curl(x.png) rgba(0,0,0) -url(y.png) (url(z.png))", {"z.png"}},
        {"url() url('')", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        ForEachCssUrl(
            c.css, strlen(c.css),
            [](void* context, const char* start, size_t length) {
                ((std::vector<std::string>*)context)->emplace_back(start, length);
            },
            &got);
        EXPECT_EQ(got, c.urls) << c.css;
    }
}

// The vector search and its twin answer alike at every start, length and
// alignment, with the byte at every place, near and past the 64-byte steps.
TEST(ByteSearchTest, VectorAndPortableAgree) {
    std::string text(400, 'x');
    for (size_t at = 0; at < 300; at += at < 70 ? 1 : 3) {
        std::string t = text;
        t[at] = '<';
        t[at + 37 < t.size() ? at + 37 : 0] = '>';
        for (size_t from = 0; from < 40; from++) {
            for (size_t end = from; end < 400; end += 7) {
                const char* p = t.data() + from;
                const char* e = t.data() + end;
                EXPECT_EQ(FindByte(p, e, '<'), FindBytePortable(p, e, '<'));
                EXPECT_EQ(FindEitherByte(p, e, '<', '>'), FindEitherBytePortable(p, e, '<', '>'));
                EXPECT_EQ(FindFoldedByte(p, e, '<', '>'), FindFoldedBytePortable(p, e, '<', '>'));
            }
        }
    }
#if defined(__x86_64__)
    EXPECT_TRUE(VectorSearchInUse());
#endif
}

// Tag texts keep one space for each run of blanks, a carriage return being
// no blank, whether the buffer goes on past the text (the last block is
// then copied whole) or ends with it.
TEST(ByteSearchTest, CollapseBlanksKeepsOneSpacePerRun) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"<a  \t\n href=x", "<a href=x"},
        {" lead", " lead"},
        {"a\r\nb", "a\r b"},
        {"abcd", "abcd"},
        {"abc   \t\n", "abc "},
        {"abc  d", "abc d"},
        {"", ""},
        {"<img src=\"a.jpg\"\n\n width=1  height=2 alt=\"x\ty\">",
         "<img src=\"a.jpg\" width=1 height=2 alt=\"x y\">"},
    };
    for (const auto& c : cases) {
        // The text followed by more of the page, as a tag inside it is.
        std::string page = std::string(c.text) + "  \t<p>more text after the tag";
        const char* p = page.data();
        const char* e = p + strlen(c.text);
        for (const char* readEnd : {e, p + page.size()}) {
            char out[128];
            memset(out, '#', sizeof out);
            size_t n = CollapseBlanksWithin(p, e, readEnd, out);
            EXPECT_EQ(std::string(out, n), c.expected) << c.text;
            EXPECT_EQ(out[strlen(c.text) + kCollapseSlack], '#') << c.text; // within the slack
        }
        char out[128];
        EXPECT_EQ(std::string(out, CollapseBlanksPortable(p, e, out)), c.expected) << c.text;
    }
}

// A link's bytes: high ones to encode, spaces and control bytes to clean.
TEST(ByteSearchTest, ClassifiesLinkBytes) {
    const struct {
        const char* text;
        unsigned expected;
    } cases[] = {
        {"/img/a.jpg?w=1&h=2", 0},
        {"/img/\xE5\x86\x99.jpg", LinkBytesHigh},
        {"a b.jpg", LinkBytesUnclean},
        {"a.jpg\x7F", LinkBytesUnclean},
        {"\x01a.jpg", LinkBytesUnclean},
        {"/\xE5\x86\x99\tb/c/d/e/f/g/h/i/j.jpg", LinkBytesHigh | LinkBytesUnclean},
        {"!~", 0},
    };
    for (const auto& c : cases) {
        const char* end = c.text + strlen(c.text);
        EXPECT_EQ(ClassifyLinkBytes(c.text, end), c.expected) << c.text;
        EXPECT_EQ(ClassifyLinkBytesPortable(c.text, end), c.expected) << c.text;
    }
}

// The folded search finds letters in either case, and "\r" with "-", as
// its twin does.
TEST(ByteSearchTest, FoldedSearchMatchesBothCases) {
    const struct {
        const char* text;
        char a, b;
        int position; // -1: none
    } cases[] = {
        {"abcY", '-', 'y', 3},     {"abcy", '-', 'y', 3},  {"ab-y", '-', 'y', 2},
        {"ab\ry", '-', 'y', 2},    {"abcd", '-', 'y', -1}, {"\xD9\xF9x", '-', 'y', -1},
        {"<a STYLE", 's', 's', 3}, {"", 'a', 'b', -1},
    };
    for (const auto& c : cases) {
        const char* end = c.text + strlen(c.text);
        for (int vector = 0; vector < 2; vector++) {
            const char* at = vector ? FindFoldedByte(c.text, end, c.a, c.b)
                                    : FindFoldedBytePortable(c.text, end, c.a, c.b);
            EXPECT_EQ(at == end ? -1 : (int)(at - c.text), c.position) << c.text;
        }
    }
}

// Two pages of memory, the second one unreadable: text placed to end at the
// boundary shows a search that reads past the end of its buffer.
class GuardedPage {
  public:
    GuardedPage() {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_ = info.dwPageSize;
        base_ = (char*)VirtualAlloc(nullptr, 2 * size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old = 0;
        if (base_) VirtualProtect(base_ + size_, size_, PAGE_NOACCESS, &old);
#else
        size_ = (size_t)sysconf(_SC_PAGESIZE);
        void* at =
            mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = at == MAP_FAILED ? nullptr : (char*)at;
        if (base_) mprotect(base_ + size_, size_, PROT_NONE);
#endif
    }
    ~GuardedPage() {
#ifdef _WIN32
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_) munmap(base_, 2 * size_);
#endif
    }
    char* begin() const {
        return base_;
    }
    char* end() const {
        return base_ + size_;
    } // the first unreadable byte
    bool ok() const {
        return base_ != nullptr;
    }

  private:
    char* base_ = nullptr;
    size_t size_ = 0;
};

// Every vector routine stops at the end of the text when that is the end of
// readable memory, from every start near it, whether it finds its byte or not.
TEST(ByteSearchTest, NoReadPastTheEndOfReadableMemory) {
    GuardedPage page;
    ASSERT_TRUE(page.ok());
    char* end = page.end();
    for (int found = 0; found < 2; found++) {
        memset(page.begin(), 'x', (size_t)(end - page.begin()));
        if (found) end[-1] = '<';
        for (size_t back = 0; back < 300; back++) {
            const char* p = end - back;
            const char* expected = found && back > 0 ? end - 1 : end;
            EXPECT_EQ(FindByte(p, end, '<'), expected) << back;
            EXPECT_EQ(FindEitherByte(p, end, '<', '>'), expected) << back;
            EXPECT_EQ(FindFoldedByte(p, end, '<', '>'), expected) << back;
            char out[400];
            EXPECT_EQ(CollapseBlanksWithin(p, end, end, out), back) << back;
            EXPECT_EQ(ClassifyLinkBytes(p, end), 0u) << back;
        }
    }
}

// The vector routines and their twins agree on long texts of every mix of
// blanks, letters, control and high bytes, from every start, whether the
// buffer goes on past the text or not.
TEST(ByteSearchTest, CopyAndClassifyAgreeWithTwins) {
    const char kBytes[] = {' ', ' ', '\t', '\n', '\r', 'a', 'b', '=', '"', '\x82', '\x7F', '\0'};
    uint32_t seed = 12345;
    for (int round = 0; round < 300; round++) {
        std::string text;
        size_t length = 20 + round % 280;
        for (size_t i = 0; i < length; i++) {
            seed = seed * 1103515245u + 12345u;
            // Mostly letters with single spaces, as tags are; sometimes any mix.
            unsigned pick = (seed >> 16) % (round % 3 == 0 ? 12u : 40u);
            text.push_back(pick < 12 ? kBytes[pick] : pick % 7 == 0 ? ' ' : 'x');
        }
        for (size_t from = 0; from < 5; from++) {
            for (size_t cut = 0; cut < 40; cut += 13) {
                const char* p = text.data() + from;
                const char* e = text.data() + text.size() - cut;
                char a[512], b[512];
                size_t nb = CollapseBlanksPortable(p, e, b);
                for (const char* readEnd : {e, (const char*)text.data() + text.size()}) {
                    size_t na = CollapseBlanksWithin(p, e, readEnd, a);
                    ASSERT_EQ(std::string(a, na), std::string(b, nb)) << round << " " << from;
                }
                ASSERT_EQ(ClassifyLinkBytes(p, e), ClassifyLinkBytesPortable(p, e))
                    << round << " " << from;
            }
        }
    }
}

} // namespace

TEST(JsonText, StringsDecodeWithinTheirRules) {
    const struct {
        const char* json;  // the string's content, between its quotes
        bool controls;
        const char* decoded;  // nullptr: refused
    } cases[] = {
        {R"(a\"b\\c\/d)", false, "a\"b\\c/d"},
        {R"(\u00e9\ud83d\ude00)", false, "\xc3\xa9\xf0\x9f\x98\x80"},  // a pair joined
        {R"(\ud83d)", false, nullptr},                                 // a lone half
        {R"(\ude00\ud83d)", false, nullptr},
        {R"(\u0000)", true, nullptr},
        {R"(a\nb\tc)", true, "a\nb\tc"},
        {R"(a\nb)", false, nullptr},
        {R"(\u000a)", false, nullptr},
        {"a\tb", true, nullptr},  // raw control characters never
        {R"(\u12)", false, nullptr},
    };
    for (const auto& c : cases) {
        char out[32];
        size_t n = 0;
        bool ok = DecodeJsonString(c.json, c.json + strlen(c.json), out, sizeof out, &n, c.controls);
        EXPECT_EQ(ok, c.decoded != nullptr) << c.json;
        if (ok && c.decoded) {
            EXPECT_EQ(std::string(out, n), c.decoded) << c.json;
        }
    }
    const char tight[] = R"(abc)";
    char out[3];
    size_t n = 0;
    EXPECT_FALSE(DecodeJsonString(tight, tight + 3, out, sizeof out, &n, false));  // no room for NUL
    std::string written;
    AppendJsonString(&written, "a\"\\\x01\xe3\x81\x82", 7);
    EXPECT_EQ(written, "\"a\\\"\\\\\\u0001\xe3\x81\x82\"");
    const char quoted[] = R"("a\"b" tail)";
    EXPECT_EQ(JsonStringEnd(quoted, quoted + strlen(quoted)), quoted + 5);
    EXPECT_EQ(JsonStringEnd(quoted, quoted + 4), quoted + 4);  // not closed
}
