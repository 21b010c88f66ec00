#include "app/layout.h"

LayoutResult ComputeLayout(const LayoutInput& in) {
    const int W = in.width, H = in.height, T = in.toolbarHeight, U = in.urlBoxHeight;
    const int S = in.statusHeight;
    const int Y = (int)(H * in.listRatio);
    const int below = Y + kSplitterThickness;
    const int logHeight = H - S - below;
    LayoutResult out = {};
    out.listLogBar = {0, Y, W, kSplitterThickness};
    out.toolbar = {0, 0, W - 50, T};
    out.engineWindow = T > 0 ? LayoutRect{W - 26, 2, 26, 25} : LayoutRect{10000, 10000, 0, 0};
    out.urlBox = {0, T + 1, W, kUrlDropHeight};
    out.statusBar = {0, H - S, W, S};
    out.fileList = {0, T + U, W, Y - T - U};
    out.log = {0, below, W, logHeight};
    out.statusEdges[0] = W - 150;
    out.statusEdges[1] = W - 50;
    out.statusEdges[2] = W - 30;
    out.statusEdges[3] = W;
    if (in.viewerDocked) {
        const int V = (int)(W * in.viewerRatio);
        out.logViewerBar = {W - V, below, kSplitterThickness, logHeight};
        out.log = {0, below, W - V, logHeight};
        // Its last 3 pixels lie beyond the client area.
        out.viewer = {W - V + kSplitterThickness, below, V, logHeight};
    }
    return out;
}

int ClampSplitterX(int x, int clientWidth) {
    if (x > clientWidth - 5) x = clientWidth - 5;
    if (x < 300) x = 300;
    return x;
}

int ClampSplitterY(int y, int clientHeight, int statusHeight) {
    if (y > clientHeight - statusHeight - 5) y = clientHeight - statusHeight - 5;
    if (y < 100) y = 100;
    return y;
}

float ListRatioFromY(int y, int clientHeight, float oldRatio) {
    if (clientHeight <= 0) return oldRatio;
    return (float)(y - 1) / (float)clientHeight;
}

float ViewerRatioFromX(int x, int clientWidth, float oldRatio) {
    if (clientWidth <= 0) return oldRatio;
    return 1.0f - (float)(x - 1) / (float)clientWidth;
}
