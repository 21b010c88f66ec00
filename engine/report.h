// What the core reports to the user interface. Ferrow.exe defines these in
// app/; the native tests define recorders for them in tests/support/.
#pragma once
#include <cstddef>

// One printf-style line in the log pane.
void LogAppend(const char* format, ...) __attribute__((format(printf, 1, 2)));
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

// Requests of the found-file table to the file list view.
void ViewDeleteAllItems();
void ViewRedrawItem(int row);
void ViewPublishCount(int count);
void ViewSetRedraw(int on);
