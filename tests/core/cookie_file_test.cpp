// cookies.txt in the Netscape layout: which lines become cookies, and where
// the file is looked for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/cookie_file.h"
#include "engine/cookies.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"
#include "text/text.h"

namespace {

constexpr int64_t kNow = 1700000000;

int Read(const std::string& text) {
    return ReadCookieText(text.data(), text.size(), kNow);
}

std::string HeaderFor(const char* host, const char* path, bool secure = false) {
    char out[4096];
    CookieHeaderFor(host, path, secure, kNow, out, sizeof out);
    return out;
}

class CookieFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearCookies(); }
    void TearDown() override { ClearCookies(); }
};

TEST_F(CookieFileTest, LinesAndWhatBecomesOfThem) {
    const struct {
        const char* line;
        int stored;
    } cases[] = {
        {"# Netscape HTTP Cookie File", 0},
        {"", 0},
        {"   ", 0},
        {"host.example\tFALSE\t/\tFALSE\t0\thost\t1", 1},
        {".site.example\tTRUE\t/\tFALSE\t1900000000\tdomain\t2", 1},
        {"#HttpOnly_.site.example\tTRUE\t/p\tFALSE\t0\thttponly\t3", 1},
        {"site.example\tTRUE\t/\tTRUE\t0\tsecure\t4", 1},
        {"site.example\ttrue\t/\tfalse\t0\tlower\t5", 1},
        {"site.example\tTRUE\t/\tFALSE\t0\tempty\t", 1},
        {"site.example\tTRUE\t/\tFALSE\t1600000000\texpired\t6", 0},
        {"site.example\tTRUE\t/\tFALSE\t0\tsix-fields", 0},
        {"site.example\tTRUE\t/\tFALSE\t0\tn\tv\textra", 0},
        {"site.example\tYES\t/\tFALSE\t0\tflag\t7", 0},
        {"site.example\tTRUE\t/\tFALSE\t-1\tnegative\t8", 0},
        {"site.example\tTRUE\t/\tFALSE\t12ab\tdigits\t9", 0},
        {"site.example\tTRUE\tnoslash\tFALSE\t0\tpath\t10", 0},
        {"\tTRUE\t/\tFALSE\t0\tnodomain\t11", 0},
        {"site.example\tTRUE\t/\tFALSE\t0\t\t12", 0},
        {".co.jp\tTRUE\t/\tFALSE\t0\tsuffix\t13", 0},
        {"site.example\tTRUE\t/\tFALSE\t0\tsemi\tv;w", 0},
        {"site.example TRUE / FALSE 0 spaces 14", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.line), c.stored) << c.line;
    EXPECT_EQ(HeaderFor("host.example", "/"), "host=1");
    EXPECT_EQ(HeaderFor("sub.host.example", "/"), ""); // FALSE: that host alone
    EXPECT_EQ(HeaderFor("www.site.example", "/p/q"), "httponly=3; domain=2; lower=5; empty=");
    EXPECT_EQ(HeaderFor("site.example", "/", true), "domain=2; secure=4; lower=5; empty=");
    for (int i = 0; i < Cookies.count; i++) {
        const Cookie& c = Cookies.cookies[i];
        EXPECT_EQ(c.httpOnly, strcmp(c.name, "httponly") == 0) << c.name;
        EXPECT_EQ(c.expires, strcmp(c.name, "domain") == 0 ? 1900000000 : kSessionCookie) << c.name;
    }
}

TEST_F(CookieFileTest, WholeFilesInEitherLineEndAndBadBytes) {
    const std::string lines[] = {
        "# comment",
        "a.example\tFALSE\t/\tFALSE\t0\tone\t1",
        "garbage line",
        "127.0.0.1\tTRUE\t/\tFALSE\t0\tip\t2",
        "a.example\tFALSE\t/\tFALSE\t0\tone\t3", // replaces the first
    };
    for (const char* end : {"\n", "\r\n"}) {
        ClearCookies();
        std::string text;
        for (const auto& l : lines)
            text += l + end;
        EXPECT_EQ(Read(text), 3) << "line end " << (end[0] == '\r' ? "CRLF" : "LF");
        EXPECT_EQ(HeaderFor("a.example", "/"), "one=3");
        // An address takes a cookie for itself only, whatever the flag says.
        EXPECT_EQ(HeaderFor("127.0.0.1", "/"), "ip=2");
        EXPECT_EQ(HeaderFor("1.127.0.0.1", "/"), "");
    }
    // The last line needs no line end; a NUL inside a field spoils that line only.
    ClearCookies();
    static const char kNulLine[] = "b.example\tFALSE\t/\tFALSE\t0\tnul\tx\0y\n";
    std::string text =
        std::string(kNulLine, sizeof kNulLine - 1) + "b.example\tFALSE\t/\tFALSE\t0\tlast\t1";
    EXPECT_EQ(Read(text), 1);
    EXPECT_EQ(HeaderFor("b.example", "/"), "last=1");
    // Over-long fields are refused, not cut.
    EXPECT_EQ(Read("b.example\tFALSE\t/\tFALSE\t0\tlong\t" + std::string(kCookieValueSize, 'v')),
              0);
    EXPECT_EQ(Read(std::string(kCookieDomainSize, 'd') + "\tFALSE\t/\tFALSE\t0\tn\tv"), 0);
}

TEST(CookieFilePath, AbsoluteOrFromTheProgramFolder) {
    const struct {
        const char* setting;
        const char* path;
    } cases[] = {
        {"", ""},
        {"cookies.txt", "C:\\Ferrow\\cookies.txt"},
        {"sub\\c.txt", "C:\\Ferrow\\sub\\c.txt"},
        {"D:\\data\\c.txt", "D:\\data\\c.txt"},
        {"d:c.txt", "d:c.txt"},
        {"\\\\server\\share\\c.txt", "\\\\server\\share\\c.txt"},
        {"/home/u/c.txt", "/home/u/c.txt"},
    };
    for (const auto& c : cases) {
        char out[260];
        CookieFilePath(c.setting, "C:\\Ferrow", out, sizeof out);
        EXPECT_STREQ(out, c.path) << c.setting;
    }
}

TEST_F(CookieFileTest, LoadingLogsTheCountOrTheFailure) {
    TempFolder dir;
    std::string file = dir.File("cookies.txt");
    WriteWholeFile(file,
                   "c.example\tFALSE\t/\tFALSE\t0\ta\t1\nc.example\tFALSE\t/\tFALSE\t0\tb\t2\n"
                   "c.example\tFALSE\t/\tFALSE\t1\told\t3\n");
    CopyText(ProgramFolder, sizeof ProgramFolder, dir.path.string().c_str());
    ClearReports();
    Options.CookieFile[0] = '\0';
    LoadCookieFile();
    EXPECT_TRUE(Reports.log.empty()) << "no file named, nothing said";
    CopyText(Options.CookieFile, sizeof Options.CookieFile, file.c_str());
    LoadCookieFile();
    ASSERT_EQ(Reports.log.size(), 1u);
    EXPECT_EQ(Reports.log[0], "クッキーファイル" + file + "から2個のクッキーを読み込みました");
    EXPECT_EQ(HeaderFor("c.example", "/"), "a=1; b=2");
    CopyText(Options.CookieFile, sizeof Options.CookieFile, "missing.txt");
    LoadCookieFile();
    ASSERT_EQ(Reports.log.size(), 2u);
    EXPECT_EQ(Reports.log[1],
              "err:クッキーファイル" + dir.path.string() + "\\missing.txtを読み込めませんでした");
    Options.CookieFile[0] = '\0';
}

} // namespace
