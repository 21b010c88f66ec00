#include "engine/host_message.h"

#include <gtest/gtest.h>

#include <string>

static const char kCookie[] =
    R"({"name":"sid","value":"a b","domain":".example.test","path":"/","hostOnly":false,)"
    R"("secure":true,"httpOnly":true,"session":false,"expirationDate":1900000000.25,"sameSite":"lax"})";

// A page message with field replaced by text ("" drops it).
static std::string PageMessage(const std::string& field = "", const std::string& text = "") {
    const std::pair<std::string, std::string> fields[] = {
        {"kind", R"("page")"},
        {"url", R"("https://example.test/gallery")"},
        {"referrer", R"("https://example.test/")"},
        {"title", R"("\u30ae\u30e3\u30e9\u30ea\u30fc")"},
        {"userAgent", R"("Mozilla/5.0 Test")"},
        {"html", R"("<html>\n<img src=\"a.jpg\">\u0001</html>")"},
        {"pictures", R"(["https://cdn.example.test/1.jpg","http://cdn.example.test/2"])"},
        {"cookies", std::string("[") + kCookie + "]"},
        {"frames", R"([{"deep":[[1,2.5e3,null,true]]}])"},
    };
    std::string json = "{";
    for (const auto& f : fields) {
        const std::string& value = f.first == field ? text : f.second;
        if (value.empty()) continue;
        if (json.size() > 1) json += ",";
        json += "\"" + f.first + "\": " + value;
    }
    if (field != "" && json.find("\"" + field + "\"") == std::string::npos && !text.empty())
        json += ",\"" + field + "\":" + text;
    return json + "}";
}

TEST(HostMessage, PageMessageBecomesSnapshot) {
    Snapshot s;
    std::string json = PageMessage();
    ASSERT_EQ(ReadHostMessage(json.data(), json.size(), &s), MessageOk);
    EXPECT_EQ(s.kind, SnapshotPage);
    EXPECT_STREQ(s.address, "https://example.test/gallery");
    EXPECT_STREQ(s.referer, "https://example.test/");
    EXPECT_STREQ(s.title, "\xe3\x82\xae\xe3\x83\xa3\xe3\x83\xa9\xe3\x83\xaa\xe3\x83\xbc");
    EXPECT_STREQ(s.agent, "Mozilla/5.0 Test");
    EXPECT_EQ(s.html, "<html>\n<img src=\"a.jpg\"> </html>"); // \u0001 read as a blank
    ASSERT_EQ(s.pictures.size(), 2u);
    EXPECT_EQ(s.pictures[1], "http://cdn.example.test/2");
    ASSERT_EQ(s.cookies.size(), 1u);
    EXPECT_EQ(s.cookies[0], "#HttpOnly_.example.test\tTRUE\t/\tTRUE\t1900000000\tsid\ta b");
}

TEST(HostMessage, CookiesBecomeCookieLines) {
    const struct {
        const char* cookie;
        const char* line;
    } cases[] = {
        {R"({"name":"a","value":"1","domain":"www.example.test","path":"/p","hostOnly":true,"session":true})",
         "www.example.test\tFALSE\t/p\tFALSE\t0\ta\t1"},
        {R"({"name":"a","value":"","domain":"example.test","path":"/","expirationDate":0.5})",
         ".example.test\tTRUE\t/\tFALSE\t1\ta\t"},
        {R"({"name":"","value":"v","domain":"127.0.0.1","path":"/","hostOnly":true})",
         "127.0.0.1\tFALSE\t/\tFALSE\t0\t\tv"},
    };
    for (const auto& c : cases) {
        Snapshot s;
        std::string json = PageMessage("cookies", std::string("[") + c.cookie + "]");
        ASSERT_EQ(ReadHostMessage(json.data(), json.size(), &s), MessageOk) << c.cookie;
        ASSERT_EQ(s.cookies.size(), 1u);
        EXPECT_EQ(s.cookies[0], c.line);
    }
}

TEST(HostMessage, LinkAndPictureNeedNoMarkup) {
    for (const char* kind : {"link", "picture"}) {
        std::string json =
            std::string(R"({"kind":")") + kind +
            R"(","url":"http://example.test/a.jpg","referrer":"http://example.test/"})";
        Snapshot s;
        ASSERT_EQ(ReadHostMessage(json.data(), json.size(), &s), MessageOk) << kind;
        EXPECT_TRUE(s.html.empty());
    }
}

TEST(HostMessage, BadMessagesAreRefusedWhole) {
    const std::string longText(5000, 'x');
    const std::string longAddress = "\"https://example.test/" + std::string(2100, 'a') + "\"";
    std::string manyPictures = "[";
    for (int i = 0; i <= kSnapshotMaxPictures; i++)
        manyPictures += "\"http://a.test/\",";
    manyPictures.back() = ']';
    std::string manyCookies = "[";
    for (int i = 0; i <= kSnapshotMaxCookies; i++)
        manyCookies += std::string(kCookie) + ",";
    manyCookies.back() = ']';
    const std::string bigValue = R"([{"name":"a","domain":"a.test","path":"/","value":")" +
                                 std::string(kCookieValueSize, 'v') + "\"}]";
    const struct {
        std::string json;
        MessageFault fault;
    } cases[] = {
        {"", MessageBadLength},
        {"[]", MessageBadJson},
        {"{\"kind\":\"page\"", MessageBadJson},         // cut short
        {PageMessage().substr(0, 200), MessageBadJson}, // cut inside a string
        {PageMessage() + "x", MessageBadJson},          // more after the object
        {PageMessage("frames", std::string(40, '[') + std::string(40, ']')), MessageBadJson},
        {PageMessage("kind", "1"), MessageBadType},
        {PageMessage("kind", "\"video\""), MessageBadKind},
        {PageMessage("kind", ""), MessageMissing},
        {PageMessage("url", ""), MessageMissing},
        {PageMessage("html", ""), MessageMissing},
        {PageMessage("pictures", "\"https://a.test/\""), MessageBadType},
        {PageMessage("url", "\"file:///etc/passwd\""), MessageBadAddress},
        {PageMessage("url", "\"javascript:alert(1)\""), MessageBadAddress},
        {PageMessage("url", "\"https://a.test/\\u0000\""), MessageBadText},
        {PageMessage("url", longAddress), MessageBadAddress},
        {PageMessage("referrer", "\"data:text/html,x\""), MessageBadAddress},
        {PageMessage("pictures", "[\"blob:https://a.test/1\"]"), MessageBadAddress},
        {PageMessage("title", "\"" + longText + "\""), MessageTooLarge},
        {PageMessage("userAgent", "\"" + longText + "\""), MessageTooLarge},
        {PageMessage("title", "\"\xff\xfe\""), MessageBadText},
        {PageMessage("html", "\"<p>\xed\xa0\x80</p>\""), MessageBadText}, // an encoded surrogate
        {PageMessage("html", "\"<p>\\ud800</p>\""), MessageBadText},      // a lone escaped one
        {PageMessage("title", "\"a\tb\""), MessageBadText},               // raw control
        {PageMessage("pictures", manyPictures), MessageTooLarge},
        {PageMessage("cookies", manyCookies), MessageTooLarge},
        {PageMessage("cookies", bigValue), MessageBadCookie},
        {PageMessage("cookies", R"([{"name":"a","value":"1","path":"/"}])"), MessageBadCookie},
        {PageMessage("cookies", R"([{"name":"a","value":"1","domain":"a.test","path":"x"}])"),
         MessageBadCookie},
        {PageMessage("cookies", R"([{"name":"a\tb","value":"1","domain":"a.test","path":"/"}])"),
         MessageBadText},
        {PageMessage("cookies", R"([{"name":"a","value":"1\n","domain":"a.test","path":"/"}])"),
         MessageBadText},
        {PageMessage("cookies", R"([{"name":"a","value":"1","domain":"a test","path":"/"}])"),
         MessageBadCookie},
        {PageMessage(
             "cookies",
             R"([{"name":"a","value":"1","domain":"a.test","path":"/","expirationDate":-5}])"),
         MessageBadCookie},
        {PageMessage("cookies",
                     R"([{"name":"a","value":"1","domain":"a.test","path":"/","secure":1}])"),
         MessageBadCookie},
        {PageMessage("cookies", "[\"sid=1\"]"), MessageBadCookie},
    };
    for (const auto& c : cases) {
        Snapshot s;
        EXPECT_EQ(ReadHostMessage(c.json.data(), c.json.size(), &s), c.fault)
            << c.json.substr(c.json.size() > 300 ? c.json.size() - 300 : 0);
    }
}

TEST(HostMessage, FramesAreBounded) {
    const struct {
        unsigned char prefix[4];
        MessageFault fault;
        uint32_t length;
    } cases[] = {
        {{0x05, 0, 0, 0}, MessageOk, 5},           {{0, 0, 0, 0x04}, MessageOk, kHostMessageMax},
        {{0x01, 0, 0, 0x04}, MessageBadLength, 0}, {{0xff, 0xff, 0xff, 0xff}, MessageBadLength, 0},
        {{0, 0, 0, 0}, MessageBadLength, 0},
    };
    for (const auto& c : cases) {
        uint32_t length = 0;
        EXPECT_EQ(ReadMessageLength(c.prefix, &length), c.fault);
        EXPECT_EQ(length, c.length);
    }
    EXPECT_EQ(FrameHostReply(nullptr), std::string("\x0b\0\0\0{\"ok\":true}", 15));
    std::string reply = FrameHostReply("bad \"kind\"\n");
    EXPECT_EQ(reply.substr(4), "{\"error\":\"bad \\\"kind\\\"\\u000a\"}");
    EXPECT_EQ((size_t)(unsigned char)reply[0], reply.size() - 4);
    EXPECT_LT(FrameHostReply(std::string(2 * kHostReplyMax, 'e').c_str()).size(), kHostReplyMax);
}
