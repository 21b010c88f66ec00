// What the core tells the user interface. The core calls the functions
// below; each forwards through one table of reports that the program
// installs once at start (app/) and a test installs to record. A report
// that is not installed does nothing.
#pragma once
#include <cstddef>

struct ReportTable {
    // One finished log line (already formatted, at most 4095 bytes).
    void (*logLine)(const char* line);
    void (*showResultsNow)();
    void (*setCaption)(const char* text);
    void (*progressSetPos)(int pos);
    void (*setCommandState)(int command, int enabled);
    void (*addToHistory)(const char* address);
    // Takes the malloc'ed buffer; the core frees it when this is not installed.
    void (*viewerHandOver)(char* data, size_t size);
    void (*drawEngineFrames)(int logoFrame, int indicatorFrame);
    // 1 when the engine window shows the logo (the toolbar is there).
    int (*engineLogoShown)();
    void (*viewDeleteAllItems)();
    void (*viewDeleteItem)(int row);  // the rows after it move up one
    void (*viewRedrawItem)(int row);
    void (*viewPublishCount)(int count);
    void (*viewSetRedraw)(int on);
};

// Copies the table; null entries are reports nobody listens to.
void InstallReports(const ReportTable& table);

// One printf-style line in the log pane.
void LogAppend(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows the log's lines and the list's rows at once. The log pane and the
// file list gather changes that come in quick succession and show them
// together a moment later; the end of a run is not kept waiting.
void ShowResultsNow();
// The main window's caption.
void SetCaption(const char* text);
// Progress bar in the status bar: its position.
void ProgressSetPos(int pos);
// Enables or disables a command in the menus and the toolbar (1 on, 0 off).
void SetCommandState(int command, int enabled);
// Puts an analysed address at the top of the URL history.
void AddToHistory(const char* address);
// Hands a fetched file to the viewer; ownership of data (malloc'ed) passes
// with the call, the viewer frees it.
void ViewerHandOver(char* data, size_t size);

// The engine's two animations, at every 100 ms tick: logo frame 0..16 in
// the engine window (26 x 25 pixels from the strip's offset 26 * frame),
// and activity indicator frame 0..2 (2 = idle) in the status bar's part 2,
// 2 pixels right of and below its corner, black transparent.
void DrawEngineFrames(int logoFrame, int indicatorFrame);
// Whether the engine window paints its logo frame now.
bool EngineLogoShown();

// Requests of the found-file table to the file list view (owner-data).
void ViewDeleteAllItems();
void ViewDeleteItem(int row);
void ViewRedrawItem(int row);
void ViewPublishCount(int count);
void ViewSetRedraw(int on);
