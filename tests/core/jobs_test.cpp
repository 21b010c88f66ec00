#include <gtest/gtest.h>

#include <string>

#include "engine/file_table.h"
#include "engine/jobs.h"
#include "engine/platform.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"

namespace {

class JobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        OnStopAll();
        Engine.VisitedPages.clear();
        ClearReports();
    }
    void TearDown() override { OnStopAll(); }
};

TEST_F(JobsTest, AnalysePageResetsEverythingButDownloads) {
    OnDownload("http://h/a.jpg", 3);
    OnAnalyseLink("http://h/old.html", 1);
    Engine.HeadQueue.push_back(MakeRequest(KindHead, 0, 0, "http://h/x.jpg"));
    OnFetch("http://h/f.jpg", 0);
    OnAnalysePage("http://h/top.html", -1);
    EXPECT_STREQ(Engine.TopPageAddress, "http://h/top.html");
    ASSERT_EQ(Engine.AnalysisQueue.size(), 1u);
    EXPECT_EQ(Engine.AnalysisQueue[0].top, 1);
    EXPECT_EQ(Engine.AnalysisQueue[0].kind, KindAnalyse);
    EXPECT_EQ(Engine.VisitedPages, std::vector<std::string>{"http://h/top.html"});
    EXPECT_TRUE(Engine.HeadQueue.empty());
    EXPECT_TRUE(Engine.FetchSlot.empty());
    EXPECT_EQ(Engine.DownloadQueue.size(), 1u);
    EXPECT_EQ(Engine.DownloadsQueued, 1);
    EXPECT_EQ(Engine.AnalysisRunning, 1);
    EXPECT_EQ(Reports.viewDeleteAll, 1);
}

TEST_F(JobsTest, LinksQueueInOrderAndAreRemembered) {
    OnAnalysePage("http://h/", -1);
    for (int i = 0; i < 5; i++) AddFoundFile(("http://h/" + std::to_string(i) + ".html").c_str(), -1, nullptr, 1);
    OnAnalyseLink("http://h/b.html", 4);
    ASSERT_EQ(Engine.AnalysisQueue.size(), 2u);
    EXPECT_EQ(Engine.AnalysisQueue[0].foundFile, kNoFileId);
    EXPECT_EQ(Engine.AnalysisQueue[1].foundFile, ListFileId(4));
    EXPECT_EQ(Engine.AnalysisQueue[1].top, 0);
    EXPECT_EQ(Engine.VisitedPages.back(), "http://h/b.html");
}

TEST_F(JobsTest, DownloadCountsAndResetsProgressOnFirst) {
    ListReset();
    for (int i = 0; i < 8; i++) AddFoundFile(("http://h/" + std::to_string(i) + ".jpg").c_str(), -1, nullptr, 1);
    OnDownload("http://h/1.jpg", -1);
    OnDownload("http://h/2.jpg", 7);
    OnDownload("http://h/3.jpg", 8);  // beyond the table: no file
    EXPECT_EQ(Engine.DownloadsQueued, 3);
    EXPECT_EQ(Reports.progressPositions, std::vector<int>{0});
    EXPECT_EQ(Engine.DownloadQueue[0].foundFile, kNoFileId);
    EXPECT_NE(Engine.DownloadQueue[1].foundFile, kNoFileId);
    EXPECT_EQ(Engine.DownloadQueue[1].foundFile, ListFileId(7));
    EXPECT_EQ(Engine.DownloadQueue[2].foundFile, kNoFileId);
}

TEST_F(JobsTest, SecondFetchReplacesTheWaitingOne) {
    OnFetch("http://h/1.jpg", 1);
    OnFetch("http://h/2.jpg", 2);
    ASSERT_EQ(Engine.FetchSlot.size(), 1u);
    EXPECT_STREQ(Engine.FetchSlot[0].address, "http://h/2.jpg");
}

TEST_F(JobsTest, LongAddressesAreRefusedWholeAndTheLimitFits) {
    std::string longAddress = "http://h/" + std::string(kMaxAddress, 'a');
    OnDownload(longAddress.c_str(), -1);
    EXPECT_TRUE(Engine.DownloadQueue.empty());
    EXPECT_EQ(Engine.DownloadsQueued, 0);
    std::string limit = "http://h/" + std::string(kMaxAddress - 9, 'b');
    OnDownload(limit.c_str(), -1);
    ASSERT_EQ(Engine.DownloadQueue.size(), 1u);
    EXPECT_EQ(std::string(Engine.DownloadQueue[0].address), limit);
}

TEST_F(JobsTest, StopDeletesHalfWrittenFilesAndKeepsVisited) {
    TempFolder dir;
    std::string path = dir.File("half.jpg");
    OnAnalysePage("http://h/", -1);
    OnDownload("http://h/half.jpg", -1);
    Job* job = AddActiveJob(Engine.DownloadQueue.front());
    Engine.DownloadQueue.pop_front();
    job->file = OpenTableFile(path.c_str());
    ASSERT_NE(job->file, kNoFile);
    ASSERT_EQ(FileWrite(job->file, "half", 4), 1);
    Engine.DownloadBatchRunning = 1;
    OnStopAll();
    EXPECT_EQ(FileSizeOf(path.c_str()), -1);
    EXPECT_TRUE(Engine.ActiveJobs.empty());
    EXPECT_EQ(Engine.DownloadsQueued, 0);
    EXPECT_EQ(Engine.DownloadsDone, 0);
    EXPECT_EQ(Engine.AnalysisRunning, 0);
    EXPECT_EQ(Engine.DownloadBatchRunning, 0);
    EXPECT_EQ(Engine.VisitedPages.size(), 1u);
    EXPECT_TRUE(Reports.log.empty());  // a stop logs nothing
    EXPECT_EQ(OpenFileTableCount(), 0);
}

TEST_F(JobsTest, FindsJobsBySocketLookupAndKind) {
    Job* a = AddActiveJob(MakeRequest(KindHead, 0, 0, "http://h/a"));
    Job* b = AddActiveJob(MakeRequest(KindDownload, 1, 0, "http://h/b"));
    Job* c = AddActiveJob(MakeRequest(KindDownload, 2, 0, "http://h/c"));
    a->lookup = 11;
    b->lookup = 12;
    EXPECT_EQ(FindJobByLookup(12), b);
    EXPECT_EQ(FindJobByLookup(kNoLookup), nullptr);
    EXPECT_EQ(FindJobBySocket(123), nullptr);
    int32_t counts[5];
    CountActiveByKind(counts);
    EXPECT_EQ(counts[KindDownload], 2);
    EXPECT_EQ(counts[KindHead], 1);
    EXPECT_EQ(counts[KindAnalyse], 0);
    EXPECT_TRUE(AnyActive(KindHead));
    EXPECT_FALSE(AnyActive(KindFetch));
    a->lookup = kNoLookup;  // nothing real to cancel
    b->lookup = 12;
    EndJob(b);
    // Ended, not yet freed: the record stays readable for its caller, but
    // no look-up or count finds it any more.
    ASSERT_EQ(Engine.ActiveJobs.size(), 3u);
    EXPECT_EQ(b->ended, 1);
    EXPECT_EQ(b->lookup, kNoLookup);
    EXPECT_EQ(FindJobByLookup(12), nullptr);
    CountActiveByKind(counts);
    EXPECT_EQ(counts[KindDownload], 1);
    EndJob(b);  // a second end changes nothing
    ReleaseEndedJobs();
    ASSERT_EQ(Engine.ActiveJobs.size(), 2u);
    EXPECT_EQ(&Engine.ActiveJobs.front(), a);  // others stay where they were
    EXPECT_EQ(&Engine.ActiveJobs.back(), c);
}

TEST_F(JobsTest, OpenFileTableRefusesTheFileBeyondItsSlots) {
    TempFolder dir;
    std::vector<FileHandle> files;
    for (int i = 0; i < kOpenFileSlots; i++) {
        FileHandle f = OpenTableFile(dir.File(("f" + std::to_string(i)).c_str()).c_str());
        ASSERT_NE(f, kNoFile) << i;
        files.push_back(f);
    }
    std::string extra = dir.File("extra");
    EXPECT_EQ(OpenTableFile(extra.c_str()), kNoFile);
    EXPECT_EQ(FileSizeOf(extra.c_str()), -1);  // the one too many is not even created
    CloseTableFile(files[0]);
    EXPECT_EQ(FileSizeOf(dir.File("f0").c_str()), 0);  // closed, kept
    FileHandle again = OpenTableFile(extra.c_str());
    EXPECT_NE(again, kNoFile);
    files[0] = again;
    for (FileHandle f : files) CloseAndDeleteTableFile(f);
    EXPECT_EQ(FileSizeOf(extra.c_str()), -1);
    EXPECT_EQ(OpenFileTableCount(), 0);
    EXPECT_EQ(OpenTableFile(dir.File("missing/dir/x").c_str()), kNoFile);
    EXPECT_EQ(OpenFileTableCount(), 0);
}

}  // namespace
