#include "engine/engine_window_win.h"

#include "engine/engine.h"

static const UINT_PTR kTickTimer = 1;

static void OnCreate(HWND window) {
    SetEngineWindow(window);
    ShutdownEngine();  // all lists empty
    Engine.LogoFrame = 0;
    Engine.IndicatorFrame = 2;
    SetTimer(window, kTickTimer, 100, nullptr);
}

static void OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    PaintEngineWindow(window, dc);
    EndPaint(window, &ps);
}

static void OnDestroy(HWND window) {
    KillTimer(window, kTickTimer);
    ShutdownEngine();
    if (EngineWindow() == window) SetEngineWindow(nullptr);
}

// Requests arrive by SendMessage: the engine copies the address before the
// sender's call returns.
static LRESULT CALLBACK LogoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimer) OnTimer();
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case MsgAnalysePage: {
        const AnalyseBlock* block = (const AnalyseBlock*)wParam;
        if (block && block->address) OnAnalysePage(block->address, block->row);
        return 0;
    }
    case MsgAnalyseLink: {
        const AnalyseBlock* block = (const AnalyseBlock*)wParam;
        if (block && block->address) OnAnalyseLink(block->address, block->row);
        return 0;
    }
    case MsgDownload:
        if (wParam) OnDownload((const char*)wParam, (int32_t)lParam);
        return 0;
    case MsgFetch:
        if (wParam) OnFetch((const char*)wParam, (int32_t)lParam);
        return 0;
    case MsgStopAll:
        OnStopAll();
        return 0;
    case MsgStartJobs:
        OnStartJobs();
        return 0;
    case MsgSocketEvent:
        OnSocketEvent((SocketHandle)wParam, WSAGETSELECTEVENT(lParam));
        return 0;
    case MsgHostResolved:
        OnHostResolved((LookupHandle)wParam, WSAGETASYNCERROR(lParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateEngineWindow(HWND parent, HINSTANCE instance, int x, int y) {
    WNDCLASSA wc;
    if (!GetClassInfoA(instance, "LogoClass", &wc)) {
        ZeroMemory(&wc, sizeof wc);
        wc.lpfnWndProc = LogoWindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
        wc.lpszClassName = "LogoClass";
        if (!RegisterClassA(&wc)) return nullptr;
    }
    return CreateWindowExA(0, "LogoClass", "", WS_CHILD | WS_VISIBLE, x, y, 26, 25, parent,
                           nullptr, instance, nullptr);
}
