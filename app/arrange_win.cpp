#include "app/arrange_win.h"

#include <windows.h>
#include <commctrl.h>

#include "app/layout.h"
#include "app/main_state_win.h"
#include "settings/options.h"

static void Place(HWND window, const LayoutRect& r) {
    if (window) MoveWindow(window, r.x, r.y, r.width, r.height, TRUE);
}

// The size in WM_SIZE is not used: the client rectangle is read afresh, so
// any part can ask for a layout by sending WM_SIZE.
void ArrangeChildren() {
    MainWindowState& m = MainWindow;
    RECT client;
    GetClientRect(m.mainWindow, &client);
    LayoutInput in;
    in.width = client.right;
    in.height = client.bottom;
    in.toolbarHeight = m.toolbar ? m.toolbarHeight : 0;
    in.urlBoxHeight = m.urlBoxHeight;
    in.statusHeight = m.statusHeight;
    in.listRatio = m.listRatio;
    in.viewerRatio = m.viewerRatio;
    in.viewerDocked = m.viewer && Options.ViewerDialog == 0;
    LayoutResult out = ComputeLayout(in);

    Place(m.listLogBar, out.listLogBar);
    if (m.toolbar) {
        RECT own;
        GetWindowRect(m.toolbar, &own);
        MoveWindow(m.toolbar, 0, 0, out.toolbar.width, own.bottom - own.top, TRUE);
    }
    // The toolbar control keeps itself as wide as the window, so the logo is
    // kept above it.
    if (m.engineWindow) {
        const LayoutRect& e = out.engineWindow;
        SetWindowPos(m.engineWindow, HWND_TOP, e.x, e.y, e.width, e.height, 0);
    }
    Place(m.urlBox, out.urlBox);
    if (m.statusBar) {
        RECT own;
        GetWindowRect(m.statusBar, &own);
        MoveWindow(m.statusBar, out.statusBar.x, out.statusBar.y, own.right - own.left,
                   own.bottom - own.top, TRUE);
        SendMessageA(m.statusBar, WM_SIZE, 0, 0); // a status bar sizes itself to its parent
        SendMessageA(m.statusBar, SB_SETPARTS, 4, (LPARAM)out.statusEdges);
        RECT part;
        SendMessageA(m.statusBar, SB_GETRECT, 1, (LPARAM)&part);
        MoveWindow(m.progressBar, part.left, part.top, part.right - part.left,
                   part.bottom - part.top, TRUE);
    }
    Place(m.fileList, out.fileList);
    Place(m.log, out.log);
    if (in.viewerDocked) {
        Place(m.logViewerBar, out.logViewerBar);
        Place(m.viewer, out.viewer);
    }
}
