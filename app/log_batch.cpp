#include "app/log_batch.h"

#include <cstring>

void LogBatchStart(LogBatch* batch) {
    batch->text[0] = '\0';
    batch->length = 0;
    batch->firstLine = true;
    batch->appended = false;
    batch->lastAppend = 0;
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
    if (!batch->appended) return 0;
    // Unsigned: right across the tick count's wrap.
    uint32_t since = now - batch->lastAppend;
    return since >= kLogBatchPeriod ? 0 : kLogBatchPeriod - since;
}

void LogBatchAppended(LogBatch* batch, uint32_t now) {
    batch->text[0] = '\0';
    batch->length = 0;
    batch->appended = true;
    batch->lastAppend = now;
}

void LogBatchDrop(LogBatch* batch) {
    batch->text[0] = '\0';
    batch->length = 0;
}
