#include "tests/viewer_ui/pixels.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

std::string Fixture(const std::string& name) {
    const char* folder = getenv("FERROW_VIEWER_FIXTURES");
    return std::string(folder ? folder : "") + "\\" + name;
}

COLORREF Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return RGB(255, 255, 255);
    const uint8_t* p = &rgb[((size_t)y * width + x) * 3];
    return RGB(p[0], p[1], p[2]);
}

Picture ReadPpm(const std::string& path) {
    Picture picture;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255)
        return picture;
    in.get();  // the single white space after the header
    if (width <= 0 || height <= 0 || width > 10000 || height > 10000) return picture;
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    if (!in.read((char*)rgb.data(), (std::streamsize)rgb.size())) return picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.swap(rgb);
    return picture;
}

void WritePpm(const Picture& picture, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    out.write((const char*)picture.rgb.data(), (std::streamsize)picture.rgb.size());
}

// The screen, not the window: another process's device context cannot be
// handed to it, and what the user sees is what counts.
Picture CaptureClient(HWND window) {
    Picture picture;
    RECT client;
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return picture;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int width = client.right, height = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        picture.width = width;
        picture.height = height;
        picture.rgb.resize((size_t)width * height * 3);
        const uint8_t* p = (const uint8_t*)bits;
        for (size_t i = 0; i < (size_t)width * height; i++) {
            picture.rgb[i * 3] = p[i * 4 + 2];
            picture.rgb[i * 3 + 1] = p[i * 4 + 1];
            picture.rgb[i * 3 + 2] = p[i * 4];
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool IsWhite(COLORREF c) {
    return GetRValue(c) > 245 && GetGValue(c) > 245 && GetBValue(c) > 245;
}

int ColourDistance(COLORREF a, COLORREF b) {
    int d = abs(GetRValue(a) - GetRValue(b));
    int g = abs(GetGValue(a) - GetGValue(b));
    int bl = abs(GetBValue(a) - GetBValue(b));
    if (g > d) d = g;
    if (bl > d) d = bl;
    return d;
}

// Runs of non-white pixels from the corner along the third row and the
// third column: the picture is drawn from the top-left corner, and a docked
// viewer's last columns lie outside what the main window shows.
void DrawnExtent(const Picture& shown, int* widthOut, int* heightOut) {
    int width = 0, height = 0;
    while (width < shown.width && !IsWhite(shown.At(width, 2))) width++;
    while (height < shown.height && !IsWhite(shown.At(2, height))) height++;
    *widthOut = width;
    *heightOut = height;
}

int CompareBlocks(const Picture& shown, const Picture& reference, int drawnWidth, int drawnHeight,
                  int blockSize, int tolerance, std::string* firstOut) {
    int misses = 0;
    for (int by = 0; by * blockSize < reference.height; by++)
        for (int bx = 0; bx * blockSize < reference.width; bx++) {
            const int sx = bx * blockSize + blockSize / 2, sy = by * blockSize + blockSize / 2;
            if (sx >= reference.width || sy >= reference.height) continue;
            const int dx = (int)((long long)sx * drawnWidth / reference.width);
            const int dy = (int)((long long)sy * drawnHeight / reference.height);
            const COLORREF want = reference.At(sx, sy), got = shown.At(dx, dy);
            if (ColourDistance(want, got) <= tolerance) continue;
            if (misses++ == 0 && firstOut) {
                char text[160];
                snprintf(text, sizeof text, "block %d,%d at %d,%d: want %06lx, shown %06lx", bx,
                         by, dx, dy, (unsigned long)want, (unsigned long)got);
                *firstOut = text;
            }
        }
    return misses;
}
