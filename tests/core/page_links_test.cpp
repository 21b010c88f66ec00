#include <gtest/gtest.h>

#include <string>

#include "analysis/links.h"
#include "analysis/page_charset.h"
#include "engine/page_links.h"
#include "tests/core/analysis_fixture.h"

namespace {

// A link as a page writes it, resolved against base and handed to the engine
// the way AnalysePage hands over each reference of a scan.
void HandleLink(const char* link, const char* base) {
    char clean[kAddressBufferSize];
    char address[kAddressBufferSize];
    bool relative = false;
    if (ResolveWrittenLink(link, base, clean, sizeof clean, address, sizeof address, &relative))
        TakeReference(clean, address, relative);
}

// What becomes of references, seen through what reaches the engine and the table.
class HandleLinkTest : public AnalysisTest {};

TEST_F(HandleLinkTest, ListsFollowsAndQueuesHeadRequests) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    StartTopPage("http://host/a/top.html");
    HandleLink("sub/next.html", "http://host/a/");
    HandleLink("pic.jpg", "http://host/a/");
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"http://host/a/sub/next.html", "http://host/a/pic.jpg"}));
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/a/sub/next.html", 0}}));
    EXPECT_EQ(Engine.AnalysisQueue[0].top, 0);
    EXPECT_EQ(Engine.VisitedPages,
              (std::vector<std::string>{"http://host/a/top.html", "http://host/a/sub/next.html"}));
    EXPECT_EQ(Queued(Engine.HeadQueue),
              (Requests{{"http://host/a/sub/next.html", 0}, {"http://host/a/pic.jpg", 1}}));
    EXPECT_EQ(Engine.HeadQueue[1].kind, KindHead);
}

TEST_F(HandleLinkTest, FilesRememberTheirPageForHeadAndDownload) {
    Options.HeadCheck = 1;
    StartTopPage("https://host/a/top.html");
    CopyText(Engine.AnalysedPage, sizeof Engine.AnalysedPage, "https://host/a/top.html");
    HandleLink("pic.jpg", "https://host/a/");
    HandleLink("//cdn.example/i.jpg", "https://host/a/");
    Engine.AnalysedPage[0] = '\0';
    ASSERT_EQ(Listed(),
              (std::vector<std::string>{"https://host/a/pic.jpg", "https://cdn.example/i.jpg"}));
    ASSERT_EQ(Engine.HeadQueue.size(), 2u);
    for (int row = 0; row < 2; row++) {
        EXPECT_STREQ(Engine.HeadQueue[row].referer, "https://host/a/top.html");
        EXPECT_STREQ(ListText(row, ColPage), "https://host/a/top.html");
    }
    // A download of a listed row carries the page; one without a row none.
    OnDownload(ListText(1, ColAddress), 1);
    OnDownload("https://host/b.jpg", -1);
    ASSERT_EQ(Engine.DownloadQueue.size(), 2u);
    EXPECT_STREQ(Engine.DownloadQueue[0].referer, "https://host/a/top.html");
    EXPECT_STREQ(Engine.DownloadQueue[1].referer, "");
    OnStopAll();
}

TEST_F(HandleLinkTest, KnownAddressesAreDropped) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    StartTopPage("http://host/a/top.html");
    HandleLink("top.html", "http://host/a/"); // its job is active
    HandleLink("x.jpg", "http://host/a/");
    HandleLink("./x.jpg", "http://host/a/");
    HandleLink("http://host/a/x.jpg", "http://host/a/");
    HandleLink("X.jpg", "http://host/a/"); // case matters
    Engine.AnalysisQueue.push_back(MakeRequest(KindAnalyse, -1, 0, "http://host/a/q.html"));
    HandleLink("q.html", "http://host/a/");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"http://host/a/x.jpg", "http://host/a/X.jpg"}));
    EXPECT_EQ(Engine.HeadQueue.size(), 2u);
}

TEST_F(HandleLinkTest, TopPageAndVisitedPagesAreListedButNotQueuedAgain) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    StartTopPage("http://host/top.html");
    EndJob(&Engine.ActiveJobs.front()); // now scanning a followed page
    Engine.VisitedPages.push_back("http://host/seen.html");
    HandleLink("../top.html", "http://host/sub/");
    HandleLink("/seen.html", "http://host/sub/");
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"http://host/top.html", "http://host/seen.html"}));
    EXPECT_TRUE(Engine.AnalysisQueue.empty());
}

TEST_F(HandleLinkTest, OnlyRelativePagesAreFollowed) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    StartTopPage("http://host/top.html");
    HandleLink("http://host/abs.html", "http://host/");
    HandleLink("//host/proto.html", "http://host/");
    HandleLink("/rooted.htm", "http://host/");
    HandleLink("dir/", "http://host/");
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/rooted.htm", 2}}));
    EXPECT_EQ(ListCount(), 4);
}

TEST_F(HandleLinkTest, FollowingWithoutListingPages) {
    Options.HTM = 0;
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    StartTopPage("http://host/top.html");
    HandleLink("next.html", "http://host/");
    HandleLink("next.html", "http://host/");
    EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/next.html", -1}}));
    // No row to show a size in: no HEAD request, however often it is named.
    EXPECT_TRUE(Engine.HeadQueue.empty());
}

TEST_F(HandleLinkTest, ListingPagesWithoutFollowing) {
    Options.HTM = 1;
    Options.InternalLinks = 0;
    StartTopPage("http://host/top.html");
    HandleLink("next.html", "http://host/");
    EXPECT_EQ(Listed(), std::vector<std::string>{"http://host/next.html"});
    EXPECT_TRUE(Engine.AnalysisQueue.empty());
}

TEST_F(HandleLinkTest, DroppedLinksReachNothing) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    Options.HeadCheck = 1;
    StartTopPage("http://host/top.html");
    const char* links[] = {"javascript:;",      "mailto:a@b.jpg", "a.txt", "",
                           "ftp://host/p.html", "https:///a.jpg"};
    for (const char* link : links)
        HandleLink(link, "http://host/");
    HandleLink("  \t", "http://host/");
    // Longer than an address may be: it would be listed cut.
    std::string longName(kMaxAddress - 12 - 4 + 1, 'n');
    HandleLink((longName + ".jpg").c_str(), "http://host/");
    EXPECT_EQ(ListCount(), 0);
    EXPECT_TRUE(Engine.AnalysisQueue.empty());
    EXPECT_TRUE(Engine.HeadQueue.empty());
    std::string fits(kMaxAddress - 12 - 4, 'n');
    HandleLink((fits + ".jpg").c_str(), "http://host/");
    EXPECT_EQ(ListCount(), 1);
}

TEST_F(HandleLinkTest, DuplicateTestFollowsATableThatWasEmptied) {
    Options.HeadCheck = 1;
    StartTopPage("http://host/top.html");
    HandleLink("a.jpg", "http://host/");
    ListReset();
    HandleLink("a.jpg", "http://host/");
    EXPECT_EQ(Listed(), std::vector<std::string>{"http://host/a.jpg"});
    // The engine rewrites a row between pages; the next page sees it.
    ListSetText(0, ColAddress, "http://host/b.jpg");
    PrepareLinkChecks();
    HandleLink("a.jpg", "http://host/");
    HandleLink("b.jpg", "http://host/");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"http://host/b.jpg", "http://host/a.jpg"}));
}

TEST_F(HandleLinkTest, VisitedTestFollowsANewAnalysis) {
    Options.HTM = 0;
    Options.InternalLinks = 1;
    StartTopPage("http://host/top.html");
    HandleLink("p.html", "http://host/");
    StartTopPage("http://host/top.html");
    HandleLink("p.html", "http://host/");
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/p.html", -1}}));
}

TEST_F(HandleLinkTest, FollowedPagesAreCappedPerAnalysis) {
    Options.HTM = 0;
    Options.InternalLinks = 1;
    StartTopPage("http://host/top.html");
    while (Engine.VisitedPages.size() < kMaxFollowedPages - 1)
        Engine.VisitedPages.push_back("http://host/v" + std::to_string(Engine.VisitedPages.size()));
    HandleLink("last.html", "http://host/");
    HandleLink("over.html", "http://host/");
    EXPECT_EQ(Queued(Engine.AnalysisQueue), (Requests{{"http://host/last.html", -1}}));
}

TEST_F(HandleLinkTest, AFullTableListsNothingAndQueuesNoHead) {
    Options.HeadCheck = 1;
    StartTopPage("http://host/top.html");
    for (int i = 0; i < kFileTableRows; i++)
        AddFoundFile(("http://o/" + std::to_string(i)).c_str(), -1, nullptr, 1);
    HandleLink("a.jpg", "http://host/");
    EXPECT_EQ(ListCount(), kFileTableRows);
    EXPECT_TRUE(Engine.HeadQueue.empty());
}

// Within a page the engine looks queued and fetched addresses up in a set
// made for the page; it must answer as the queues themselves do, also for
// pages the page itself queues.
TEST_F(HandleLinkTest, QueuedAndFetchedAddressesAreKnownWithinAPage) {
    Options.HTM = 1;
    Options.InternalLinks = 1;
    StartTopPage("http://host/top.html");
    Engine.AnalysisQueue.push_back(MakeRequest(KindAnalyse, -1, 0, "http://host/queued.html"));
    AddActiveJob(MakeRequest(KindDownload, -1, 0, "http://host/asked.jpg"));
    Job* moved = AddActiveJob(MakeRequest(KindDownload, -1, 0, "http://host/old.jpg"));
    CopyText(moved->address, sizeof moved->address, "http://host/moved.jpg");
    Job* ended = AddActiveJob(MakeRequest(KindDownload, -1, 0, "http://host/ended.jpg"));
    EndJob(ended);
    const char page[] = "<a href=top.html><a href=queued.html><a href=asked.jpg>"
                        "<a href=old.jpg><a href=moved.jpg><a href=next.html><a href=next.html>"
                        "<a href=ended.jpg><img src=next.html>";
    AnalysePage(page, sizeof page - 1, "http://host/top.html", CharsetUnknown);
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"http://host/next.html", "http://host/ended.jpg"}));
    EXPECT_EQ(Queued(Engine.AnalysisQueue),
              (Requests{{"http://host/queued.html", -1}, {"http://host/next.html", 0}}));
    // After the page the queues are asked again: the new entry is known.
    HandleLink("queued.html", "http://host/");
    HandleLink("next.html", "http://host/");
    EXPECT_EQ(ListCount(), 2);
}

// Rows that sorting exchanged are still found without a new page: a hit on a
// row that holds another address makes the look-up start afresh.
TEST_F(HandleLinkTest, DuplicateTestFollowsExchangedRows) {
    StartTopPage("http://host/top.html");
    for (const char* link : {"a.jpg", "b.jpg", "c.jpg"})
        HandleLink(link, "http://host/");
    ListSwapRows(0, 2);
    for (const char* link : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        HandleLink(link, "http://host/");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"http://host/c.jpg", "http://host/b.jpg",
                                                  "http://host/a.jpg", "http://host/d.jpg"}));
}

} // namespace
