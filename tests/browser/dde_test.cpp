// The address of a running browser's page over DDE, against stand-in
// browsers in processes of their own, and the split of their replies.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/browser_reply.h"
#include "settings/browser_win.h"
#include "tests/browser/dde_stub_runner.h"

namespace {

const int kReplySize = 260;

TEST(BrowserDde, AnsweringBrowserGivesItsQuotedReply) {
    StubBrowser browser("IEXPLORE", "http://127.0.0.1:8080/ie.html");
    ASSERT_TRUE(browser.Started());
    char reply[kReplySize];
    ASSERT_EQ(1, GetBrowserUrlByDde("IEXPLORE", reply, sizeof reply));
    EXPECT_STREQ("\"http://127.0.0.1:8080/ie.html\",\"IEXPLORE page\",\"0\"", reply);
}

TEST(BrowserDde, ServiceThatNobodyOffersGivesNothing) {
    StubBrowser browser("OPERA", "http://127.0.0.1:8080/opera.html");
    ASSERT_TRUE(browser.Started());
    char reply[kReplySize];
    memset(reply, 'z', sizeof reply);
    EXPECT_EQ(0, GetBrowserUrlByDde("NETSCAPE", reply, sizeof reply));
    EXPECT_STREQ("", reply);
    EXPECT_EQ(1, GetBrowserUrlByDde("OPERA", reply, sizeof reply));
}

TEST(BrowserDde, OverlongUnterminatedReplyIsCutAndTerminated) {
    StubBrowser browser("OPERA", "-", 400);
    ASSERT_TRUE(browser.Started());
    char reply[kReplySize + 8];
    memset(reply, 'z', sizeof reply);
    ASSERT_EQ(1, GetBrowserUrlByDde("OPERA", reply, kReplySize));
    EXPECT_EQ(std::string(kReplySize - 1, 'x'), std::string(reply));
    EXPECT_EQ('z', reply[kReplySize]);  // nothing written past the buffer
}

struct SplitCase {
    const char* reply;
    const char* address;  // what the outputs hold afterwards ("-" untouched)
    const char* title;
    const char* third;
};

TEST(SplitQuotedReply, Table) {
    const SplitCase cases[] = {
        {"\"http://a/\",\"Title\",\"0\"", "http://a/", "Title", "0"},
        {"\"http://a/\",\"\"", "http://a/", "", "-"},
        {"\"http://a/\",\"Title\"", "http://a/", "Title", "-"},
        {"\"http://a/\"", "http://a/", "-", "-"},          // ends right after the quote
        {"\"http://a/\",", "http://a/", "-", "-"},         // the next field never opens
        {"\"http://a/", "-", "-", "-"},                     // unterminated first field
        {"", "-", "-", "-"},
        {"\"a\"b\",\"t\"", "a", ",", "-"},  // a quote inside ends the field; the next starts 3 on
        {"\"\",\"t\",\"3\"", "", "t", "3"},
    };
    for (const SplitCase& row : cases) {
        char address[16] = "-", title[16] = "-", third[16] = "-";
        SplitQuotedReply(row.reply, address, sizeof address, title, sizeof title, third, sizeof third);
        EXPECT_STREQ(row.address, address) << row.reply;
        EXPECT_STREQ(row.title, title) << row.reply;
        EXPECT_STREQ(row.third, third) << row.reply;
    }
}

TEST(SplitQuotedReply, OutputsAreBoundedAndMayBeAbsent) {
    char address[8];
    SplitQuotedReply("\"http://127.0.0.1/long\",\"t\"", address, sizeof address, nullptr, 0, nullptr, 0);
    EXPECT_STREQ("http://", address);
    SplitQuotedReply("\"x\",\"t\",\"3\"", nullptr, 0, nullptr, 0, nullptr, 0);
}

}  // namespace
