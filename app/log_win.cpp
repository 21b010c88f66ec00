#include "app/log_win.h"

#include "app/file_list_win.h"
#include "app/log_batch.h"
#include "app/main_state_win.h"
#include "engine/report.h"
#include "resources/version.h"
#include "text/text.h"

// Apart from any timer the edit control sets for itself.
static const UINT_PTR kLogBatchTimer = 0x4C47;

// Lines wait here for the pane (see log_batch.h); set at program start, so
// only the very first line goes in without a line break before it.
static LogBatch Batch;
static bool BatchReady = false;
static bool BatchTimerSet = false;
static bool Appending = false; // the append's own messages read the text
static WNDPROC EditProc = nullptr;

static LogBatch& PendingLines() {
    if (!BatchReady) {
        LogBatchStart(&Batch);
        BatchReady = true;
    }
    return Batch;
}

static void StopBatchTimer(HWND log) {
    if (!BatchTimerSet) return;
    KillTimer(log, kLogBatchTimer);
    BatchTimerSet = false;
}

// Appends what is gathered at the end of the pane's text.
static void AppendBatch(HWND log) {
    LogBatch& batch = PendingLines();
    StopBatchTimer(log);
    if (batch.length == 0 || Appending) return;
    Appending = true;
    int end = GetWindowTextLengthA(log);
    SendMessageA(log, EM_SETSEL, end, end);
    SendMessageA(log, EM_REPLACESEL, FALSE, (LPARAM)batch.text);
    LogBatchAppended(&batch, GetTickCount());
    Appending = false;
}

static void CALLBACK OnBatchTimer(HWND log, UINT, UINT_PTR, DWORD) {
    BatchTimerSet = false;
    AppendBatch(log);
}

// Whoever reads the pane's text as a whole (copying it, other programs)
// reads all of it. Messages about single lines keep to the lines shown.
static bool ReadsText(UINT message) {
    return message == WM_GETTEXT || message == WM_GETTEXTLENGTH || message == EM_GETHANDLE ||
           message == WM_COPY;
}

static LRESULT CALLBACK LogPaneProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ReadsText(message)) AppendBatch(log);
    if (message == WM_DESTROY) StopBatchTimer(log);
    return CallWindowProcA(EditProc, log, message, wParam, lParam);
}

HWND CreateLogPane(HWND parent, HINSTANCE instance, HFONT font) {
    HWND log = CreateWindowExA(0, "EDIT", "",
                               WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE |
                                   ES_READONLY | ES_AUTOVSCROLL | ES_WANTRETURN,
                               0, 0, 0, 0, parent, (HMENU)0, instance, nullptr);
    if (!log) return nullptr;
    EditProc = (WNDPROC)SetWindowLongPtrA(log, GWLP_WNDPROC, (LONG_PTR)LogPaneProc);
    MainWindow.log = log;
    SendMessageA(log, EM_LIMITTEXT, kLogTextLimit, 0);
    LogAppend("%s", kBannerLine);
    SendMessageA(log, WM_SETFONT, (WPARAM)font, 0);
    return log;
}

void LogPaneAppend(const char* formatted) {
    HWND log = MainWindow.log;
    if (!log) return;
    // The line comes formatted in full; it is cut on a character boundary:
    // a cut never leaves half a Shift_JIS character at the end of the line.
    char line[kLogLineSize];
    CopyText(line, sizeof line, formatted);

    LogBatch& batch = PendingLines();
    if (!LogBatchAdd(&batch, line)) {
        AppendBatch(log);
        LogBatchAdd(&batch, line);
    }
    uint32_t delay = LogBatchDelay(&batch, GetTickCount());
    if (delay == 0) {
        AppendBatch(log);
    } else if (!BatchTimerSet) {
        BatchTimerSet = SetTimer(log, kLogBatchTimer, delay, OnBatchTimer) != 0;
        if (!BatchTimerSet) AppendBatch(log);
    }
}

void LogShowNow() {
    if (MainWindow.log) AppendBatch(MainWindow.log);
}

// The rows first: whoever sees a run's end line sees its rows.
void ShowMainWindowResults() {
    ListShowNow();
    LogShowNow();
}

void LogClear() {
    if (!MainWindow.log) return;
    StopBatchTimer(MainWindow.log);
    LogBatchDrop(&PendingLines());
    SetWindowTextA(MainWindow.log, "");
}
