#include "viewer/viewer_win.h"

#include <commctrl.h>

#include <climits>
#include <cstdlib>

#include "engine/jobs.h"
#include "resources/resource.h"
#include "settings/options.h"
#include "viewer/viewer_worker_win.h"

static const char kViewerClass[] = "ViewerClass";

// The viewer window and the form it was created in: the option may change
// while it is open, but only a separate window has a rectangle to record.
static HWND Viewer;
static bool ViewerFloating;
static ViewerHost Host;

void InstallViewerHost(const ViewerHost& host) { Host = host; }

HWND ViewerWindow() {
    return Viewer;
}

// The engine runs on the window thread, so the viewer cannot vanish during
// the send. The window procedure answers 1 once it owns the buffer; any
// other outcome leaves it here, to be freed exactly once.
void HandFileToViewer(char* data, size_t size) {
    if (!data) return;
    if (Viewer && size <= (size_t)INT32_MAX &&
        SendMessageA(Viewer, MsgFetched, (WPARAM)data, (LPARAM)size) == 1)
        return;
    free(data);
}

static LRESULT OnCreate(HWND window) {
    Viewer = window;
    if (!StartViewerWorker(window)) {
        Viewer = nullptr;
        return -1;  // the creation fails; the command leaves the viewer closed
    }
    return 0;
}

static void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawViewerPicture(window, dc);
    EndPaint(window, &paint);
}

// Also drawn on request into another device context (PrintWindow).
static void OnPrintClient(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawViewerPicture(window, dc);
}

// The user's close box: the main window's viewer command no longer shows
// the viewer as open.
static void OnClose() {
    if (Host.closeBoxUsed) Host.closeBoxUsed();
}

// The worker is stopped and waited for, a bounded time, before its plug-ins
// go: a decode in progress finishes with its module still loaded.
static void OnDestroy(HWND window) {
    if (ViewerFloating) {
        RECT r;
        GetWindowRect(window, &r);
        SetViewerRect({r.left, r.top, r.right - r.left, r.bottom - r.top});
    }
    StopViewerWorker();
    if (Viewer == window) Viewer = nullptr;
    if (Host.windowGone) Host.windowGone(window);
}

static LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (OnCreate(window) != 0) return -1;
        break;
    case MsgFetched:
        HandOverImage((char*)wParam, (int32_t)lParam);
        return 1;
    case kMsgPictureReady:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_PRINTCLIENT:
        OnPrintClient(window, (HDC)wParam);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint fills the whole client area itself
    case WM_CLOSE:
        OnClose();
        break;
    case WM_DESTROY:
        OnDestroy(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterViewerClass(HINSTANCE instance) {
    WNDCLASSA wc;
    if (GetClassInfoA(instance, kViewerClass, &wc)) return true;
    ZeroMemory(&wc, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ViewerWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FERROW));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(RGB(128, 128, 128));
    wc.lpszClassName = kViewerClass;
    return RegisterClassA(&wc) != 0;
}

// One viewer per process: its worker and plug-in table are process-wide.
HWND CreateViewerWindow(HWND mainWindow) {
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(mainWindow, GWLP_HINSTANCE);
    if (!RegisterViewerClass(instance)) return nullptr;
    if (Viewer) DestroyWindow(Viewer);
    ViewerFloating = Options.ViewerDialog == 1;
    if (ViewerFloating) {
        const ViewerRect r = GetViewerRect();
        return CreateWindowExA(0, kViewerClass, "ビューアー",
                               WS_POPUPWINDOW | WS_DLGFRAME | WS_THICKFRAME | WS_VISIBLE, r.x, r.y,
                               r.width, r.height, mainWindow, nullptr, instance, nullptr);
    }
    return CreateWindowExA(0, kViewerClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0,
                           mainWindow, (HMENU)(INT_PTR)IDC_VIEWER, instance, nullptr);
}
