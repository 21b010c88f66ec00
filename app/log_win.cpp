#include "app/log_win.h"

#include <cstdarg>
#include <cstdio>

#include "app/main_state_win.h"
#include "app/version.h"
#include "engine/report.h"
#include "text/text.h"

// Set at program start, cleared by the first line: only the very first line
// goes in without a line break before it.
static bool FirstLine = true;

HWND CreateLogPane(HWND parent, HINSTANCE instance, HFONT font) {
    HWND log = CreateWindowExA(0, "EDIT", "",
                               WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE |
                                   ES_READONLY | ES_AUTOVSCROLL | ES_WANTRETURN,
                               0, 0, 0, 0, parent, (HMENU)0, instance, nullptr);
    if (!log) return nullptr;
    MainWindow.log = log;
    SendMessageA(log, EM_LIMITTEXT, kLogTextLimit, 0);
    LogAppend("%s", kBannerLine);
    SendMessageA(log, WM_SETFONT, (WPARAM)font, 0);
    return log;
}

void LogAppend(const char* format, ...) {
    HWND log = MainWindow.log;
    if (!log) return;
    // Formatted in full first, then cut on a character boundary: a cut never
    // leaves half a Shift_JIS character at the end of the line.
    char formatted[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(formatted, sizeof formatted, format, args);
    va_end(args);
    if (n < 0) formatted[0] = '\0';
    char line[kLogLineSize];
    CopyText(line, sizeof line, formatted);

    int end = GetWindowTextLengthA(log);
    SendMessageA(log, EM_SETSEL, end, end);
    if (!FirstLine) SendMessageA(log, EM_REPLACESEL, FALSE, (LPARAM) "\r\n");
    SendMessageA(log, EM_REPLACESEL, FALSE, (LPARAM)line);
    FirstLine = false;
}

void LogClear() {
    if (MainWindow.log) SetWindowTextA(MainWindow.log, "");
}
