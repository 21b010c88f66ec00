// The log pane: a read-only multi-line edit below the file list.
#pragma once
#include <windows.h>

constexpr int kLogTextLimit = 512000;
constexpr int kLogLineSize = 256; // 255 characters and the terminator

// Creates the log, limits its text, writes the banner line and sets the font.
HWND CreateLogPane(HWND parent, HINSTANCE instance, HFONT font);
// Adds a formatted line (cut to kLogLineSize - 1 bytes) to the pane's batch.
void LogPaneAppend(const char* formatted);
// Shows the lines gathered for the pane now (see log_batch.h).
void LogShowNow();
// The list's rows, then the log's lines, shown now.
void ShowMainWindowResults();
// Empties the log; the next line still starts with a line break.
void LogClear();
