// What the core reports to the user interface. Ferrow.exe defines these in
// app/; the native tests define recorders for them in tests/support/.
#pragma once
#include <cstddef>

#include "engine/file_table.h"  // the table's requests to the file list view

// One printf-style line in the log pane.
void LogAppend(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows the log's lines and the list's rows at once. The log pane and the
// file list gather changes that come in quick succession and show them
// together a moment later; the end of a run is not kept waiting.
void ShowResultsNow();
// The main window's caption.
void SetCaption(const char* text);
// Progress bar in the status bar: range 0..total, position.
void ProgressSetRange(int total);
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
