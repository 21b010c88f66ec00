#include "viewer/viewer_worker_win.h"

#include <cstdlib>

#include "viewer/plugin_host_win.h"
#include "viewer/viewer_geometry.h"

// The lock guards every field but the thread and event handles, which only
// the window thread touches.
struct WorkerState {
    CRITICAL_SECTION lock;
    bool running;    // false once the window is being destroyed
    HWND window;     // where the worker posts kMsgPictureReady
    ImageSlot pending;
    HLOCAL header;   // BITMAPINFOHEADER of the last decoded picture, or null
    HLOCAL pixels;
    HANDLE thread;
    HANDLE stopEvent;  // cuts the 100 ms poll short when the worker must end
};

static WorkerState Worker;
static INIT_ONCE LockOnce = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&Worker.lock);
    return TRUE;
}

static void EnsureLock() {
    InitOnceExecuteOnce(&LockOnce, InitLock, nullptr, nullptr);
}

static void FreePicture(HLOCAL header, HLOCAL pixels) {
    if (header) LocalFree(header);
    if (pixels) LocalFree(pixels);
}

// One image: the old picture is released first, so an image that fails to
// decode leaves the viewer white. Handles that come back with a failed
// decode (a plug-in stopped after allocating them) are released too.
static void DecodeOne(char* image, int32_t length) {
    EnterCriticalSection(&Worker.lock);
    HLOCAL oldHeader = Worker.header, oldPixels = Worker.pixels;
    Worker.header = Worker.pixels = nullptr;
    LeaveCriticalSection(&Worker.lock);
    FreePicture(oldHeader, oldPixels);

    HLOCAL header = nullptr, pixels = nullptr;
    int decoded = DecodeMemoryImage(image, length, &header, &pixels);
    free(image);
    if (!decoded) {
        FreePicture(header, pixels);
        header = pixels = nullptr;
    }

    EnterCriticalSection(&Worker.lock);
    Worker.header = header;
    Worker.pixels = pixels;
    HWND window = Worker.running ? Worker.window : nullptr;
    LeaveCriticalSection(&Worker.lock);
    // Posted, never sent: the window thread may be waiting for this thread
    // to end, and the worker never touches the window's device context.
    if (window) PostMessageA(window, kMsgPictureReady, 0, 0);
}

static DWORD WINAPI WorkerMain(LPVOID) {
    for (;;) {
        EnterCriticalSection(&Worker.lock);
        const bool running = Worker.running;
        int32_t length = 0;
        char* image = running ? TakeImage(Worker.pending, &length) : nullptr;
        LeaveCriticalSection(&Worker.lock);
        if (!running) break;
        if (image) DecodeOne(image, length);
        WaitForSingleObject(Worker.stopEvent, 100);
    }
    return 1;
}

bool StartViewerWorker(HWND window) {
    EnsureLock();
    if (Worker.thread) StopViewerWorker();
    if (!Worker.stopEvent) Worker.stopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!Worker.stopEvent) return false;
    ResetEvent(Worker.stopEvent);
    EnterCriticalSection(&Worker.lock);
    Worker.running = true;
    Worker.window = window;
    LeaveCriticalSection(&Worker.lock);
    Worker.thread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr);
    if (!Worker.thread) {
        EnterCriticalSection(&Worker.lock);
        Worker.running = false;
        Worker.window = nullptr;
        LeaveCriticalSection(&Worker.lock);
        return false;
    }
    SetThreadPriority(Worker.thread, THREAD_PRIORITY_LOWEST);
    return true;
}

void StopViewerWorker() {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    Worker.running = false;
    Worker.window = nullptr;
    char* dropped = TakeImage(Worker.pending, nullptr);
    LeaveCriticalSection(&Worker.lock);
    free(dropped);
    if (Worker.thread) {
        SetEvent(Worker.stopEvent);
        WaitForSingleObject(Worker.thread, INFINITE);
        CloseHandle(Worker.thread);
        Worker.thread = nullptr;
    }
    EnterCriticalSection(&Worker.lock);
    HLOCAL header = Worker.header, pixels = Worker.pixels;
    Worker.header = Worker.pixels = nullptr;
    LeaveCriticalSection(&Worker.lock);
    FreePicture(header, pixels);
}

void HandOverImage(char* data, int32_t length) {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    char* unused = Worker.running ? OfferImage(Worker.pending, data, length) : data;
    LeaveCriticalSection(&Worker.lock);
    free(unused);
}

void DrawViewerPicture(HWND window, HDC dc) {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    if (Worker.header && Worker.pixels) {
        const BITMAPINFOHEADER* h = (const BITMAPINFOHEADER*)LocalLock(Worker.header);
        const void* bits = LocalLock(Worker.pixels);
        // The host's own rule: whatever it accepted is drawn, nothing else.
        DibLayout layout;
        if (h && bits &&
            ReadDibLayout((const uint8_t*)h, LocalSize(Worker.header), LocalSize(Worker.pixels), &layout)) {
            RECT client;
            GetClientRect(window, &client);
            const int height = layout.height;
            PictureSize s = FitPicture(h->biWidth, height, client.right, client.bottom);
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, 0, 0, s.width, s.height, 0, 0, h->biWidth, height, bits,
                          (const BITMAPINFO*)h, DIB_RGB_COLORS, SRCCOPY);
        }
        if (h) LocalUnlock(Worker.header);
        if (bits) LocalUnlock(Worker.pixels);
    }
    LeaveCriticalSection(&Worker.lock);
}
