#include "engine/snapshot.h"

#include <gtest/gtest.h>

#include <cstring>

#include "text/text.h"

static Snapshot SamplePage() {
    Snapshot s;
    s.kind = SnapshotPage;
    CopyText(s.address, sizeof s.address, "https://example.test/gallery?id=3");
    CopyText(s.referer, sizeof s.referer, "https://example.test/");
    CopyText(s.title, sizeof s.title, "\xe3\x82\xae\xe3\x83\xa3\xe3\x83\xa9\xe3\x83\xaa\xe3\x83\xbc");  // UTF-8, as sent
    CopyText(s.agent, sizeof s.agent, "Mozilla/5.0 (X11; Linux x86_64) Chrome/156.0");
    s.html = "<html><body>\n<img src=\"a.jpg\">\n</body></html>";
    s.pictures = {"https://cdn.example.test/p/1", "https://cdn.example.test/p/2.webp"};
    s.cookies = {"example.test\tFALSE\t/\tTRUE\t0\tsession\tabc", "#HttpOnly_.example.test\tTRUE\t/\tFALSE\t1900000000\tid\t7"};
    return s;
}

TEST(Snapshot, WrittenSnapshotReadsBackWhole) {
    Snapshot page = SamplePage(), back;
    std::string file = WriteSnapshot(page);
    ASSERT_EQ(ReadSnapshot(file.data(), file.size(), &back), SnapshotOk);
    EXPECT_EQ(back.kind, SnapshotPage);
    EXPECT_STREQ(back.address, page.address);
    EXPECT_STREQ(back.referer, page.referer);
    EXPECT_STREQ(back.title, page.title);
    EXPECT_STREQ(back.agent, page.agent);
    EXPECT_EQ(back.html, page.html);
    EXPECT_EQ(back.pictures, page.pictures);
    EXPECT_EQ(back.cookies, page.cookies);

    Snapshot link;
    link.kind = SnapshotLink;
    CopyText(link.address, sizeof link.address, "http://example.test/next.html");
    file = WriteSnapshot(link);
    ASSERT_EQ(ReadSnapshot(file.data(), file.size(), &back), SnapshotOk);
    EXPECT_EQ(back.kind, SnapshotLink);
    EXPECT_TRUE(back.html.empty());
}

static std::string Field(const char* name, const std::string& value) {
    return std::string(name) + " " + std::to_string(value.size()) + "\n" + value + "\n";
}

TEST(Snapshot, BrokenFilesAreRefusedWhole) {
    const std::string good = WriteSnapshot(SamplePage());
    const std::string head = "FerrowSnapshot 1\n" + Field("kind", "page");
    const std::string address = Field("address", "http://a.test/"), markup = Field("html", "x");
    struct Case {
        std::string bytes;
        SnapshotFault fault;
    } cases[] = {
        {"", SnapshotBadLayout},
        {"FerrowSnapshot 2\n", SnapshotBadLayout},
        {good.substr(0, good.size() - 1), SnapshotBadLayout},    // last line end missing
        {good.substr(0, good.size() / 2), SnapshotBadLayout},    // cut inside a field
        {head + "address 99999999999\n", SnapshotBadLayout},     // count past every bound
        {head + "colour 3\nred\n", SnapshotBadLayout},          // unknown field
        {head + Field("kind", "link") + address, SnapshotBadLayout},  // kind twice
        {head + address, SnapshotMissing},  // a page without its markup
        {"FerrowSnapshot 1\n" + address, SnapshotMissing},
        {head + Field("address", "file:///etc/passwd") + markup, SnapshotBadAddress},
        {head + Field("address", "javascript:alert(1)") + markup, SnapshotBadAddress},
        {head + Field("address", "http://a.test/ b") + markup, SnapshotBadAddress},
        {head + address + Field("html", "\xc3\x28"), SnapshotBadText},
        {head + address + Field("html", "\xed\xa0\x80"), SnapshotBadText},  // a surrogate
        {head + address + markup + Field("title", "a\x01z"), SnapshotBadText},
        {head + address + markup + Field("picture", "ftp://a.test/b"), SnapshotBadAddress},
        {head + address + markup + Field("referer", "data:text/html,x"), SnapshotBadAddress},
    };
    for (const Case& c : cases) {
        Snapshot out;
        EXPECT_EQ(ReadSnapshot(c.bytes.data(), c.bytes.size(), &out), c.fault) << c.bytes;
    }
}

TEST(Snapshot, BoundsAreRefusedNotCut) {
    Snapshot s = SamplePage(), out;
    std::string longAddress = "https://a.test/" + std::string(kMaxAddress, 'x');
    s.pictures.push_back(longAddress);
    std::string file = WriteSnapshot(s);
    EXPECT_EQ(ReadSnapshot(file.data(), file.size(), &out), SnapshotTooLarge);

    s = SamplePage();
    s.cookies.assign(kSnapshotMaxCookies + 1, "a.test\tFALSE\t/\tFALSE\t0\tn\tv");
    EXPECT_EQ(CheckSnapshot(s), SnapshotTooLarge);
    file = WriteSnapshot(s);
    EXPECT_EQ(ReadSnapshot(file.data(), file.size(), &out), SnapshotTooLarge);

    s = SamplePage();
    s.cookies = {std::string(kSnapshotMaxCookieLine + 1, 'v')};
    EXPECT_EQ(CheckSnapshot(s), SnapshotTooLarge);
}
