// The viewer's decoding worker and the state it shares with the window
// thread: the image handed over and not yet taken, and the picture last
// decoded. Every access goes through these functions, under one lock. The
// worker loads the plug-ins it calls and releases them when it ends.
#pragma once
#include <windows.h>

#include <cstdint>

// Posted by the worker when a decode has finished (the window repaints).
constexpr UINT kMsgPictureReady = WM_APP + 0x100;

// Loads the plug-ins of the program's folder and starts their worker for
// window at lowest priority. A worker of an earlier window has been stopped
// by then; false when the thread cannot be started.
bool StartViewerWorker(HWND window);
// Window thread, at the window's destruction: drops the image not yet
// taken, waits at most 5 seconds for a decode in progress and releases the
// picture. True when the worker ended and its plug-ins are unloaded; false
// when a plug-in call is still running: that worker is left to end by
// itself, with its plug-ins loaded until its call returns.
bool StopViewerWorker();
// Window thread: takes over a malloc'ed image. A newer image replaces one
// the worker has not taken yet, which is freed here; with no worker running
// the image is freed at once.
void HandOverImage(char* data, int32_t length);
// Window thread: draws the last decoded picture scaled to fit the client
// area of window, in its top-left corner. Draws nothing when there is none.
void DrawViewerPicture(HWND window, HDC dc);
