// Geometry of the main window's children for a client size: pure arithmetic,
// shared by the window code and its tests.
#pragma once

struct LayoutRect {
    int x, y, width, height;
};

struct LayoutInput {
    int width, height; // client size
    int toolbarHeight; // 0 while the toolbar is hidden
    int urlBoxHeight;
    int statusHeight;
    float listRatio;
    float viewerRatio;
    bool viewerDocked;
};

struct LayoutResult {
    LayoutRect listLogBar;
    LayoutRect toolbar;      // width and y only matter; the toolbar keeps its height
    LayoutRect engineWindow; // out of sight while the toolbar is hidden
    LayoutRect urlBox;       // height is the open drop-down's
    LayoutRect statusBar;    // position only; the status bar sizes itself
    LayoutRect fileList;
    LayoutRect log;
    LayoutRect logViewerBar; // meaningful only when the viewer is docked
    LayoutRect viewer;
    int statusEdges[4]; // right edges of the status bar's four parts
};

constexpr int kUrlDropHeight = 250;
constexpr int kSplitterThickness = 3;
constexpr int kMinTrackWidth = 300;
constexpr int kMinTrackHeight = 200;

LayoutResult ComputeLayout(const LayoutInput& in);

// Clamps a drag point (client coordinates) to where a splitter may go.
int ClampSplitterX(int x, int clientWidth);
int ClampSplitterY(int y, int clientHeight, int statusHeight);
// Ratios stored when a drag ends at a client point; the old ratio is kept
// when the client area has no size (a minimised window).
float ListRatioFromY(int y, int clientHeight, float oldRatio);
float ViewerRatioFromX(int x, int clientWidth, float oldRatio);
