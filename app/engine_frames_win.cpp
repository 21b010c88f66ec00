#include "app/engine_frames_win.h"

#include <commctrl.h>

#include "app/main_state_win.h"
#include "engine/jobs.h"
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

static bool LoadStrips() {
    if (Frames.logoDc && Frames.indicatorDc) return true;
    HINSTANCE instance = MainWindow.instance ? MainWindow.instance : GetModuleHandleA(nullptr);
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

void PaintEngineWindow(HWND window, HDC dc) {
    if (!MainWindow.toolbar || !LoadStrips()) return;
    DrawLogo(dc, Engine.LogoFrame);
}

void DrawEngineFrames(int logoFrame, int indicatorFrame) {
    if (!LoadStrips()) return;
    if (MainWindow.engineWindow) {
        HDC dc = GetDC(MainWindow.engineWindow);
        DrawLogo(dc, logoFrame);
        ReleaseDC(MainWindow.engineWindow, dc);
    }
    if (MainWindow.statusBar) {
        RECT part;
        SendMessageA(MainWindow.statusBar, SB_GETRECT, 2, (LPARAM)&part);
        HDC dc = GetDC(MainWindow.statusBar);
        DrawIndicator(dc, part.left + 2, part.top + 2, indicatorFrame);
        ReleaseDC(MainWindow.statusBar, dc);
    }
}
