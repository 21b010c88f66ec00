#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/links.h"
#include "engine/page_links.h"
#include "tests/core/analysis_fixture.h"

namespace {

TEST(NoCaseTest, StrNCmpICases) {
    const struct {
        const char* a;
        const char* b;
        int n;
        bool equal;
    } cases[] = {
        {"abc", "ABC", 3, true},    {"aBc", "AbD", 3, false},  {"aBc", "AbD", 2, true},
        {"ab", "abc", 3, false},    {"abc", "ab", 3, false},   {"abcd", "ABCe", 3, true},
        {"ab", "ab", 10, true},     {"", "", 5, true},         {"x", "y", 0, true},
        {"@", "`", 1, false},       {"[", "{", 1, false},      {"\x82\xA0", "\x82\xC0", 2, false},
        {"\xC1", "\xE1", 1, false}, {"<IMG", "<img", 4, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrNCmpI(c.a, c.b, c.n) == 0, c.equal) << c.a << " / " << c.b << " n=" << c.n;
}

TEST(NoCaseTest, CountsOf256AndMoreNeverMatch) {
    std::string a(300, 'x');
    EXPECT_EQ(StrNCmpI(a.c_str(), a.c_str(), 255), 0);
    EXPECT_NE(StrNCmpI(a.c_str(), a.c_str(), 256), 0);
    EXPECT_NE(StrNCmpI("a", "a", 1000), 0);
}

TEST(NoCaseTest, FindNoCaseTriesEveryStartUpToTheLastThatFits) {
    const struct {
        const char* text;
        const char* word;
        int position; // -1: none
    } cases[] = {
        {"xxAB", "ab", 2},  {"aab", "AB", 1}, {"ab", "abc", -1},
        {"", "a", -1},      {"abc", "", 0},   {"charset=EUC-JP", "euc-jp", 8},
        {"a-b", "A_B", -1},
    };
    for (const auto& c : cases) {
        const char* found = FindNoCase(c.text, c.word);
        EXPECT_EQ(found ? (int)(found - c.text) : -1, c.position) << c.text << " / " << c.word;
    }
    std::string longWord(256, 'a');
    EXPECT_EQ(FindNoCase(std::string(400, 'a').c_str(), longWord.c_str()), nullptr);
}

struct ResolveCase {
    const char* page;
    const char* link;
    const char* expected; // nullptr: dropped
};

TEST(ResolveLinkTest, ResolvesAgainstTheBaseDirectory) {
    const char* page = "http://host/a/b/page.html";
    const ResolveCase cases[] = {
        {page, "c.jpg", "http://host/a/b/c.jpg"},
        {page, "./c.jpg", "http://host/a/b/c.jpg"},
        {page, "../c.jpg", "http://host/a/c.jpg"},
        {page, "../../../c.jpg", "http://host/c.jpg"},
        {page, ".././../c.jpg", "http://host/c.jpg"},
        {page, "..//c.jpg", "http://host/a/c.jpg"},
        {page, "/x/c.jpg", "http://host/x/c.jpg"},
        {page, "sub/dir/c.jpg", "http://host/a/b/sub/dir/c.jpg"},
        {page, "sub/a:b.jpg", "http://host/a/b/sub/a:b.jpg"},
        {page, "..", "http://host/a/"},
        {page, "?page=2", "http://host/a/b/?page=2"},
        {page, "HTTP://other/c.jpg", "HTTP://other/c.jpg"},
        {page, "http://other", "http://other"},
        {page, "//cdn.example/p/c.jpg", "http://cdn.example/p/c.jpg"},
        {"http://host/a/b/", "c.jpg", "http://host/a/b/c.jpg"},
        {"http://host:8080/a/b.html", "/c.jpg", "http://host:8080/c.jpg"},
        // https pages: relative links keep the scheme, protocol-relative ones take it.
        {"https://host/a/b/p.html", "../c.jpg", "https://host/a/c.jpg"},
        {"https://host/a/b/p.html", "/x/c.jpg", "https://host/x/c.jpg"},
        {"https://host/a/b/p.html", "//cdn.example/c.jpg", "https://cdn.example/c.jpg"},
        {"HTTPS://host:8443/a/", "c.jpg", "HTTPS://host:8443/a/c.jpg"},
        {"https://host", "c.jpg", "https://host/c.jpg"},
        {page, "https://other/c.jpg", "https://other/c.jpg"},
        {"https://host/", "HTTP://other/c.jpg", "HTTP://other/c.jpg"},
    };
    for (const auto& c : cases) {
        char out[kAddressBufferSize];
        ASSERT_TRUE(ResolveLink(c.link, c.page, out, sizeof out)) << c.link;
        EXPECT_STREQ(out, c.expected) << c.link;
    }
}

TEST(ResolveLinkTest, BaseWithoutPathOrWithSlashesInTheQuery) {
    const ResolveCase cases[] = {
        {"http://host", "c.jpg", "http://host/c.jpg"},
        {"http://host", "../c.jpg", "http://host/c.jpg"},
        {"http://host", "/c.jpg", "http://host/c.jpg"},
        {"http://host?from=/x/y", "c.jpg", "http://host/c.jpg"},
        {"http://host/a/list.cgi?dir=/x/y/", "c.jpg", "http://host/a/c.jpg"},
        {"http://host/a/p.html#/frag/", "c.jpg", "http://host/a/c.jpg"},
        {"HTTP://Host/A/", "c.jpg", "HTTP://Host/A/c.jpg"},
    };
    for (const auto& c : cases) {
        char out[kAddressBufferSize];
        ASSERT_TRUE(ResolveLink(c.link, c.page, out, sizeof out)) << c.page;
        EXPECT_STREQ(out, c.expected) << c.page;
    }
}

TEST(ResolveLinkTest, OtherSchemesAndBrokenLinksAreDropped) {
    const char* links[] = {
        "https:c.jpg",
        "ftp://host/c.jpg",
        "mailto:me@host.jpg",
        "javascript:open('c.jpg')",
        "data:image/jpeg;base64,AAAA.jpg",
        "file:///c:/c.jpg",
        "c:\\pics\\c.jpg",
        "News:x.jpg",
        "http:c.jpg",
        "http://",
        "http:///c.jpg",
        "///c.jpg",
        "//",
        "",
        "   ",
        "a\x01.jpg",
        "a\x7F.jpg",
        "https://",
        "httpss://host/c.jpg",
    };
    for (const char* link : links) {
        char out[kAddressBufferSize] = "untouched";
        EXPECT_FALSE(ResolveLink(link, "http://host/a/", out, sizeof out)) << link;
        EXPECT_STREQ(out, "") << link;
    }
    char out[kAddressBufferSize];
    EXPECT_FALSE(ResolveLink("c.jpg", "ftp://host/a/", out, sizeof out));
    EXPECT_FALSE(ResolveLink("c.jpg", "", out, sizeof out));
    EXPECT_FALSE(ResolveLink("c.jpg", "http:///a/", out, sizeof out));
    EXPECT_TRUE(ResolveLink("http://h/c.jpg", "not an address", out, sizeof out));
    // A protocol-relative link needs a page with a scheme to take.
    EXPECT_FALSE(ResolveLink("//h/c.jpg", "not an address", out, sizeof out));
}

TEST(ResolveLinkTest, SpacesAroundAndLineBreaksInsideAreRemoved) {
    char out[kAddressBufferSize];
    ASSERT_TRUE(ResolveLink("  pic\r\n\tture.jpg \r\n", "http://h/d/", out, sizeof out));
    EXPECT_STREQ(out, "http://h/d/picture.jpg");
    ASSERT_TRUE(ResolveLink("my pic.jpg", "http://h/d/", out, sizeof out));
    EXPECT_STREQ(out, "http://h/d/my pic.jpg");
}

TEST(ResolveLinkTest, AddressesLongerThan259AreDroppedNotCut) {
    const std::string base = "http://h/d/"; // 11 characters
    char out[kAddressBufferSize];
    std::string fits(kMaxAddress - base.size(), 'x');
    ASSERT_TRUE(ResolveLink(fits.c_str(), base.c_str(), out, sizeof out));
    EXPECT_EQ(strlen(out), (size_t)kMaxAddress);
    std::string over = fits + "y";
    EXPECT_FALSE(ResolveLink(over.c_str(), base.c_str(), out, sizeof out));
    // A double-byte character that would straddle the limit is not halved.
    std::string wide = std::string(kMaxAddress - base.size() - 1, 'x') + "\x83\x41";
    EXPECT_FALSE(ResolveLink(wide.c_str(), base.c_str(), out, sizeof out));
    std::string absolute = "http://h/" + std::string(kMaxAddress - 8, 'x');
    EXPECT_FALSE(ResolveLink(absolute.c_str(), base.c_str(), out, sizeof out));
    // The caller's buffer bounds the result as well.
    char small[17]; // "http://h/d/a.jpg" and its terminator
    EXPECT_FALSE(ResolveLink("abcdefgh.jpg", base.c_str(), small, sizeof small));
    EXPECT_TRUE(ResolveLink("a.jpg", base.c_str(), small, sizeof small));
    EXPECT_STREQ(small, "http://h/d/a.jpg");
}

// The page scan resolves links of known length against a base split once;
// it must answer as ResolveWrittenLink does, reading nothing past the length
// (the link is followed here by more text, as in a page).
TEST(ResolveLinkTest, SplitBaseAnswersAsTheWrittenLinkRule) {
    const char* bases[] = {"http://host/a/b/", "HTTPS://Host:8443/", "http://host/", "",
                           "ftp://x/"};
    const char* links[] = {"c.jpg",
                           "sub/c.jpg",
                           "../c.jpg",
                           "../../../../c.jpg",
                           "./c.jpg",
                           "..",
                           ".",
                           "/x/c.jpg",
                           "//cdn.example/c.jpg",
                           "//",
                           "http://o/c.jpg",
                           "http://",
                           "HTTP://o",
                           "mailto:a@b",
                           "a:b.jpg",
                           "sub/a:b.jpg",
                           " c.jpg ",
                           "c\t.jpg",
                           "\n",
                           "",
                           "a\x01.jpg",
                           "?q",
                           "#f"};
    for (const char* base : bases) {
        LinkBase split;
        SplitLinkBase(base, &split);
        for (const char* link : links) {
            char clean[kAddressBufferSize];
            char address[kAddressBufferSize];
            bool relative = false;
            bool ok = ResolveWrittenLink(link, base, clean, sizeof clean, address, sizeof address,
                                         &relative);
            std::string followed = std::string(link) + "/../x.html\" more";
            ResolvedLink resolved;
            LinkKind kind = ResolveOnBase(followed.data(), strlen(link), split, &resolved);
            ASSERT_EQ(kind != LinkDropped, ok) << base << " " << link;
            if (!ok) continue;
            EXPECT_EQ(std::string(resolved.clean, resolved.cleanLength), clean) << link;
            EXPECT_EQ(std::string(resolved.address, resolved.addressLength), address) << link;
            EXPECT_STREQ(resolved.address, address) << link;
            EXPECT_EQ(resolved.relative, relative) << link;
            EXPECT_EQ(kind == LinkRelative, relative) << link;
        }
    }
    // The address limit holds for links that are clean already.
    LinkBase split;
    SplitLinkBase("http://h/d/", &split);
    ResolvedLink resolved;
    std::string fits(kMaxAddress - 11, 'x');
    EXPECT_EQ(ResolveOnBase(fits.data(), fits.size(), split, &resolved), LinkRelative);
    EXPECT_EQ(resolved.addressLength, (size_t)kMaxAddress);
    std::string over = fits + "y";
    EXPECT_EQ(ResolveOnBase(over.data(), over.size(), split, &resolved), LinkDropped);
}

TEST(BaseDirectoryTest, CutsAfterTheLastSlashOfThePath) {
    const struct {
        const char* page;
        const char* base; // nullptr: not an address
    } cases[] = {
        {"http://host/a/b/page.html", "http://host/a/b/"},
        {"http://host/", "http://host/"},
        {"http://host", "http://host/"},
        {"http://host/p.cgi?x=/y/z", "http://host/"},
        {"https://host/a/p.html", "https://host/a/"},
        {"HTTPS://host", "HTTPS://host/"},
        {"https://", nullptr},
        {"ftp://host/a/", nullptr},
        {"http://", nullptr},
        {"host/a/", nullptr},
    };
    for (const auto& c : cases) {
        char out[kAddressBufferSize];
        bool ok = BaseDirectory(c.page, out, sizeof out);
        EXPECT_EQ(ok, c.base != nullptr) << c.page;
        if (c.base) {
            EXPECT_STREQ(out, c.base) << c.page;
        }
    }
}

struct ExtensionCase {
    int jpg, gif, htm, internal;
    const char* extension;
    const char* link;
    bool accepted;
};

TEST(AcceptByExtensionTest, Table) {
    const ExtensionCase cases[] = {
        {1, 0, 0, 0, "", "a.JPEG", true},
        {1, 0, 0, 0, "", "a.jpg", true},
        {1, 0, 0, 0, "", "a.jpgx", true},
        {1, 0, 0, 0, "", "a.gif", false},
        {0, 0, 0, 0, "", "a.jpg", false},
        {1, 0, 0, 0, "gif", "a.gif", true},
        {1, 0, 0, 0, ".gif", "a.GIF", true},
        {1, 0, 0, 0, "  ..gif  mp3", "b.mp3", true},
        {1, 0, 0, 0, "mp3 zip", "b.mp", false},
        {1, 0, 0, 0, "mp3", "b.mp3x", false},
        {1, 0, 0, 0, "abcdefghij", "x.abcdefghij", false},
        {1, 0, 0, 0, "abcdefgh", "x.abcdefgh", true},
        {1, 0, 0, 0, ".", "x.", false},
        {0, 1, 0, 0, "", "a.gif2", true},
        {1, 0, 0, 0, "", "download.php?id=12345", false},
        {1, 0, 1, 0, "", "download.php?id=12345", false},
        {1, 0, 1, 0, "", "dir/", true},
        {1, 0, 0, 1, "", "dir/", true},
        {1, 0, 0, 0, "", "dir/", false},
        {1, 0, 1, 0, "", "p.html", true},
        {1, 0, 0, 1, "", "p.HTM", true},
        {1, 0, 0, 0, "", "p.html", false},
        {1, 0, 1, 1, "", "p.html#top", true},
        {1, 0, 1, 0, "", "p.htmlx", false},
        {1, 0, 0, 0, "", "", false},
        {1, 0, 0, 0, "", "noextension", false},
        {1, 0, 0, 0, "", "a.jpg?size=large1", true},
        {1, 0, 0, 0, "", "/styles/photo-560x480.jpg?itok=d6YrpMuP", true},
        {0, 1, 0, 0, "", "a.gif?w=800&q=75#x", true},
        {1, 0, 0, 0, "", "img.php?f=a/b.jpg", false},
        {1, 0, 0, 0, "php", "download.php?id=12345", true},
        {1, 0, 0, 0, "", "dir.jpg/file", false},
        {1, 0, 0, 0, "", "x.jpg/", false},
        {1, 0, 0, 0, "", "http://host.jpg", false},
        {1, 0, 0, 0, "", "//cdn.jpg?a.jpg", false},
        {1, 0, 0, 0, "", "https://cdn/i/a.JPG?v=1", true},
        {1, 0, 1, 0, "", "p.htm?page=2", true},
        {1, 0, 0, 0, "", "a.jpg?sz=1", true},
        {1, 0, 0, 0, "", ".jpg", true},
    };
    for (const auto& c : cases) {
        Options = OptionsRecord{};
        Options.JPG = c.jpg;
        Options.GIF = c.gif;
        Options.HTM = c.htm;
        Options.InternalLinks = c.internal;
        CopyText(Options.Extension, sizeof Options.Extension, c.extension);
        EXPECT_EQ(AcceptByExtension(c.link, OptionTypeFilter()), c.accepted)
            << c.link << " JPG=" << c.jpg << " GIF=" << c.gif << " HTM=" << c.htm
            << " InternalLinks=" << c.internal << " Extension=" << c.extension;
    }
    Options = OptionsRecord{};
}

TEST(AcceptByExtensionTest, EachTypeOptionSelectsItsExtensions) {
    const struct {
        int32_t OptionsRecord::*option;
        const char* links[2];
    } types[] = {{&OptionsRecord::JPG, {"a.jpg", "a.jpeg"}},
                 {&OptionsRecord::GIF, {"a.gif", "a.gif"}},
                 {&OptionsRecord::PNG, {"a.png", "a.PNG"}},
                 {&OptionsRecord::WAV, {"a.wav", "a.Wav"}},
                 {&OptionsRecord::LZH, {"a.lzh", "a.LZH"}},
                 {&OptionsRecord::WEBP, {"a.webp", "a.WebP?w=800"}},
                 {&OptionsRecord::AVIF, {"a.avif", "a.AVIF#x"}}};
    for (const auto& type : types) {
        Options = OptionsRecord{};
        for (const char* link : type.links)
            EXPECT_FALSE(AcceptByExtension(link, OptionTypeFilter())) << link;
        Options.*type.option = 1;
        for (const char* link : type.links)
            EXPECT_TRUE(AcceptByExtension(link, OptionTypeFilter())) << link;
    }
    Options = OptionsRecord{};
}

} // namespace
