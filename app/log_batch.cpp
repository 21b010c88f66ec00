#include "app/log_batch.h"

#include <cstring>

uint32_t ShowPaceDelay(const ShowPace* pace, uint32_t now, uint32_t period) {
    if (!pace->shown) return 0;
    // Unsigned: right across the tick count's wrap.
    uint32_t since = now - pace->last;
    return since >= period ? 0 : period - since;
}

void ShowPaceDone(ShowPace* pace, uint32_t now) {
    pace->shown = true;
    pace->last = now;
}

void LogBatchStart(LogBatch* batch) {
    batch->text[0] = '\0';
    batch->length = 0;
    batch->firstLine = true;
    batch->pace.shown = false;
    batch->pace.last = 0;
}

bool LogBatchAdd(LogBatch* batch, const char* line) {
    const size_t breakLength = batch->firstLine ? 0 : 2;
    const size_t lineLength = strlen(line);
    // A line longer than the whole batch is cut to fit an empty one.
    const size_t room = kLogBatchSize - 1 - breakLength;
    const size_t take = lineLength < room ? lineLength : room;
    if (batch->length + breakLength + take > kLogBatchSize - 1) return false;
    char* end = batch->text + batch->length;
    if (breakLength) memcpy(end, "\r\n", 2);
    memcpy(end + breakLength, line, take);
    batch->length += breakLength + take;
    batch->text[batch->length] = '\0';
    batch->firstLine = false;
    return true;
}

uint32_t LogBatchDelay(const LogBatch* batch, uint32_t now) {
    return ShowPaceDelay(&batch->pace, now, kLogBatchPeriod);
}

void LogBatchAppended(LogBatch* batch, uint32_t now) {
    batch->text[0] = '\0';
    batch->length = 0;
    ShowPaceDone(&batch->pace, now);
}

void LogBatchDrop(LogBatch* batch) {
    batch->text[0] = '\0';
    batch->length = 0;
}
