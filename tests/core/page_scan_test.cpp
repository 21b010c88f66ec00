#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/links.h"
#include "analysis/page_charset.h"
#include "analysis/page_scan.h"
#include "engine/page_links.h"
#include "tests/core/analysis_fixture.h"

namespace {

const char kTop[] = "http://host/a/b/top.html";
const char kBase[] = "http://host/a/b/";

class PageScanTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        StartTopPage(kTop);
    }
    // Scans html as the top page and answers the addresses listed.
    std::vector<std::string> Scan(const std::string& html, const char* page = kTop) {
        Analyse(html, page);
        return Listed();
    }
    static void Analyse(const std::string& html, const char* page = kTop) {
        AnalysePage(html.data(), html.size(), page, CharsetUnknown);
    }
    static std::vector<std::string> Under(std::initializer_list<const char*> names) {
        std::vector<std::string> out;
        for (const char* name : names) out.push_back(std::string(kBase) + name);
        return out;
    }
};

TEST(GetAttributeValueTest, Table) {
    const struct {
        const char* tag;
        const char* name;
        const char* value;  // nullptr: none
    } cases[] = {
        {"<IMG SRC=a.jpg>", "src", "a.jpg"},
        {"<img src=a.jpg alt=x>", "src", "a.jpg"},
        {"<img src=\"a b.jpg\" >", "SRC", "a b.jpg"},
        {"<img src = 'x.gif'>", "src", "x.gif"},
        {"<img src=\" padded.gif \">", "src", "padded.gif"},
        {"<img src='it\"s.gif'>", "src", "it\"s.gif"},
        {"<img lowsrc=low.jpg src=hi.jpg>", "src", "low.jpg"},
        {"<a\r href=x.html>", "href", "x.html"},
        {"<img src=\"never closed>", "src", nullptr},
        {"<img src>", "src", nullptr},
        {"<img src=>", "src", nullptr},
        {"<img src=\"  \">", "src", nullptr},
        {"<img src=", "src", nullptr},
        {"<img src=a.jpg", "src", nullptr},
        {"<img alt=x>", "src", nullptr},
        {"<meta charset=EUC-JP>", "charset", "EUC-JP"},
    };
    for (const auto& c : cases) {
        char out[256] = "untouched";
        bool found = GetAttributeValue(c.tag, c.name, out, sizeof out);
        EXPECT_EQ(found, c.value != nullptr) << c.tag;
        EXPECT_STREQ(out, c.value ? c.value : "") << c.tag;
    }
}

TEST(GetAttributeValueTest, CopiesAreCutToTheCapacityOnWholeCharacters) {
    char out[4];
    ASSERT_TRUE(GetAttributeValue("<a href=abcdef>", "href", out, sizeof out));
    EXPECT_STREQ(out, "abc");
    ASSERT_TRUE(GetAttributeValue("<a href=x\x82\xA0\x82\xA2>", "href", out, sizeof out));
    EXPECT_STREQ(out, "x\x82\xA0");
    ASSERT_TRUE(GetAttributeValue("<a href=\x82\xA0\x82\xA2>", "href", out, sizeof out));
    EXPECT_STREQ(out, "\x82\xA0");
    EXPECT_FALSE(GetAttributeValue("<a href=x>", "href", out, 0));
}

TEST(EncodingTest, GuessJapaneseEncoding) {
    const struct {
        const char* text;
        int encoding;
    } cases[] = {
        {"", 2},
        {"plain", 2},
        {"\xA4\xA2\xA4\xA4", 3},          // EUC-JP hiragana
        {"\x82\xA0\x82\xA2", 2},          // Shift_JIS hiragana
        {"\x88\x9F\xE0\x40", 2},          // Shift_JIS kanji, both lead ranges
        {"\xE0\xA1", 2},                  // ties go to Shift_JIS
        {"\xB0\xA1\xA4\xA2\x82\xA0", 3},  // two EUC pairs against one
        {"\xA4", 2},                      // a lead byte before the end
    };
    for (const auto& c : cases) EXPECT_EQ(GuessJapaneseEncoding(c.text), c.encoding) << c.text;
}

TEST(EncodingTest, EucToShiftJis) {
    const struct {
        const char* euc;
        const char* sjis;
    } cases[] = {
        {"\xA4\xA2", "\x82\xA0"},          // hiragana a
        {"\xA5\xA2", "\x83\x41"},          // katakana a: odd row
        {"\xA5\xE0", "\x83\x80"},          // odd row, second byte past 0x7E
        {"\xB0\xA1", "\x88\x9F"},          // first kanji
        {"\xDE\xFE", "\x9F\xFC"},          // last row below 0xDF
        {"\xDF\xA1", "\xE0\x40"},          // rows from 0xDF on
        {"\xF4\xA6", "\xEA\xA4"},
        {"ab\xA4\xA2 c", "ab\x82\xA0 c"},  // ASCII stays
        {"\x8E\xB1", "\xB1"},              // half-width katakana
        {"x\xA4", "x\xA4"},                // lead byte before the terminator
        {"\xA4" "a", "\xA4" "a"},          // not a pair: nothing is made of it
        {"\xA4\x02", "\xA4\x02"},
    };
    for (const auto& c : cases) {
        char text[16];
        CopyText(text, sizeof text, c.euc);
        EucToShiftJis(text);
        EXPECT_STREQ(text, c.sjis) << c.euc;
    }
}

TEST_F(PageScanTest, QuotedArgumentsOfCalls) {
    const std::string script = "<script language=JavaScript>";
    const std::string onClick = "<a href=\"javascript:;\" onClick=\"";
    const struct {
        std::string html;
        const char* listed;  // nullptr: nothing
    } cases[] = {
        {onClick + "openWin('photo/p1.jpg')\">", "photo/p1.jpg"},
        {onClick + "openWin(&quot;d.jpg&quot;)\">", "d.jpg"},
        {onClick + "openWin('first.jpg', &quot;second.jpg&quot;)\">", "first.jpg"},
        {onClick + "noCall 'x.jpg'\">", nullptr},
        {script + "window.open('a.jpg','b.jpg')</script>", "a.jpg"},
        {script + "window.open ( 'spaced.jpg' )</script>", "spaced.jpg"},
        {script + "window.opener.go('no.jpg')</script>", nullptr},
        {script + "Window.open('case.jpg')</script>", nullptr},
        {script + "window.open(url)</script>", nullptr},
        {script + "window.open('unclosed.jpg)</script>", nullptr},
        {script + "window.open(" + std::string(300, ' ') + "'far.jpg')</script>", nullptr},
    };
    for (const auto& c : cases) {
        ListReset();
        Analyse(c.html);
        EXPECT_EQ(Listed(), c.listed ? Under({c.listed}) : std::vector<std::string>{}) << c.html;
    }
}

TEST_F(PageScanTest, TagsAndAttributesInAnyCase) {
    Options.GIF = 1;
    Options.HTM = 1;
    auto listed = Scan(
        "<IMG SRC=a.jpg><Img Src='b.jpg'><img src=\"c.jpg\" alt=x>"
        "<frameset><frame src=left.html><FRAME SRC=\"right.htm\"></frameset>"
        "<iframe src=inner.html></iframe>"
        "<map><area href=map.gif shape=rect></map>"
        "<BODY background=\"bg.gif\">");
    EXPECT_EQ(listed, Under({"a.jpg", "b.jpg", "c.jpg", "left.html", "right.htm", "inner.html",
                             "map.gif", "bg.gif"}));
}

TEST_F(PageScanTest, ThumbnailsInsideLinksAreLeftOut) {
    Options.ThumbNail = 1;
    auto listed = Scan(
        "<a href=\"big.jpg\"><img src=\"small.jpg\"></a><img src=free.jpg>"
        "<map><area href=m.jpg></map><img src=afterarea.jpg>"
        "<abbr title=x></abbr><address><img src=inaddress.jpg></address>");
    EXPECT_EQ(listed, Under({"big.jpg", "free.jpg", "m.jpg", "afterarea.jpg", "inaddress.jpg"}));
    ListReset();
    Options.ThumbNail = 0;
    EXPECT_EQ(Scan("<a href=\"big.jpg\"><img src=\"small.jpg\"></a>"), Under({"big.jpg", "small.jpg"}));
}

TEST_F(PageScanTest, TagsAcrossLinesCollapseTheirWhitespace) {
    Options.HTM = 1;
    EXPECT_EQ(Scan("<a\r\n   href=x.html\n>x</a><img\tsrc\n=\n\"y.jpg\">"), Under({"x.html", "y.jpg"}));
}

TEST_F(PageScanTest, CommentsHideTheirLinks) {
    EXPECT_EQ(Scan("<!-- <img src=hidden.jpg> --><img src=seen.jpg>"), Under({"seen.jpg"}));
    ListReset();
    EXPECT_EQ(Scan("<!--><img src=closed-at-once.jpg>"), Under({"closed-at-once.jpg"}));
    ListReset();
    EXPECT_EQ(Scan("<!-- a -- b > <img src=inside.jpg> --> <img src=out.jpg>"), Under({"out.jpg"}));
    ListReset();
    EXPECT_EQ(Scan("<img src=before.jpg><!-- never closed <img src=x.jpg>"), Under({"before.jpg"}));
    ListReset();
    // A comment inside a tag leaves the tag open around it.
    EXPECT_EQ(Scan("<img src=a.jpg <!-- <img src=c.jpg> -->b.jpg>"), Under({"a.jpg"}));
}

TEST_F(PageScanTest, ScriptsOpenWindows) {
    Options.HTM = 1;
    auto listed = Scan(
        "<script language=\"JavaScript\">\n"
        "function show() { window.open('photo/big.jpg', 'w'); if (a<b) x(); }\n"
        "</script><img src=after.jpg>"
        "<script language=VBScript>window.open('vb.jpg')</script>"
        "<a href=\"javascript:;\" onClick=\"openWin('photo/p1.jpg')\">x</a>"
        "<a href=\"JavaScript:;\" onclick=\"openWin('photo/p2.jpg')\">x</a>");
    EXPECT_EQ(listed, Under({"photo/big.jpg", "after.jpg", "photo/p1.jpg", "photo/p2.jpg"}));
    ListReset();
    EXPECT_EQ(Scan("<img src=a.jpg><script language=javascript>window.open('in.jpg')<img src=never.jpg>"),
              Under({"a.jpg", "in.jpg"}));
}

TEST_F(PageScanTest, FollowedPagesAndHeadRequestsReachTheEngine) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    Scan("<a href=next.html><img src=p.jpg></a><a href=top.html>self</a>"
         "<a href=http://other/ext.html>x</a><a href=next.html>again</a>");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"http://host/a/b/next.html", "http://host/a/b/p.jpg",
                                                  "http://other/ext.html"}));
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/a/b/next.html", 0}}));
    EXPECT_EQ(Queued(Engine.HeadQueue), (Requests{{"http://host/a/b/next.html", 0},
                                                  {"http://host/a/b/p.jpg", 1},
                                                  {"http://other/ext.html", 2}}));
    EXPECT_EQ(Reports.viewPublished, std::vector<int>{3});
}

TEST_F(PageScanTest, TitlesBecomeTheCaption) {
    const struct {
        const char* html;
        const char* caption;
    } cases[] = {
        {"<title> My  Page </title>", "My Page  - Ferrow"},
        {"<TITLE>\n\tTabbed\n</TITLE>", "Tabbed  - Ferrow"},
        {"<title>A<b>B</b></title>", "AB - Ferrow"},
        {"<title>a > b</title>", "a > b - Ferrow"},
        {"<title></title>", "http://host/a/b/top.html - Ferrow"},
        {"no title", "http://host/a/b/top.html - Ferrow"},
        {"<title>\xA4\xA2\xA4\xA4</title>", "\x82\xA0\x82\xA2 - Ferrow"},
        {"<meta charset=\"EUC-JP\"><title>\xB0\xA1</title>", "\x88\x9F - Ferrow"},
        {"<meta http-equiv=Content-Type content=\"text/html; charset=Shift_JIS\">"
         "<title>\xA4\xA2\xA4\xA4</title>",
         "\xA4\xA2\xA4\xA4 - Ferrow"},
        {"<title>\x82\xA0\x82\xA2</title>", "\x82\xA0\x82\xA2 - Ferrow"},
        {"<title>unclosed", "unclosed - Ferrow"},
    };
    for (const auto& c : cases) {
        ClearReports();
        Analyse(c.html);
        ASSERT_EQ(Reports.captions.size(), 1u) << c.html;
        EXPECT_EQ(Reports.captions[0], c.caption) << c.html;
    }
}

TEST_F(PageScanTest, LongTitlesAreCutOnWholeCharacters) {
    std::string ascii(100, 't');
    Analyse("<title>" + ascii + "</title>");
    EXPECT_EQ(Reports.captions.back(), std::string(88, 't') + " - Ferrow");
    // 87 ASCII characters leave room for only the lead byte of the next one.
    std::string sjis = std::string(87, 's') + "\x82\xA0\x82\xA0";
    Analyse("<title>" + sjis + "</title>");
    EXPECT_EQ(Reports.captions.back(), std::string(87, 's') + " - Ferrow");
}

TEST_F(PageScanTest, OnlyTheTopPageSetsTheCaption) {
    Analyse("<title>Other</title>", "http://host/a/b/other.html");
    EXPECT_TRUE(Reports.captions.empty());
    EXPECT_EQ(Reports.viewPublished.size(), 1u);
}

TEST_F(PageScanTest, TheBodyEndsAtItsFirstNul) {
    std::string html = std::string("<img src=a.jpg>") + '\0' + "<img src=b.jpg>";
    Analyse(html);
    EXPECT_EQ(Listed(), Under({"a.jpg"}));
}

TEST_F(PageScanTest, LongTagsAreReadWholeAndOverLongAddressesDropped) {
    std::string filler(3000, 'f');
    auto listed = Scan("<img src=early.jpg alt=\"" + filler + "\">"
                       "<img alt=" + filler + " src=late.jpg>"
                       "<a title=\"" + filler + "\"\n\n href=\"linked.jpg\">x</a>"
                       "<img alt=x src=" + std::string(kMaxAddress, 'u') + ".jpg>"
                       "<img src=next.jpg>");
    EXPECT_EQ(listed, Under({"early.jpg", "late.jpg", "linked.jpg", "next.jpg"}));
}

TEST_F(PageScanTest, OtherSchemesOnAPageAreDropped) {
    Options.HTM = 1;
    auto listed = Scan(
        "<a href=\"https://secure/a.jpg\">s</a><a href=\"mailto:me@x.jpg\">m</a>"
        "<img src=\"data:image/jpeg;base64,AAAA.jpg\"><a href=\"ftp://f/x.jpg\">f</a>"
        "<img src=\"//cdn.example/i.jpg\"><a href=\"javascript:go('x.jpg')\">j</a>");
    EXPECT_EQ(listed,
              (std::vector<std::string>{"https://secure/a.jpg", "http://cdn.example/i.jpg"}));
}

TEST_F(PageScanTest, HostileBodiesEndCleanly) {
    const std::string cases[] = {
        std::string(1 << 20, '<'),
        "<img src=\"" + std::string(1 << 20, 'a'),
        "<" + std::string(1 << 20, 'x') + ">",
        "<title>" + std::string(1 << 20, '\xA4'),
        "<script language=JavaScript>" + std::string(1 << 18, 'w') + "window.open('" +
            std::string(1 << 18, '(') + "</script>",
        "<script language=JavaScript>" + [] {
            std::string s;
            for (int i = 0; i < 40000; i++) s += "window.open(";
            return s;
        }(),
        std::string(1 << 20, '\xFF'),
        "<!--" + std::string(1 << 20, '-'),
        "<a href='javascript:;' onClick='f(\"" + std::string(300, 'q') + "\")'>",
    };
    for (const std::string& html : cases) {
        ListReset();
        Analyse(html);
        EXPECT_EQ(ListCount(), 0) << html.substr(0, 40);
    }
}

TEST_F(PageScanTest, AnUnusablePageAddressStillTakesAbsoluteLinks) {
    EXPECT_EQ(Scan("<img src=rel.jpg><img src=http://h/abs.jpg>", "garbage"),
              std::vector<std::string>{"http://h/abs.jpg"});
}

}  // namespace
