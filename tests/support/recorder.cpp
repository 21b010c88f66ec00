#include "tests/support/recorder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "engine/report.h"

RecordedReports Reports;

void ClearReports() { Reports = RecordedReports(); }

void LogAppend(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Reports.log.push_back(line);
}

void ShowResultsNow() {
    Reports.logShown.push_back(Reports.log.size());
}
void SetCaption(const char* text) { Reports.captions.push_back(text); }
void ProgressSetRange(int total) { Reports.progressRange = total; }
void ProgressSetPos(int pos) { Reports.progressPositions.push_back(pos); }
void SetCommandState(int command, int enabled) {
    Reports.commandStates.push_back({command, enabled});
}
void AddToHistory(const char* address) { Reports.history.push_back(address); }
void ViewerHandOver(char* data, size_t size) {
    Reports.viewerBuffers.push_back(std::string(data, size));
    free(data);
}
void ViewDeleteAllItems() { Reports.viewDeleteAll++; }
void ViewRedrawItem(int row) { Reports.viewRedraws.push_back(row); }
void ViewPublishCount(int count) { Reports.viewPublished.push_back(count); }
void ViewSetRedraw(int on) {}
void DrawEngineFrames(int logoFrame, int indicatorFrame) {
    Reports.engineFrames.push_back({logoFrame, indicatorFrame});
}
