#include "viewer/viewer_geometry.h"

// The scale is a single-precision float and the products are truncated
// toward zero, so 300 x 900 in 400 x 400 comes out 133 x 400.
PictureSize FitPicture(int width, int height, int clientWidth, int clientHeight) {
    PictureSize out = {width, height};
    if (out.width > clientWidth && out.width > 0) {
        float s = (float)clientWidth / (float)out.width;
        out.width = (int)((float)out.width * s);
        out.height = (int)((float)out.height * s);
    }
    if (out.height > clientHeight && out.height > 0) {
        float s = (float)clientHeight / (float)out.height;
        out.width = (int)((float)out.width * s);
        out.height = (int)((float)out.height * s);
    }
    if (out.width < 0) out.width = 0;
    if (out.height < 0) out.height = 0;
    return out;
}

static ViewerRect FloatingRect = kDefaultViewerRect;

ViewerRect GetViewerRect() {
    return FloatingRect;
}

void SetViewerRect(const ViewerRect& rect) {
    FloatingRect = rect;
}

char* OfferImage(ImageSlot& slot, char* data, int32_t length) {
    char* older = slot.data;
    slot.data = data;
    slot.length = data ? length : 0;
    return older;
}

char* TakeImage(ImageSlot& slot, int32_t* lengthOut) {
    char* data = slot.data;
    if (lengthOut) *lengthOut = data ? slot.length : 0;
    slot.data = nullptr;
    slot.length = 0;
    return data;
}
