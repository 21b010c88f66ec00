// The engine's pace and bookkeeping over real sockets on 127.0.0.1: jobs
// that start on events, reception in large fills, sizes past 4 GiB, and
// results that find their own file's row however the list was re-sorted.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "app/list_sort.h"
#include "tests/engine/engine_fixture.h"
#include "text/text.h"

namespace {


// 4 GiB and a little: past every 32-bit count, and not a whole block.
constexpr int64_t kStreamSize = (int64_t{1} << 32) + 777;
constexpr int kBlock = 1 << 20;

// Block k of the fixture server's generated stream (tools/fixture_server.py).
void StreamBlock(uint64_t k, std::vector<unsigned char>& out) {
    out.resize(kBlock);
    for (int i = 0; i < kBlock; i++) out[i] = (unsigned char)((i * 131 + (i >> 8) * 7) & 255);
    memcpy(out.data(), &k, 8);  // little-endian on every machine we build for
}

// Files of the slow HEAD server: a size and a date each, answered after a
// pause so that the list can be re-sorted while the answers come in.
struct SlowFile {
    std::string name;
    std::string size;
    std::string date;  // as the size column shows it
    std::string header;
};
std::vector<SlowFile> SlowFiles() {
    std::vector<SlowFile> files;
    for (int i = 0; i < 12; i++) {
        char name[16], date[32], header[64];
        // Names sort one way, sizes another, so each sort moves every row.
        FormatText(name, sizeof name, "%c%02d.jpg", 'a' + (i * 5) % 12, i);
        FormatText(date, sizeof date, "1994/11/%02d 08:49:37", i + 1);
        FormatText(header, sizeof header, "Sun, %02d Nov 1994 08:49:37 GMT", i + 1);
        files.push_back({name, std::to_string(1000 + (i * 7) % 12 * 111), date, header});
    }
    return files;
}

std::string Routes() {
    std::string json = "{";
    json += Json("/stream.bin") + ": [" +
            Send(Head("200 OK", "Content-Length: " + std::to_string(kStreamSize) + "\r\n")) +
            ", {\"stream\": " + std::to_string(kStreamSize) + "}]";
    for (const SlowFile& f : SlowFiles()) {
        json += ",\n" + Json("/slow/" + f.name) + ": [{\"sleep\": 0.06}, " +
                Send(Head("200 OK", "Content-Length: " + f.size + "\r\nLast-Modified: " + f.header +
                                        "\r\n")) +
                "]";
    }
    json += ",\n" + Json("/wait/a.jpg") + ": [{\"hold\": \"wait-a\"}, " +
            Send(Head("200 OK", "Content-Length: 3\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 "
                                "GMT\r\n") + "AAA") + "]";
    json += ",\n" + Json("/wait/b.jpg") + ": [" +
            Send(Head("200 OK", "Content-Length: 4\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 "
                                "GMT\r\n") + "BBBB") + "]";
    json += ",\n" + Json("/new.html") + ": [" +
            Send(Head("200 OK") + "<a href=\"n1.jpg\">1</a><a href=\"n2.jpg\">2</a>") + "]";
    json += ",\n" + Json("*") + ": [" + Send(Head("200 OK", "Content-Length: 2\r\n") + "ok") + "]";
    return json + "}";
}

const auto* const kSuite = AddFixtureSuite(Routes);

std::string Url(const std::string& path) { return Fixture->Url(path); }

int ActiveOf(int32_t kind) {
    int32_t counts[5];
    CountActiveByKind(counts);
    return counts[kind];
}

// ---- Starts on events ----------------------------------------------------------

class StartTest : public EngineTest {};

TEST_F(StartTest, ManySmallFilesStartInListOrderAndArriveIntact) {
    TempFolder site;
    FileServer files;
    std::vector<std::string> bodies;
    for (int i = 0; i < 300; i++) {
        std::string body = "file " + std::to_string(i) + " ";
        while (body.size() < 2048) body += (char)('a' + (body.size() * 7 + i) % 26);
        bodies.push_back(body);
        WriteWholeFile(site.File(("f" + std::to_string(i) + ".jpg").c_str()), body);
    }
    ASSERT_TRUE(files.Start(site.path.string()));
    Options.Sockets = 10;
    Engine.DownloadBatchRunning = 1;
    std::vector<int> rows;
    for (int i = 0; i < 300; i++) {
        std::string address = files.Url("/f" + std::to_string(i) + ".jpg");
        rows.push_back(Row(address));
        OnDownload(address.c_str(), rows.back());
    }
    // The order in which jobs appear among the active ones is their start order.
    std::vector<std::string> started;
    std::set<std::string> seen;
    int mostActive = 0;
    auto watch = [&] {
        for (const Job& job : Engine.ActiveJobs)
            if (seen.insert(job.requested).second) started.push_back(job.requested);
        mostActive = std::max(mostActive, ActiveOf(KindDownload));
        return EngineIdle();
    };
    ASSERT_TRUE(RunEngineUntil(watch, 60000));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(mostActive, 10);
    ASSERT_EQ(started.size(), 300u);
    for (int i = 0; i < 300; i++)
        EXPECT_EQ(started[i], files.Url("/f" + std::to_string(i) + ".jpg")) << i;
    for (int i = 0; i < 300; i++) {
        std::string name = "f" + std::to_string(i) + ".jpg";
        EXPECT_EQ(Saved(name), bodies[i]) << name;
        EXPECT_STREQ(ListText(rows[i], ColSize), "2048") << name;
    }
    EXPECT_EQ(std::count(Reports.log.begin(), Reports.log.end(), SJ("ダウンロードが終了しました")), 1);
    EXPECT_EQ(Reports.log.size(), 301u);
}

TEST_F(StartTest, EndOfAJobStartsTheNextWithinTheSameEvent) {
    // One place: the second download can only start when the first ends.
    Options.Sockets = 1;
    OnDownload(Url("/one.jpg").c_str(), -1);
    OnDownload(Url("/two.jpg").c_str(), -1);
    int activeAtFirstEnd = -1;
    size_t ticksAtFirstEnd = 0;
    ASSERT_TRUE(RunEngineUntil(
        [&] {
            if (Engine.DownloadsDone == 1 && activeAtFirstEnd < 0) {
                activeAtFirstEnd = ActiveOf(KindDownload);
                ticksAtFirstEnd = Reports.engineFrames.size();
            }
            return Engine.DownloadsDone == 1;
        },
        5000));
    // Checked right after the event that completed the first download.
    EXPECT_EQ(activeAtFirstEnd, 1);
    EXPECT_TRUE(Engine.DownloadQueue.empty());
    EXPECT_EQ(Reports.engineFrames.size(), ticksAtFirstEnd);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("two.jpg"), "ok");
}

TEST_F(StartTest, QueuedWorkStartsBeforeAnyTick) {
    const size_t ticks = Reports.engineFrames.size();
    OnAnalysePage(Url("/new.html").c_str(), -1);
    OnAnalyseLink(Url("/second.html").c_str(), -1);
    OnFetch(Url("/f.jpg").c_str(), -1);
    for (int i = 0; i < 5; i++) OnDownload(Url("/d" + std::to_string(i) + ".jpg").c_str(), -1);
    for (int i = 0; i < 2; i++)
        Engine.HeadQueue.push_back(
            MakeRequest(KindHead, -1, 0, Url("/h" + std::to_string(i) + ".jpg").c_str()));
    RunEngineUntil([] { return !Engine.ActiveJobs.empty(); }, 1000);
    EXPECT_EQ(Reports.engineFrames.size(), ticks);
    // The tick's rules: one fetch, one analysis, one HEAD request, and as
    // many downloads as Sockets (3) allow, each from the front of its queue.
    EXPECT_EQ(ActiveOf(KindFetch), 1);
    EXPECT_EQ(ActiveOf(KindAnalyse), 1);
    EXPECT_EQ(ActiveOf(KindDownload), 3);
    EXPECT_EQ(ActiveOf(KindHead), 1);
    EXPECT_EQ(Engine.AnalysisQueue.size(), 1u);
    EXPECT_EQ(Engine.HeadQueue.size(), 1u);
    ASSERT_EQ(Engine.DownloadQueue.size(), 2u);
    EXPECT_EQ(std::string(Engine.DownloadQueue.front().address), Url("/d3.jpg"));
    ASSERT_TRUE(RunToIdle());
}

// The end of a run is told by the event that ends its last job, with no tick
// in between, and shown at once; runs of each kind, one after the other.
TEST_F(StartTest, EndOfARunIsToldByTheEventOfItsLastJob) {
    struct Run {
        const char* what;
        std::function<void()> start;
        std::string lastJobLine;
        std::string endLine;
    };
    const std::vector<Run> runs = {
        {"batch",
         [] {
             Engine.DownloadBatchRunning = 1;
             for (int i = 0; i < 4; i++)
                 OnDownload(Url("/r" + std::to_string(i) + ".jpg").c_str(), -1);
         },
         SJ("r3.jpg(2bytes)をダウンロードしました"), SJ("ダウンロードが終了しました")},
        {"analysis", [] { OnAnalysePage(Url("/new.html").c_str(), -1); },
         SJ("new.htmlを解析しました"), SJ("解析が終了しました")},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.what);
        Options.Sockets = 1; // the files end in list order
        ClearReports();
        run.start();
        bool endFollowed = false;
        ASSERT_TRUE(RunEngineUntil(
            [&] {
                if (!Logged(run.lastJobLine)) return false;
                // Checked after the very event that logged the last job's line.
                endFollowed = Reports.log.back() == run.endLine;
                return true;
            },
            5000));
        EXPECT_TRUE(endFollowed) << Reports.log.back();
        ASSERT_FALSE(Reports.logShown.empty());
        EXPECT_EQ(Reports.logShown.back(), Reports.log.size());
        ASSERT_TRUE(RunToIdle());
        EXPECT_EQ(std::count(Reports.log.begin(), Reports.log.end(), run.endLine), 1);
        EXPECT_EQ(Reports.log.back(), run.endLine);
    }
}

// ---- Large reads and 64-bit sizes ----------------------------------------------

class LargeTest : public EngineTest {};

TEST_F(LargeTest, StreamPastFourGiBIsSavedWholeWithItsRealSize) {
    const std::string address = Url("/stream.bin");
    int row = Row(address);
    OnDownload(address.c_str(), row);
    ASSERT_TRUE(RunToIdle(600000));
    const std::string count = std::to_string(kStreamSize);
    EXPECT_EQ(Reports.log, std::vector<std::string>{SJ("stream.bin(") + count +
                                                    SJ("bytes)をダウンロードしました")});
    EXPECT_EQ(ListText(row, ColSize), count);
    const std::string path = dl + "/stream.bin";
    ASSERT_EQ((int64_t)std::filesystem::file_size(path), kStreamSize);
    // Block by block against the generator, and one checksum over all.
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> expected, got(kBlock);
    uint64_t sumGot = 0, sumExpected = 0;
    int64_t left = kStreamSize;
    int badBlocks = 0;
    for (uint64_t k = 0; left > 0; k++) {
        size_t n = (size_t)std::min<int64_t>(left, kBlock);
        StreamBlock(k, expected);
        in.read((char*)got.data(), (std::streamsize)n);
        ASSERT_EQ((size_t)in.gcount(), n);
        if (memcmp(got.data(), expected.data(), n) != 0) badBlocks++;
        for (size_t i = 0; i + 8 <= n; i += 8) {
            uint64_t a, b;
            memcpy(&a, &got[i], 8);
            memcpy(&b, &expected[i], 8);
            sumGot = sumGot * 31 + a;
            sumExpected = sumExpected * 31 + b;
        }
        left -= (int64_t)n;
    }
    in.close();
    std::filesystem::remove(path);
    EXPECT_EQ(badBlocks, 0);
    EXPECT_EQ(sumGot, sumExpected);
}

// ---- Results find their row ------------------------------------------------------

class IdentityTest : public EngineTest {};

TEST_F(IdentityTest, HeadResultsLandOnTheirFilesWhileTheListIsResorted) {
    std::vector<SlowFile> files = SlowFiles();
    Options.HeadCheck = 1;
    for (const SlowFile& f : files) {
        int row = Row(Url("/slow/" + f.name));
        Engine.HeadQueue.push_back(MakeRequest(KindHead, row, 0, Url("/slow/" + f.name).c_str()));
    }
    RequestJobStarts();
    // Two sorts while answers are still coming in: by name, then by size.
    ASSERT_TRUE(RunEngineUntil([] { return Engine.HeadQueue.size() <= 8; }, 5000));
    SortFileTable(ColName, 2);
    ASSERT_TRUE(RunEngineUntil([] { return Engine.HeadQueue.size() <= 4; }, 5000));
    SortFileTable(ColSize, 1);
    ASSERT_TRUE(RunToIdle(10000));
    ASSERT_EQ(ListCount(), (int)files.size());
    std::map<std::string, const SlowFile*> byName;
    for (const SlowFile& f : files) byName[f.name] = &f;
    for (int row = 0; row < ListCount(); row++) {
        const SlowFile* f = byName.at(ListText(row, ColName));
        EXPECT_EQ(ListText(row, ColAddress), Url("/slow/" + f->name)) << row;
        EXPECT_EQ(ListText(row, ColSize), f->size) << f->name;
        EXPECT_EQ(ListText(row, ColDate), f->date) << f->name;
    }
}

TEST_F(IdentityTest, WaitingDownloadsOfAnOldListLeaveTheNewListAlone) {
    Options.Sockets = 1;
    int a = Row(Url("/wait/a.jpg"));
    int b = Row(Url("/wait/b.jpg"));
    OnDownload(Url("/wait/a.jpg").c_str(), a);
    OnDownload(Url("/wait/b.jpg").c_str(), b);
    RunEngineUntil([] { return ActiveOf(KindDownload) == 1; }, 1000);
    // A new analysis while b waits and a is under way: its rows take the
    // places 0 and 1 that a and b had.
    OnAnalysePage(Url("/new.html").c_str(), -1);
    ASSERT_TRUE(Fixture->Release("wait-a"));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("a.jpg"), "AAA");
    EXPECT_EQ(Saved("b.jpg"), "BBBB");
    ASSERT_EQ(ListCount(), 2);
    for (int row = 0; row < 2; row++) {
        EXPECT_EQ(ListText(row, ColName), "n" + std::to_string(row + 1) + ".jpg");
        EXPECT_STREQ(ListText(row, ColSize), "") << row;
        EXPECT_STREQ(ListText(row, ColDate), "") << row;
    }
}

TEST_F(IdentityTest, ResultForADroppedFileIsDropped) {
    int row = Row(Url("/x.jpg"));
    OnDownload(Url("/x.jpg").c_str(), row);
    ListReset();  // the file leaves the table before its download runs
    Row(Url("/other.jpg"));
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Saved("x.jpg"), "ok");
    EXPECT_STREQ(ListText(0, ColSize), "");
}

}  // namespace
