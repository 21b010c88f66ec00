// Pictures without an extension: where the scan says only a picture can
// stand, which addresses lack an extension, and what an answer's type makes
// of them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/page_scan.h"
#include "engine/picture_type.h"

namespace {

TEST(PictureTypeTest, ScanMarksReferencesWherePicturesStand) {
    const struct {
        const char* html;
        bool picture;
    } cases[] = {
        {"<img src=\"p\">", true},
        {"<img alt=x srcset=\"p 1x, q 2x\">", true},
        {"<img data-src=\"p\">", true},
        {"<picture><source srcset=\"p\"></picture>", true},
        {"<source src=\"p\" type=\"image/webp\">", true},
        {"<video><source src=\"p\" type=\"video/mp4\"></video>", false},
        {"<video src=\"v\" poster=\"p\">", true},
        {"<meta property=\"og:image\" content=\"p\">", true},
        {"<meta property=\"og:video\" content=\"p\">", false},
        {"<meta name=\"twitter:image\" content=\"p\">", true},
        {"<link rel=\"icon\" href=\"p\">", true},
        {"<div style=\"background:url(p)\">", true},
        {"<script type=\"application/ld+json\">{\"image\": \"p\"}</script>", true},
        {"<a href=\"p\">", false},
        {"<iframe src=\"p\">", false},
        {"<embed src=\"p\">", false},
        {"<img src=\"p\" width=\"1\" height=\"1\">", false},
        {"<img src=\"p\" width=0 height=\"0px\">", false},
        {"<img src=\"p\" width=\"1\" height=\"10\">", true},
    };
    ScanSettings settings{false, CharsetUnknown};
    for (const auto& c : cases) {
        PageScan scan;
        ScanPage(c.html, strlen(c.html), "http://h/d/page.html", settings, &scan);
        ASSERT_FALSE(scan.references.empty()) << c.html;
        EXPECT_EQ(scan.references.back().picture, c.picture) << c.html;
    }
}

TEST(PictureTypeTest, AddressesWithoutExtension) {
    const struct {
        const char* address;
        bool none;
    } cases[] = {
        {"http://h/avatar/cc6f7a?s=48", true},   {"https://h/image/upload/v1/abc", true},
        {"http://h/media/AbC?format=jpg", true}, {"http://h/a.jpg?x", false},
        {"http://h/dir/", false},                {"http://h.example.com", false},
        {"http://h/", false},                    {"http://h/p#a.b", true},
    };
    for (const auto& c : cases) EXPECT_EQ(HasNoPathExtension(c.address), c.none) << c.address;
}

TEST(PictureTypeTest, AnswerTypesAndTypedAddresses) {
    TypeFilter filter{};
    filter.jpg = filter.webp = filter.png = true;
    const struct {
        const char* type;
        PictureAnswer answer;
        const char* extension;
    } cases[] = {
        {"image/jpeg", PictureTyped, "jpg"},      {"IMAGE/PNG; charset=x", PictureTyped, "png"},
        {" image/webp", PictureTyped, "webp"},    {"image/gif", PictureUnticked, ""},
        {"image/avif", PictureUnticked, ""},      {"image/tiff", PictureUnticked, ""},
        {"image/jpegx", PictureUnticked, ""},     {"text/html", PictureNot, ""},
        {"", PictureNot, ""},                     {"application/octet-stream", PictureNot, ""},
    };
    for (const auto& c : cases) {
        char extension[8] = "junk";
        EXPECT_EQ(JudgePictureAnswer(c.type, filter, extension, sizeof extension), c.answer)
            << c.type;
        EXPECT_STREQ(extension, c.extension) << c.type;
    }
    char out[kAddressBufferSize];
    ASSERT_TRUE(TypedAddress("http://h/a/cc6f?s=48#f", "jpg", out, sizeof out));
    EXPECT_STREQ(out, "http://h/a/cc6f.jpg?s=48#f");
    ASSERT_TRUE(TypedAddress("http://h/abc", "webp", out, sizeof out));
    EXPECT_STREQ(out, "http://h/abc.webp");
    std::string longest = "http://h/" + std::string(kMaxAddress - 9 - 3, 'a');
    EXPECT_TRUE(TypedAddress(longest.c_str(), "jp", out, sizeof out));
    EXPECT_FALSE(TypedAddress(longest.c_str(), "jpg", out, sizeof out));
}

} // namespace
