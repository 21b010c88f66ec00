// The log pane's gathering of lines: line breaks, room, and when the
// gathered text is due.
#include <gtest/gtest.h>

#include <string>

#include "app/log_batch.h"

namespace {

std::string Text(const LogBatch& batch) {
    return std::string(batch.text, batch.length);
}

TEST(LogBatchTest, LinesGatherWithABreakBeforeAllButTheLogsFirst) {
    static LogBatch batch;
    LogBatchStart(&batch);
    ASSERT_TRUE(LogBatchAdd(&batch, "banner"));
    ASSERT_TRUE(LogBatchAdd(&batch, "one"));
    EXPECT_EQ(Text(batch), "banner\r\none");
    // Appended to the pane: the next line still needs its break.
    LogBatchAppended(&batch, 1000);
    EXPECT_EQ(Text(batch), "");
    ASSERT_TRUE(LogBatchAdd(&batch, "two"));
    ASSERT_TRUE(LogBatchAdd(&batch, ""));
    EXPECT_EQ(Text(batch), "\r\ntwo\r\n");
    // The log was cleared: what waited goes, and the next line, no longer
    // the log's first, comes after a break.
    LogBatchDrop(&batch);
    EXPECT_EQ(Text(batch), "");
    ASSERT_TRUE(LogBatchAdd(&batch, "after"));
    EXPECT_EQ(Text(batch), "\r\nafter");
    EXPECT_EQ(batch.text[batch.length], '\0');
}

TEST(LogBatchTest, ALineThatDoesNotFitWaitsForTheNextBatch) {
    static LogBatch batch;
    LogBatchStart(&batch);
    const std::string line(255, 'x');
    size_t lines = 0;
    while (LogBatchAdd(&batch, line.c_str()))
        lines++;
    // Every line but the first takes its break; the refused one left no trace.
    EXPECT_EQ(lines, (kLogBatchSize - 1 + 2) / (line.size() + 2));
    EXPECT_EQ(batch.length, lines * (line.size() + 2) - 2);
    EXPECT_GT(batch.length + 2 + line.size(), kLogBatchSize - 1);
    EXPECT_EQ(batch.text[batch.length], '\0');
    LogBatchAppended(&batch, 0);
    ASSERT_TRUE(LogBatchAdd(&batch, line.c_str()));
    EXPECT_EQ(Text(batch), "\r\n" + line);
    // Longer than a whole batch: cut to fit an empty one, never past it.
    LogBatchAppended(&batch, 0);
    const std::string huge(kLogBatchSize * 2, 'y');
    ASSERT_TRUE(LogBatchAdd(&batch, huge.c_str()));
    EXPECT_EQ(batch.length, kLogBatchSize - 1);
    EXPECT_EQ(Text(batch), "\r\n" + huge.substr(0, kLogBatchSize - 3));
}

TEST(LogBatchTest, GatheredTextIsDueOncePerPeriod) {
    struct Case {
        bool appended;
        uint32_t lastAppend;
        uint32_t now;
        uint32_t delay;
    };
    const Case cases[] = {
        {false, 0, 12345, 0},                        // nothing appended yet: now
        {true, 1000, 1000, kLogBatchPeriod},         // just appended: a whole period
        {true, 1000, 1030, kLogBatchPeriod - 30},    // the rest of the period
        {true, 1000, 1000 + kLogBatchPeriod - 1, 1}, //
        {true, 1000, 1000 + kLogBatchPeriod, 0},     // a quiet period: now
        {true, 1000, 900000, 0},                     //
        {true, 0xFFFFFFF0u, 0xFFFFFFF0u + 40, kLogBatchPeriod - 40}, // across the wrap
        {true, 0xFFFFFFF0u, 200, 0},                                 //
    };
    static LogBatch batch;
    for (const Case& c : cases) {
        LogBatchStart(&batch);
        if (c.appended) LogBatchAppended(&batch, c.lastAppend);
        EXPECT_EQ(LogBatchDelay(&batch, c.now), c.delay) << c.lastAppend << " " << c.now;
    }
}

} // namespace
