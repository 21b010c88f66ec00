#include "engine/engine_window_win.h"

#include <commctrl.h>

#include "engine/engine.h"
#include "engine/report.h"
#include "resources/resource.h"

constexpr int kLogoWidth = 26;
constexpr int kLogoHeight = 25;
constexpr int kLogoPitch = 26; // frame k starts 26 * k pixels down the strip
constexpr int kIndicatorSize = 14;
constexpr int kLogoFrames = 17;
constexpr int kIndicatorFrames = 3;

// Both strips stay selected into their memory device contexts while the
// program runs; they are loaded at the first drawing.
struct EngineFramesState {
    HDC logoDc;
    HBITMAP logo;
    HGDIOBJ logoOld;
    HDC indicatorDc;
    HBITMAP indicator;
    HGDIOBJ indicatorOld;
};

static EngineFramesState Frames;

// The program's instance, whose resources hold the two strips.
static HINSTANCE StripInstance;

static bool LoadStrips() {
    if (Frames.logoDc && Frames.indicatorDc) return true;
    HINSTANCE instance = StripInstance ? StripInstance : GetModuleHandleA(nullptr);
    if (!Frames.logoDc) {
        Frames.logo = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_LOGO));
        if (!Frames.logo) return false;
        Frames.logoDc = CreateCompatibleDC(nullptr);
        Frames.logoOld = SelectObject(Frames.logoDc, Frames.logo);
    }
    if (!Frames.indicatorDc) {
        Frames.indicator = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_INDICATOR));
        if (!Frames.indicator) return false;
        Frames.indicatorDc = CreateCompatibleDC(nullptr);
        Frames.indicatorOld = SelectObject(Frames.indicatorDc, Frames.indicator);
    }
    return true;
}

void ReleaseEngineFrames() {
    if (Frames.logoDc) {
        SelectObject(Frames.logoDc, Frames.logoOld);
        DeleteDC(Frames.logoDc);
    }
    if (Frames.indicatorDc) {
        SelectObject(Frames.indicatorDc, Frames.indicatorOld);
        DeleteDC(Frames.indicatorDc);
    }
    if (Frames.logo) DeleteObject(Frames.logo);
    if (Frames.indicator) DeleteObject(Frames.indicator);
    Frames = EngineFramesState();
}

// Frame numbers come from the engine's state; anything out of range draws
// the resting picture rather than pixels outside the strip.
static void DrawLogo(HDC dc, int frame) {
    if (frame < 0 || frame >= kLogoFrames) frame = 0;
    BitBlt(dc, 0, 0, kLogoWidth, kLogoHeight, Frames.logoDc, 0, kLogoPitch * frame, SRCCOPY);
}

// Black is transparent: the destination is ANDed with a mask that is black
// where the frame has colour, then ORed with the frame itself.
static void DrawIndicator(HDC dc, int x, int y, int frame) {
    if (frame < 0 || frame >= kIndicatorFrames) frame = 2;
    const int sx = kIndicatorSize * frame;
    HDC maskDc = CreateCompatibleDC(dc);
    HBITMAP mask = CreateBitmap(kIndicatorSize, kIndicatorSize, 1, 1, nullptr);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    COLORREF oldBk = SetBkColor(Frames.indicatorDc, RGB(0, 0, 0));
    // Pixels of the background colour (black) become 1 (white) in the mask.
    BitBlt(maskDc, 0, 0, kIndicatorSize, kIndicatorSize, Frames.indicatorDc, sx, 0, SRCCOPY);
    SetBkColor(Frames.indicatorDc, oldBk);
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldDestBk = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, kIndicatorSize, kIndicatorSize, maskDc, 0, 0, SRCAND);
    BitBlt(dc, x, y, kIndicatorSize, kIndicatorSize, Frames.indicatorDc, sx, 0, SRCPAINT);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldDestBk);
    SelectObject(maskDc, oldMask);
    DeleteObject(mask);
    DeleteDC(maskDc);
}

void DrawEngineLogo(HWND window, int frame) {
    if (!window || !LoadStrips()) return;
    HDC dc = GetDC(window);
    DrawLogo(dc, frame);
    ReleaseDC(window, dc);
}

void DrawEngineIndicator(HWND statusBar, int frame) {
    if (!statusBar || !LoadStrips()) return;
    RECT part;
    SendMessageA(statusBar, SB_GETRECT, 2, (LPARAM)&part);
    HDC dc = GetDC(statusBar);
    DrawIndicator(dc, part.left + 2, part.top + 2, frame);
    ReleaseDC(statusBar, dc);
}

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
    if (EngineLogoShown() && LoadStrips()) DrawLogo(dc, Engine.LogoFrame);
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
    StripInstance = instance;
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
