// Pure arithmetic of the viewer: the size a picture is drawn at, the
// floating window's remembered rectangle, and the one-image hand-over slot.
#pragma once
#include <cstddef>
#include <cstdint>

struct PictureSize {
    int width, height;
};

// The size a width x height picture is drawn at in a client area: never
// enlarged, aspect kept, cut to the client width first and then its height.
PictureSize FitPicture(int width, int height, int clientWidth, int clientHeight);

// Screen rectangle of the floating viewer, kept between its openings and
// across runs ("viewer_x", "viewer_y", "ViewerWidth", "ViewerHeight").
struct ViewerRect {
    int32_t x, y, width, height;
};
constexpr ViewerRect kDefaultViewerRect = {0, 0, 250, 200};
// The process's one record of it: set from the settings before the viewer
// opens, recorded when the separate window is destroyed.
ViewerRect GetViewerRect();
void SetViewerRect(const ViewerRect& rect);

// One image handed over and not yet taken by the decoding worker. The slot
// holds at most one buffer; callers guard it with their own lock.
struct ImageSlot {
    char* data;
    int32_t length;
};

// Puts a buffer into the slot. Returns the buffer it displaces (the older
// image, which the caller frees) or null.
char* OfferImage(ImageSlot& slot, char* data, int32_t length);
// Takes the pending buffer out of the slot (null when none); the caller owns it.
char* TakeImage(ImageSlot& slot, int32_t* lengthOut);
