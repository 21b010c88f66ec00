#include "app/engine_window_link_win.h"

#include "engine/engine_window_win.h"

HWND CreateEngineWindowOf(HWND parent, HINSTANCE instance) {
    // The layout moves it to the toolbar's right end straight away.
    return CreateEngineWindow(parent, instance, 0, 0);
}
