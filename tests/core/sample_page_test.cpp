// A page written the way today's sites write them (tests/analysis/pages),
// scanned alone and then taken by the engine into the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/page_charset.h"
#include "analysis/page_scan.h"
#include "engine/page_links.h"
#include "tests/core/analysis_fixture.h"

namespace {

const char kPage[] = "http://www.example.jp/travel/spring/index.html";

std::string ReadSample(const char* name) {
    std::string path = std::string(FERROW_SOURCE_DIR) + "/tests/analysis/pages/" + name;
#ifdef _WIN32
    path = "Z:" + path; // Wine's drive for the Unix root
#endif
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    return text;
}

class SamplePageTest : public AnalysisTest {};

TEST_F(SamplePageTest, EveryReferenceOfAModernPage) {
    std::string html = ReadSample("gallery_utf8.html");
    ASSERT_FALSE(html.empty());
    PageScan scan;
    ScanPage(html.data(), html.size(), kPage, ScanSettings{false, CharsetUnknown}, &scan);
    const std::string site = "http://www.example.jp/";
    const std::string here = site + "travel/spring/";
    const std::vector<std::pair<ReferenceKind, std::string>> expected = {
        {RefMeta, "https://cdn.example.jp/og/spring.jpg"},
        {RefMeta, site + "og/spring-1200.jpg"},
        {RefMeta, "http://img.example.jp/tw/spring.png"},
        {RefIcon, site + "favicon-32.png"},
        {RefIcon, site + "apple-touch-icon.png"},
        {RefIcon, site + "img/hero@2x.jpg"},
        {RefStyle, site + "img/hero-bg.jpg"},
        {RefStyle, site + "travel/icons/new.gif"},
        {RefAnchor, site},
        {RefImage, site + "img/logo.png"},
        {RefAnchor, site + "travel/index.html"},
        {RefAnchor, here + "album/2.html"},
        {RefStyle, site + "img/hero-main.jpg"},
        {RefAnchor, here + "photos/%E5%86%99%E7%9C%9F1.jpg"},
        {RefSrcset, here + "thumbs/p1-960.webp"},
        {RefLazy, here + "thumbs/p1-960.jpg"},
        {RefSrcset, here + "thumbs/p1-1920.jpg"},
        {RefAnchor, here + "photos/%E5%AF%BA.jpg"},
        {RefImage, here + "thumbs/p2.jpg"},
        {RefSrcset, here + "thumbs/p2@2x.jpg"},
        {RefLazy, here + "photos/p3-large.png"},
        {RefLazy, here + "ignored.png"},
        {RefLazy, here + "photos/p4.gif"},
        {RefMedia, here + "video/trip-poster.jpg"},
        {RefMedia, here + "video/trip.mp4"},
        {RefMedia, here + "video/trip.webm"},
        {RefMedia, here + "audio/bird.mp3"},
        {RefMedia, here + "flash/old.swf"},
        {RefMedia, here + "docs/map.pdf"},
        {RefAnchor, here + "download.cgi?file=spring&type=zip&n=1"},
        {RefAnchor, "https://secure.example.jp/shop.html"},
        {RefFrame, here + "map/embed.html"},
        // A script without language is markup to the scan, as it always was.
        {RefImage, here + "written-by-script.jpg"},
        {RefScript, here + "photos/popup.jpg"},
        {RefImage, site + "img/footer-%E3%83%AD%E3%82%B4.png"},
    };
    std::vector<std::pair<ReferenceKind, std::string>> got;
    for (const PageReference& ref : scan.references)
        got.push_back({ref.kind, ReferenceAddress(scan, ref)});
    EXPECT_EQ(got, expected);
    EXPECT_EQ(scan.charset, CharsetUtf8);
    // 写真ギャラリー &mdash; 春の旅 in Shift_JIS
    EXPECT_STREQ(scan.title, "\x8E\xCA\x90\x5E\x83\x4D\x83\x83\x83\x89\x83\x8A\x81\x5B &mdash; "
                             "\x8F\x74\x82\xCC\x97\xB7");
}

TEST_F(SamplePageTest, TheEngineListsItsFilesUnderReadableNames) {
    std::string html = ReadSample("gallery_utf8.html");
    ASSERT_FALSE(html.empty());
    Options.GIF = Options.PNG = 1;
    Options.HTM = 1;
    Options.ThumbNail = 1;
    CopyText(Options.Extension, sizeof Options.Extension, "webp mp4");
    StartTopPage(kPage);
    AnalysePage(html.data(), html.size(), kPage, CharsetUnknown);
    std::vector<std::string> names;
    for (int row = 0; row < ListCount(); row++)
        names.push_back(ListText(row, ColName));
    const std::vector<std::string> expected = {
        "spring.jpg",
        "spring-1200.jpg",
        "spring.png",
        "favicon-32.png",
        "apple-touch-icon.png",
        "hero@2x.jpg",
        "hero-bg.jpg",
        "new.gif",
        "index.htm",
        "index.html",
        "2.html",
        "hero-main.jpg",
        "\x8E\xCA\x90\x5E"
        "1.jpg",        // 写真1.jpg: thumbnails in its link stay out
        "\x8E\x9B.jpg", // 寺.jpg
        "p3-large.png",
        "ignored.png",
        "p4.gif",
        "trip-poster.jpg",
        "trip.mp4",
        "shop.html",
        "embed.html",
        "written-by-script.jpg",
        "popup.jpg",
        "footer-\x83\x8D\x83\x53.png"};
    EXPECT_EQ(names, expected);
    ASSERT_EQ(Reports.captions.size(), 1u);
    EXPECT_EQ(Reports.captions[0],
              "\x8E\xCA\x90\x5E\x83\x4D\x83\x83\x83\x89\x83\x8A\x81\x5B &mdash; "
              "\x8F\x74\x82\xCC\x97\xB7 - Ferrow");
}

// Pages modelled on what publishing systems write; beside each, the
// pictures an HTML5 parser finds on it (tools/html5-pictures.py, checked by
// the html5_pictures test). Every one of them is listed.
TEST_F(SamplePageTest, EveryPictureAnHtml5ParserFindsIsListed) {
    const char kArticle[] = "http://news.example/section/article.html";
    for (const char* page : {"reach_image_styles", "reach_blog"}) {
        std::string html = ReadSample((std::string(page) + ".html").c_str());
        std::string pictures = ReadSample((std::string(page) + ".pictures").c_str());
        ASSERT_FALSE(html.empty() || pictures.empty()) << page;
        ListReset();
        Options.JPG = Options.GIF = Options.PNG = Options.NoExtImages = 1;
        StartTopPage(kArticle);
        AnalysePage(html.data(), html.size(), kArticle, CharsetUnknown);
        std::vector<std::string> listed = Listed();
        size_t count = 0;
        for (size_t at = 0, end; (end = pictures.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string picture = pictures.substr(at, end - at);
            count++;
            EXPECT_NE(std::find(listed.begin(), listed.end(), picture), listed.end())
                << page << ": " << picture;
        }
        EXPECT_GE(count, 15u) << page;
    }
}

} // namespace
