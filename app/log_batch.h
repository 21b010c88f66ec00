// Log lines on their way to the log pane. Every append to the pane's edit
// control updates and redraws its scroll bar, which under Wine costs tens of
// milliseconds; lines that come in quick succession (a file done every few
// milliseconds) are gathered here and appended in one piece. A line after a
// quiet spell goes in at once; anyone reading the pane's text first gets
// what is gathered, so no reader ever sees the log behind.
#pragma once
#include <cstddef>
#include <cstdint>

// Something shown in quick succession (log lines, list rows) is shown at
// most once per period while changes keep coming, and at once after a quiet
// spell.
struct ShowPace {
    bool shown;    // last holds the tick of a showing
    uint32_t last; // tick of the last showing
};
// Milliseconds until the next showing is due: 0 when it may happen now.
uint32_t ShowPaceDelay(const ShowPace* pace, uint32_t now, uint32_t period);
void ShowPaceDone(ShowPace* pace, uint32_t now);

// Gathered text at most; a line that does not fit waits for the next batch.
constexpr size_t kLogBatchSize = 16384;
// Appends to the pane come at most this often (ms) while lines keep coming.
constexpr uint32_t kLogBatchPeriod = 100;

struct LogBatch {
    char text[kLogBatchSize]; // each line after a line break, but the log's very first
    size_t length;
    bool firstLine; // the next line is the log's very first
    ShowPace pace;  // of the appends to the pane
};

// The state at program start: empty, the first line still to come.
void LogBatchStart(LogBatch* batch);
// Gathers one line (a line break before it unless it is the log's very
// first); false when it does not fit beside what is gathered: append the
// batch, then add the line again.
bool LogBatchAdd(LogBatch* batch, const char* line);
// Milliseconds until the gathered text is due in the pane: 0 when it goes in
// now (nothing was appended for a whole period).
uint32_t LogBatchDelay(const LogBatch* batch, uint32_t now);
// The gathered text went into the pane at tick now: the batch is empty.
void LogBatchAppended(LogBatch* batch, uint32_t now);
// The log was emptied: what was gathered goes with it (the next line still
// starts with a line break).
void LogBatchDrop(LogBatch* batch);
