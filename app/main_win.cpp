// Program entry of Ferrow.exe: single instance, start-up, message loop and
// orderly exit.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/commands_win.h"
#include "app/file_list_win.h"
#include "app/log_win.h"
#include "app/main_state_win.h"
#include "app/main_window_win.h"
#include "app/snapshot_file_win.h"
#include "app/status_bar_win.h"
#include "app/url_box_win.h"
#include "engine/engine_window_win.h"
#include "engine/net.h"
#include "engine/report.h"
#include "engine/snapshot.h"
#include "settings/browser_win.h"
#include "settings/options.h"
#include "settings/settings_dialog_win.h"
#include "text/address.h"
#include "text/text.h"
#include "viewer/viewer_win.h"

// A second start only brings the first instance to the front; its command
// line is dropped (addresses reach a running program by WM_COPYDATA), but
// for a snapshot, which the host may hand over while the first is starting.
static void ActivateFirstInstance(const char* snapshotPath) {
    HWND first = FindWindowA("FerrowClass", nullptr);
    for (int wait = 0; !first && snapshotPath[0] && wait < 100; wait++) {
        Sleep(100);
        first = FindWindowA("FerrowClass", nullptr);
    }
    if (!first) return;
    if (snapshotPath[0]) {
        COPYDATASTRUCT data = {kSnapshotCopyDataKind, (DWORD)(strlen(snapshotPath) + 1),
                               (void*)snapshotPath};
        SendMessageA(first, WM_COPYDATA, 0, (LPARAM)&data);
    }
    if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
}

static void RegisterLauncher() {
    char library[260];
    FormatText(library, sizeof library, "%s\\Ferrow.dll", ProgramFolder);
    if (!RegisterAutomationLibrary(library)) NoteRegistrationFailed();
}

// What the core and the viewer report lands in the main window's parts.
static void InstallMainWindowReports() {
    ReportTable table = {};
    table.logLine = LogPaneAppend;
    table.showResultsNow = ShowMainWindowResults;
    table.setCaption = SetMainCaption;
    table.progressSetPos = StatusProgressSetPos;
    table.setCommandState = [](int command, int enabled) { ShowCommandState(command, 0, enabled); };
    table.addToHistory = AddToUrlHistory;
    table.viewerHandOver = HandFileToViewer;
    table.drawEngineFrames = [](int logoFrame, int indicatorFrame) {
        DrawEngineLogo(MainWindow.engineWindow, logoFrame);
        DrawEngineIndicator(MainWindow.statusBar, indicatorFrame);
    };
    table.engineLogoShown = [] { return MainWindow.toolbar ? 1 : 0; };
    table.viewDeleteAllItems = ListViewDeleteAll;
    table.viewDeleteItem = ListViewDeleteRow;
    table.viewRedrawItem = ListViewRedrawRow;
    table.viewPublishCount = ListViewPublishCount;
    table.viewSetRedraw = ListViewSetRedraw;
    InstallReports(table);
    ViewerHost host = {};
    host.closeBoxUsed = UncheckViewerCommand;
    host.windowGone = [](HWND viewer) {
        if (MainWindow.viewer == viewer) MainWindow.viewer = nullptr;
    };
    InstallViewerHost(host);
}

static int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    char snapshotPath[MAX_PATH] = "";
    if (commandLine) SnapshotPathOfCommandLine(commandLine, snapshotPath, sizeof snapshotPath);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "FerrowMutex");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateFirstInstance(snapshotPath);
        if (mutex) CloseHandle(mutex);
        return 0;
    }
    InstallMainWindowReports();
    InitCommonControls();
    // OLE for the main window's drop target; without it only file drops work.
    HRESULT ole = OleInitialize(nullptr);
    char executable[260];
    GetModuleFileNameA(nullptr, executable, sizeof executable);
    FormProgramPaths(executable);
    RegisterLauncher();

    HWND window = nullptr;
    if (RegisterMainWindowClass(instance)) window = CreateMainWindow(instance);
    if (!window) {
        ReportStartupFailure();
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (!StartupSockets()) {
        DestroyWindow(window);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return 0;
    }
    MainWindow.barPen = CreatePen(PS_SOLID, 3, GetSysColor(COLOR_BTNSHADOW));
    if (Options.IEMenu == 1) RegisterBrowserMenuAndWarn();
    if (snapshotPath[0]) {
        if (IsHandedSnapshotPath(snapshotPath)) AnalyseSnapshotFile(snapshotPath);
    } else if (commandLine && commandLine[0]) {
        char address[kAddressInputSize];
        CopyText(address, sizeof address, commandLine);
        SetWindowTextA(MainWindow.urlEdit, address);
        SendAnalyseRequest(address);
    }
    int exitCode = RunMessageLoop();
    DeleteObject(MainWindow.barPen);
    ReleaseEngineFrames();
    CleanupSockets();
    if (SUCCEEDED(ole)) OleUninitialize();
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return exitCode;
}
