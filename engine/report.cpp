#include "engine/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

static ReportTable Installed = {};

void InstallReports(const ReportTable& table) {
    Installed = table;
}

void LogAppend(const char* format, ...) {
    if (!Installed.logLine) return;
    char line[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) line[0] = '\0';
    Installed.logLine(line);
}

void ShowResultsNow() {
    if (Installed.showResultsNow) Installed.showResultsNow();
}

void SetCaption(const char* text) {
    if (Installed.setCaption) Installed.setCaption(text);
}

void ProgressSetPos(int pos) {
    if (Installed.progressSetPos) Installed.progressSetPos(pos);
}

void SetCommandState(int command, int enabled) {
    if (Installed.setCommandState) Installed.setCommandState(command, enabled);
}

void AddToHistory(const char* address) {
    if (Installed.addToHistory) Installed.addToHistory(address);
}

void ViewerHandOver(char* data, size_t size) {
    if (Installed.viewerHandOver)
        Installed.viewerHandOver(data, size);
    else
        free(data);
}

void DrawEngineFrames(int logoFrame, int indicatorFrame) {
    if (Installed.drawEngineFrames) Installed.drawEngineFrames(logoFrame, indicatorFrame);
}

bool EngineLogoShown() {
    return Installed.engineLogoShown && Installed.engineLogoShown() != 0;
}

void ViewDeleteAllItems() {
    if (Installed.viewDeleteAllItems) Installed.viewDeleteAllItems();
}

void ViewDeleteItem(int row) {
    if (Installed.viewDeleteItem) Installed.viewDeleteItem(row);
}

void ViewRedrawItem(int row) {
    if (Installed.viewRedrawItem) Installed.viewRedrawItem(row);
}

void ViewPublishCount(int count) {
    if (Installed.viewPublishCount) Installed.viewPublishCount(count);
}

void ViewSetRedraw(int on) {
    if (Installed.viewSetRedraw) Installed.viewSetRedraw(on);
}
