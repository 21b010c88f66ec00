// The scanner alone: bytes in, references out, no engine and no table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstring>

#include "analysis/json_images.h"
#include "analysis/page_charset.h"
#include "analysis/page_scan.h"

namespace {

const char kPage[] = "http://host/a/b/page.html";

std::string KindName(ReferenceKind kind) {
    static const char* const kNames[] = {"anchor", "image",  "frame", "background",
                                         "script", "srcset", "lazy",  "media",
                                         "icon",   "meta",   "style", "structured"};
    return kNames[kind];
}

// "kind address" of every reference, in order; addresses under the page's
// directory are shortened to what follows it.
std::vector<std::string> Refs(const std::string& html, int headerCharset = CharsetUnknown,
                              bool skipThumbnails = false, PageScan* scanOut = nullptr) {
    PageScan local;
    PageScan& scan = scanOut ? *scanOut : local;
    ScanSettings settings{skipThumbnails, headerCharset};
    ScanPage(html.data(), html.size(), kPage, settings, &scan);
    std::vector<std::string> out;
    const std::string base = "http://host/a/b/";
    for (const PageReference& ref : scan.references) {
        std::string address = ReferenceAddress(scan, ref);
        if (address.compare(0, base.size(), base) == 0) address = address.substr(base.size());
        out.push_back(KindName(ref.kind) + " " + address);
    }
    return out;
}

using Strings = std::vector<std::string>;

TEST(ReferenceScanTest, EachKindOfReference) {
    const struct {
        const char* html;
        Strings refs;
    } cases[] = {
        {"<img src=a.jpg srcset=\"s.jpg 320w, m.jpg 640w, l.jpg 1280w, l2.jpg 1280w\">",
         {"image a.jpg", "srcset l.jpg"}},
        {"<img srcset=\"a.jpg, b.jpg 2x, c.jpg 1.5x\">", {"srcset b.jpg"}},
        {"<img srcset=\"only.jpg\">", {"srcset only.jpg"}},
        {"<img srcset=\"x.jpg 3x, w.jpg 100w\">", {"srcset w.jpg"}}, // widths outrank densities
        {"<img data-srcset=\"d1.jpg 1x,d2.jpg 2x\">", {"srcset d2.jpg"}},
        {"<picture><source srcset=\"p.webp 800w\" type=image/webp><source src=s.jpg></picture>",
         {"srcset p.webp", "media s.jpg"}},
        {"<div data-src=lazy.jpg></div><p data-original='orig.png'><span data-lazy-src=ls.gif>",
         {"lazy lazy.jpg", "lazy orig.png", "lazy ls.gif"}},
        // The src rule finds the first "src" anywhere but in srcset, as ever:
        // a data-src before src gives the image's src too.
        {"<img data-src=big.jpg src=ph.gif>", {"image big.jpg", "lazy big.jpg"}},
        {"<img srcset=\"a.jpg 1x, b.jpg 2x\" src=s.jpg>", {"image s.jpg", "srcset b.jpg"}},
        {"<img lowsrc=low.jpg src=hi.jpg>", {"image low.jpg"}},
        {"<video src=v.mp4 poster=v.jpg></video><audio src=a.mp3><embed src=e.swf>"
         "<object data=o.pdf>",
         {"media v.mp4", "media v.jpg", "media a.mp3", "media e.swf", "media o.pdf"}},
        {"<link rel=icon href=i.png><link rel=\"shortcut icon\" href=s.ico>"
         "<link rel=apple-touch-icon href=t.png><link rel=image_src href=is.jpg>"
         "<link rel=preload as=image href=pre.jpg><link rel=preload as=font href=f.woff>"
         "<link rel=stylesheet href=c.css>",
         {"icon i.png", "icon s.ico", "icon t.png", "icon is.jpg", "icon pre.jpg"}},
        {"<meta property=\"og:image\" content=\"http://cdn/og.jpg\">"
         "<meta property=og:image:url content=u.jpg><meta property=og:video content=v.mp4>"
         "<meta name=twitter:image content=tw.png><meta name=description content=d.jpg>",
         {"meta http://cdn/og.jpg", "meta u.jpg", "meta v.mp4", "meta tw.png"}},
        {"<div style=\"background:url(bg1.jpg)\"></div><p style=\"x: url( 'q.png' ) , "
         "URL(r.gif)\">",
         {"style bg1.jpg", "style q.png", "style r.gif"}},
        {"<style>.a{background:url('/s/a.png')} .b{background:url(b.jpg)}</style><img "
         "src=after.jpg>",
         {"style http://host/s/a.png", "style b.jpg", "image after.jpg"}},
        {"<img src=a.jpg><base href=\"http://other/x/\"><img src=b.jpg><base href=/ignored/>"
         "<img src=../c.jpg>",
         {"image a.jpg", "image http://other/x/b.jpg", "image http://other/c.jpg"}},
        {"<base href=sub/><a href=p.html>", {"anchor sub/p.html"}},
        {"<img data-lazy-srcset=\"a.jpg 300w, b.jpg 900w\"><div data-bg=bg.jpg></div>"
         "<section data-background-image=\"url(&quot;sec.jpg&quot;)\"><img data-full-src=f.jpg "
         "data-large-file=\"l.jpg?w=1024\" data-orig-file=o.jpg>",
         {"srcset b.jpg", "lazy bg.jpg", "lazy sec.jpg", "image f.jpg", "lazy f.jpg", "lazy l.jpg?w=1024",
          "lazy o.jpg"}},
        {"<noscript><img src=\"fallback.jpg?itok=x\"></noscript>", {"image fallback.jpg?itok=x"}},
        {"<script type=\"application/ld+json\">{\"@type\":\"NewsArticle\",\"url\":\"page.html\","
         "\"image\":[\"a.jpg\",{\"@type\":\"ImageObject\",\"url\":\"http:\\/\\/cdn\\/b\",\"width\":800}],"
         "\"thumbnailUrl\":\"t.jpg?x=1\\u0026y=2\",\"logo\":{\"url\":\"logo.png\"}}</script>"
         "<script type=text/javascript>var image=\"no.jpg\"</script><img src=after.jpg>",
         {"structured a.jpg", "structured http://cdn/b", "structured t.jpg?x=1&y=2", "image after.jpg"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Refs(c.html), c.refs) << c.html;
}

TEST(ReferenceScanTest, StructuredDataPictures) {
    const struct {
        const char* json;
        Strings addresses;
    } cases[] = {
        {"{\"image\":\"a.jpg\"}", {"a.jpg"}},
        {"{\"image\":[\"a.jpg\",\"b.jpg\"],\"contentUrl\":\"c.jpg\"}", {"a.jpg", "b.jpg", "c.jpg"}},
        {"{\"image\":{\"@id\":\"#i\",\"url\":\"u.jpg\",\"contentUrl\":\"cu.jpg\"}}", {"u.jpg", "cu.jpg"}},
        {"[{\"@graph\":[{\"image\":[{\"url\":\"g.jpg\"}]}]}]", {"g.jpg"}},
        {"{\"url\":\"page.html\",\"author\":{\"url\":\"me.html\"},\"name\":\"image\"}", {}},
        {"{\"image\" : \"sp\\\"q.jpg\" , \"thumbnailUrl\":\"\\u5199.jpg\"}", {"sp\"q.jpg", "\xE5\x86\x99.jpg"}},
        {"{\"image\":\"bad\\u12\"}", {}},
        {"{\"image\":\"esc\\\x01" "aped.jpg\"}", {}}, // an escaped control byte (found by fuzzing)
        {"{\"image\":\"cut", {}},
        {"{\"image\":\"\"}", {}},
    };
    for (const auto& c : cases) {
        Strings found;
        ForEachJsonImage(c.json, strlen(c.json), [](void* context, const char* a, size_t n) {
            ((Strings*)context)->push_back(std::string(a, n));
        }, &found);
        EXPECT_EQ(found, c.addresses) << c.json;
    }
    // Nesting past the bound is read on, and what follows it still counts.
    std::string deep = std::string(5000, '[') + "\"x.jpg\"" + std::string(5000, ']');
    Strings found;
    std::string json = "{\"image\":" + deep + ",\"image\":\"after.jpg\"}";
    ForEachJsonImage(json.data(), json.size(), [](void* context, const char* a, size_t n) {
        ((Strings*)context)->push_back(std::string(a, n));
    }, &found);
    EXPECT_EQ(found, Strings{"after.jpg"});
}

TEST(ReferenceScanTest, EveryRuleReadsLongTagsWhole) {
    std::string classes(400, 'c');
    // The src rule finds data-src first, as on a short tag.
    EXPECT_EQ(Refs("<img class=\"" + classes + "\" srcset=\"s.jpg 1x, l.jpg 2x\" data-src=d.jpg>"),
              (Strings{"image d.jpg", "srcset l.jpg", "lazy d.jpg"}));
    std::string alt(1500, 'a');
    EXPECT_EQ(Refs("<a class=x title=\"" + alt + "\" href=p.jpg><img alt=\"" + alt +
                   "\" width=10\n height=10 src=\"i.jpg?itok=d6\"></a><iframe name=\"" + alt +
                   "\" src=f.html><body class=\"" + alt + "\" background=bg.gif>"),
              (Strings{"anchor p.jpg", "image i.jpg?itok=d6", "frame f.html", "background bg.gif"}));
}

TEST(ReferenceScanTest, ThumbnailsInsideLinksStayOutInEveryForm) {
    const std::string html =
        "<a href=big.jpg><img src=t.jpg srcset=\"t2.jpg 2x\" data-src=t3.jpg>"
        "<picture><source srcset=t4.webp></picture></a><img data-src=free.jpg>";
    EXPECT_EQ(Refs(html, CharsetUnknown, true),
              (Strings{"anchor big.jpg", "image free.jpg", "lazy free.jpg"}));
    EXPECT_EQ(Refs(html, CharsetUnknown, false),
              (Strings{"anchor big.jpg", "image t.jpg", "srcset t2.jpg", "lazy t3.jpg",
                       "srcset t4.webp", "image free.jpg", "lazy free.jpg"}));
}

TEST(ReferenceScanTest, CharacterReferencesAreDecodedBeforeResolution) {
    const struct {
        const char* value;
        const char* address; // nullptr: none
    } cases[] = {
        {"a.cgi?x=1&amp;y=2", "a.cgi?x=1&y=2"},
        {"&quot;q&quot;.jpg", "\"q\".jpg"},
        {"it&apos;s.jpg", "it's.jpg"},
        {"a&lt;b&gt;.jpg", "a<b>.jpg"},
        {"&#97;&#x62;&#X63;.jpg", "abc.jpg"},
        {"&#x5199;.jpg", "\xE5\x86\x99.jpg"}, // UTF-8 bytes on a page of unknown charset
        {"&#10;x.jpg", "&#10;x.jpg"},         // a control character stays as written
        {"&#x85;x.jpg", "&#x85;x.jpg"},
        {"&#1114112;x.jpg", "&#1114112;x.jpg"}, // past U+10FFFF
        {"&nbsp;x.jpg", "&nbsp;x.jpg"},         // unknown names stay
        {"&amp x.jpg", "&amp x.jpg"},           // no ";"
        {"&#;x.jpg", "&#;x.jpg"},
        {"a&b.jpg", "a&b.jpg"},
        {"&amp;amp;.jpg", "&amp;.jpg"}, // decoded once
    };
    for (const auto& c : cases) {
        std::string html = std::string("<a href=\"") + c.value + "\">";
        Strings expected;
        if (c.address) expected.push_back(std::string("anchor ") + c.address);
        EXPECT_EQ(Refs(html), expected) << c.value;
    }
    // Entities in every kind of attribute value, and none in script text.
    EXPECT_EQ(
        Refs("<img srcset=\"s.jpg?a=1&amp;b=2 2x\" style=\"background:url(&quot;u.png&quot;)\">"
             "<script language=JavaScript>window.open('w.cgi?a&amp;b')</script>"),
        (Strings{"srcset s.jpg?a=1&b=2", "style u.png", "script w.cgi?a&amp;b"}));
}

TEST(ReferenceScanTest, CharsetComesFromHeaderThenByteOrderMarkThenMeta) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string html;
        int header;
        int charset;
    } cases[] = {
        {"<meta charset=utf-8>", CharsetUnknown, CharsetUtf8},
        {"<meta charset=\"UTF8\">", CharsetUnknown, CharsetUtf8},
        {"<meta http-equiv=Content-Type content=\"text/html; charset=EUC-JP\">", CharsetUnknown,
         CharsetEucJp},
        {"<meta charset=Shift_JIS>", CharsetUnknown, CharsetShiftJis},
        {"<meta charset=Shift_JIS>", CharsetUtf8, CharsetUtf8}, // the header wins
        {bom + "<meta charset=EUC-JP>", CharsetUnknown, CharsetUtf8},
        {bom + "<p>", CharsetEucJp, CharsetEucJp},
        {"<meta charset=iso-8859-1><title>plain</title>", CharsetUnknown, CharsetShiftJis},
        {"<title>\xE5\x86\x99\xE7\x9C\x9F</title>", CharsetUnknown,
         CharsetUtf8}, // undeclared UTF-8
        {"<title>\xA4\xA2\xA4\xA4</title>", CharsetUnknown, CharsetEucJp},
    };
    for (const auto& c : cases) {
        PageScan scan;
        Refs(c.html, c.header, false, &scan);
        EXPECT_EQ(scan.charset, c.charset) << c.html;
    }
}

TEST(ReferenceScanTest, AddressesOnUtf8PagesArePercentEncoded) {
    const std::string photo = "\xE5\x86\x99\xE7\x9C\x9F"; // 写真
    EXPECT_EQ(Refs("<img src=\"" + photo + ".jpg\">", CharsetUtf8),
              Strings{"image %E5%86%99%E7%9C%9F.jpg"});
    EXPECT_EQ(Refs("<meta charset=utf-8><img src=\"" + photo + "/&#x5199;.jpg\">"),
              Strings{"image %E5%86%99%E7%9C%9F/%E5%86%99.jpg"});
    // So is a base with such a name: the addresses resolved on it too.
    PageScan scan;
    Refs("<base href=\"http://h/" + photo + "/\"><img src=\"a.jpg\">", CharsetUtf8, false, &scan);
    ASSERT_EQ(scan.references.size(), 1u);
    EXPECT_STREQ(ReferenceAddress(scan, scan.references[0]), "http://h/%E5%86%99%E7%9C%9F/a.jpg");
    // A Shift_JIS page keeps its bytes as today.
    EXPECT_EQ(Refs("<img src=\"\x8E\xCA.jpg\">", CharsetShiftJis), Strings{"image \x8E\xCA.jpg"});
    // Encoding that runs past the longest address drops the link.
    std::string many;
    for (int i = 0; i < 230; i++)
        many += photo.substr(0, 3);
    EXPECT_EQ(Refs("<img src=\"" + many + ".jpg\">", CharsetUtf8), Strings{});
}

TEST(ReferenceScanTest, TitlesInEveryCharsetBecomeShiftJis) {
    const struct {
        std::string html;
        int header;
        std::string title;
    } cases[] = {
        {"<title>\xE5\x86\x99\xE7\x9C\x9F</title>", CharsetUtf8, "\x8E\xCA\x90\x5E"},
        {"<meta charset=utf-8><title>caf\xC3\xA9 \xF0\x9F\x98\x80!</title>", CharsetUnknown,
         "caf? ?!"},                                          // characters Shift_JIS lacks
        {"<title>\xEF\xBD\xB1</title>", CharsetUtf8, "\xB1"}, // half-width katakana
        {"<title>a\xE5\x86</title>", CharsetUtf8, "a"},       // cut off at the end
        {"<title>a\xE5\x86"
         "b</title>",
         CharsetUtf8, "a??b"}, // broken inside
        {"<title>\xA4\xA2</title>", CharsetEucJp, "\x82\xA0"},
        {"<title>\x82\xA0</title>", CharsetShiftJis, "\x82\xA0"},
        {"<p>no title", CharsetUnknown, kPage},
    };
    for (const auto& c : cases) {
        PageScan scan;
        Refs(c.html, c.header, false, &scan);
        EXPECT_EQ(scan.title, c.title) << c.html;
    }
}

TEST(ReferenceScanTest, LongUtf8TitlesAreCutOnWholeCharacters) {
    std::string title;
    for (int i = 0; i < 60; i++)
        title += "\xE5\x86\x99"; // 60 kanji, 180 bytes of UTF-8
    PageScan scan;
    Refs("<title>" + title + "</title>", CharsetUtf8, false, &scan);
    std::string expected;
    for (int i = 0; i < 44; i++)
        expected += "\x8E\xCA"; // 88 bytes of Shift_JIS
    EXPECT_EQ(scan.title, expected);
    Refs("<title>x" + title + "</title>", CharsetUtf8, false, &scan);
    EXPECT_EQ(std::string(scan.title), "x" + expected.substr(0, 86));
}

TEST(ReferenceScanTest, ReferencesKeepDocumentOrderAndOrigin) {
    const std::string html =
        "<p><a href=a.html><img src=b.jpg data-src=c.jpg></a><link rel=icon href=d.ico>";
    PageScan scan;
    Refs(html, CharsetUnknown, false, &scan);
    ASSERT_EQ(scan.references.size(), 4u);
    const size_t origins[] = {html.find("<a"), html.find("<img"), html.find("<img"),
                              html.find("<link")};
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(scan.references[i].origin, origins[i]) << i;
    EXPECT_STREQ(ReferenceLink(scan, scan.references[0]), "a.html");
    EXPECT_TRUE(scan.references[0].relative);
}

TEST(ReferenceScanTest, OneResultServesPageAfterPage) {
    PageScan scan;
    Refs("<title>first</title><img src=a.jpg>", CharsetUnknown, false, &scan);
    Refs("<img src=b.jpg>", CharsetUnknown, false, &scan);
    ASSERT_EQ(scan.references.size(), 1u);
    EXPECT_STREQ(ReferenceAddress(scan, scan.references[0]), "http://host/a/b/b.jpg");
    EXPECT_STREQ(scan.title, kPage);
}

} // namespace
