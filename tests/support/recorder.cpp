#include "tests/support/recorder.h"

#include <cstdlib>

#include "engine/report.h"

RecordedReports Reports;

static void RecordLine(const char* line) {
    Reports.log.push_back(line);
}
static void RecordShowNow() {
    Reports.logShown.push_back(Reports.log.size());
}
static void RecordCaption(const char* text) {
    Reports.captions.push_back(text);
}
static void RecordProgress(int pos) {
    Reports.progressPositions.push_back(pos);
}
static void RecordCommandState(int command, int enabled) {
    Reports.commandStates.push_back({command, enabled});
}
static void RecordHistory(const char* address) {
    Reports.history.push_back(address);
}
static void RecordHandOver(char* data, size_t size) {
    Reports.viewerBuffers.push_back(std::string(data, size));
    free(data);
}
static void RecordFrames(int logoFrame, int indicatorFrame) {
    Reports.engineFrames.push_back({logoFrame, indicatorFrame});
}
static void RecordDeleteAll() {
    Reports.viewDeleteAll++;
}
static void RecordDelete(int row) {
    Reports.viewDeletes.push_back(row);
}
static void RecordRedraw(int row) {
    Reports.viewRedraws.push_back(row);
}
static void RecordPublished(int count) {
    Reports.viewPublished.push_back(count);
}

static void InstallRecorders() {
    ReportTable table = {};
    table.logLine = RecordLine;
    table.showResultsNow = RecordShowNow;
    table.setCaption = RecordCaption;
    table.progressSetPos = RecordProgress;
    table.setCommandState = RecordCommandState;
    table.addToHistory = RecordHistory;
    table.viewerHandOver = RecordHandOver;
    table.drawEngineFrames = RecordFrames;
    table.viewDeleteAllItems = RecordDeleteAll;
    table.viewDeleteItem = RecordDelete;
    table.viewRedrawItem = RecordRedraw;
    table.viewPublishCount = RecordPublished;
    InstallReports(table);
}

static const bool RecordersInstalled = (InstallRecorders(), true);

void ClearReports() {
    Reports = RecordedReports();
    InstallRecorders();
}
