#include "app/splitter_win.h"

#include <cstring>

#include "app/arrange_win.h"
#include "app/layout.h"
#include "app/main_state_win.h"

// One drag at a time, whichever bar it is on.
struct SplitterDragState {
    bool dragging;
    bool lineDrawn;
    POINT last; // screen coordinates
};

static SplitterDragState Drag;

static bool IsUpDownBar(HWND bar) {
    char name[32];
    GetClassNameA(bar, name, sizeof name);
    return strcmp(name, "VLineClass") == 0;
}

// XOR line on the main window through the screen point, across the bar.
static void DrawDragLine(HWND bar, POINT screen) {
    HWND main = MainWindow.mainWindow;
    POINT p = screen;
    ScreenToClient(main, &p);
    RECT r;
    GetWindowRect(bar, &r);
    MapWindowPoints(nullptr, main, (POINT*)&r, 2);
    HDC dc = GetDC(main);
    int oldRop = SetROP2(dc, R2_XORPEN);
    HGDIOBJ oldPen = SelectObject(dc, MainWindow.barPen ? (HGDIOBJ)MainWindow.barPen
                                                        : GetStockObject(BLACK_PEN));
    if (IsUpDownBar(bar)) {
        MoveToEx(dc, r.left, p.y, nullptr);
        LineTo(dc, r.right, p.y);
    } else {
        MoveToEx(dc, p.x, r.top, nullptr);
        LineTo(dc, p.x, r.bottom);
    }
    SelectObject(dc, oldPen);
    SetROP2(dc, oldRop);
    ReleaseDC(main, dc);
}

static void OnCreate() {
    Drag.dragging = false;
}

static void OnLButtonDown(HWND bar) {
    if (Drag.dragging) return;
    Drag.dragging = true;
    SetCapture(bar);
    GetCursorPos(&Drag.last);
}

static void ClientSize(int* widthOut, int* heightOut) {
    RECT client;
    GetClientRect(MainWindow.mainWindow, &client);
    *widthOut = client.right;
    *heightOut = client.bottom;
}

static void OnMouseMove(HWND bar) {
    if (!Drag.dragging) return;
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(MainWindow.mainWindow, &p);
    int W, H;
    ClientSize(&W, &H);
    p.x = ClampSplitterX(p.x, W);
    p.y = ClampSplitterY(p.y, H, MainWindow.statusHeight);
    if (Drag.lineDrawn) DrawDragLine(bar, Drag.last);
    ClientToScreen(MainWindow.mainWindow, &p);
    DrawDragLine(bar, p);
    Drag.lineDrawn = true;
    Drag.last = p;
}

static void OnLButtonUp(HWND bar) {
    if (!Drag.dragging) return;
    if (Drag.lineDrawn) DrawDragLine(bar, Drag.last);
    Drag.lineDrawn = false;
    POINT p = Drag.last;
    ScreenToClient(MainWindow.mainWindow, &p);
    int W, H;
    ClientSize(&W, &H);
    if (IsUpDownBar(bar))
        MainWindow.listRatio = ListRatioFromY(p.y, H, MainWindow.listRatio);
    else
        MainWindow.viewerRatio = ViewerRatioFromX(p.x, W, MainWindow.viewerRatio);
    Drag.dragging = false;
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    ReleaseCapture();
    ArrangeChildren();
}

static LRESULT CALLBACK SplitterProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(bar);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(bar);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(bar);
        return 0;
    }
    return DefWindowProcA(bar, message, wParam, lParam);
}

static bool RegisterBar(HINSTANCE instance, const char* name, LPCSTR cursor) {
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = SplitterProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, cursor);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterSplitterClasses(HINSTANCE instance) {
    bool upDown = RegisterBar(instance, "VLineClass", IDC_SIZENS);
    bool leftRight = RegisterBar(instance, "HLineClass", IDC_SIZEWE);
    return upDown && leftRight;
}

HWND CreateSplitter(const char* className) {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                           MainWindow.mainWindow, (HMENU)0, MainWindow.instance, nullptr);
}
