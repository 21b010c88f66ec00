// Pictures for the viewer's UI tests: the decoded reference pictures (PPM)
// and what a window shows, read back from the screen.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The viewer's menu command, and its docked pane's id in the main window.
constexpr int kViewerCommand = 40009;
constexpr int kViewerId = 106;

// A file of the test pictures' folder (FERROW_VIEWER_FIXTURES).
std::string Fixture(const std::string& name);

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
    bool Empty() const { return width <= 0 || height <= 0; }
    COLORREF At(int x, int y) const;
};

// Reads a binary PPM (P6, maxval 255); empty on any error.
Picture ReadPpm(const std::string& path);
// Writes a binary PPM (for a look at a failure).
void WritePpm(const Picture& picture, const std::string& path);
// The client area of window as it is on the screen just now.
Picture CaptureClient(HWND window);

bool IsWhite(COLORREF c);
// Largest difference over the three channels.
int ColourDistance(COLORREF a, COLORREF b);
// Width and height of the non-white area that starts at the top-left corner.
void DrawnExtent(const Picture& shown, int* widthOut, int* heightOut);

// Compares the drawn picture with the reference scaled to drawnWidth x
// drawnHeight at the centres of its colour blocks (blockSize pixels in the
// reference); returns the number of samples further apart than tolerance
// and describes the first in firstOut.
int CompareBlocks(const Picture& shown, const Picture& reference, int drawnWidth, int drawnHeight,
                  int blockSize, int tolerance, std::string* firstOut);
