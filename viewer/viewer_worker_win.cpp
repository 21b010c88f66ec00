#include "viewer/viewer_worker_win.h"

#include <process.h>

#include <cstdlib>
#include <new>

#include "settings/options.h"
#include "text/text.h"
#include "viewer/dib_layout.h"
#include "viewer/plugin_host_win.h"
#include "viewer/viewer_geometry.h"

// How long closing the viewer (or the program) waits for a plug-in call in
// progress. A plug-in that is still inside its call then is left running
// with its modules loaded: they are released by the worker itself once the
// call returns, never under it.
constexpr DWORD kPluginWaitMs = 5000;

// One worker of one viewer window, with the plug-ins it calls. Whoever
// finishes last frees it: the window thread when the worker ended in time,
// else the worker when its call finally returns.
struct WorkerRun {
    PluginTable plugins;
    HANDLE thread;
    HANDLE wake;     // cuts the 100 ms poll short when the worker must end
    bool stop;       // the window is gone: take no more images
    bool finished;   // the worker has left its loop
    bool abandoned;  // the window thread stopped waiting for it
};

struct Picture {
    HLOCAL header;  // BITMAPINFOHEADER of a decoded picture, or null
    HLOCAL pixels;
};

// The lock guards every field, and the three flags of each run.
struct WorkerState {
    CRITICAL_SECTION lock;
    WorkerRun* run;  // the open viewer's worker, or null
    HWND window;     // where the worker posts kMsgPictureReady
    ImageSlot pending;
    Picture shown;    // the last decoded picture
    Picture drawing;  // the one the window thread is drawing outside the lock
    bool drawnReplaced;  // shown was replaced meanwhile: the drawing frees it
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

static void FreePicture(const Picture& picture) {
    if (picture.header) LocalFree(picture.header);
    if (picture.pixels) LocalFree(picture.pixels);
}

// Under the lock: takes the shown picture away and returns it to be freed,
// unless the window thread is drawing it; then the drawing frees it.
static Picture TakeShownLocked() {
    Picture taken = Worker.shown;
    Worker.shown = {};
    if (taken.header && taken.header == Worker.drawing.header) {
        Worker.drawnReplaced = true;
        return {};
    }
    return taken;
}

static void FreeRun(WorkerRun* run) {
    UnloadPluginTable(&run->plugins);
    if (run->wake) CloseHandle(run->wake);
    delete run;
}

// One image: the old picture is released first, so an image that fails to
// decode leaves the viewer white. A picture decoded for a viewer that has
// closed meanwhile is released at once.
static void DecodeOne(WorkerRun* run, char* image, int32_t length) {
    EnterCriticalSection(&Worker.lock);
    Picture old = run->stop ? Picture{} : TakeShownLocked();
    LeaveCriticalSection(&Worker.lock);
    FreePicture(old);

    Picture decoded = {};
    if (!DecodeWithPlugins(run->plugins, image, length, &decoded.header, &decoded.pixels))
        decoded = {};
    free(image);

    EnterCriticalSection(&Worker.lock);
    HWND window = nullptr;
    if (!run->stop) {
        Worker.shown = decoded;
        decoded = {};
        window = Worker.window;
    }
    LeaveCriticalSection(&Worker.lock);
    FreePicture(decoded);
    // Posted, never sent: the window thread may be waiting for this thread
    // to end, and the worker never touches the window's device context.
    if (window) PostMessageA(window, kMsgPictureReady, 0, 0);
}

static unsigned __stdcall WorkerMain(void* parameter) {
    WorkerRun* run = (WorkerRun*)parameter;
    for (;;) {
        EnterCriticalSection(&Worker.lock);
        const bool stop = run->stop;
        int32_t length = 0;
        char* image = stop ? nullptr : TakeImage(Worker.pending, &length);
        LeaveCriticalSection(&Worker.lock);
        if (stop) break;
        if (image) DecodeOne(run, image, length);
        WaitForSingleObject(run->wake, 100);
    }
    EnterCriticalSection(&Worker.lock);
    run->finished = true;
    const bool abandoned = run->abandoned;
    LeaveCriticalSection(&Worker.lock);
    // Nobody waits any more: the plug-ins this worker called go with it.
    if (abandoned) FreeRun(run);
    return 1;
}

bool StartViewerWorker(HWND window) {
    EnsureLock();
    if (Worker.run) StopViewerWorker();
    WorkerRun* run = new (std::nothrow) WorkerRun();
    if (!run) return false;
    run->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!run->wake) {
        delete run;
        return false;
    }
    LoadPluginsFrom(&run->plugins, ProgramFolder);
    // Started suspended, so that it runs at its priority from the start.
    run->thread = (HANDLE)_beginthreadex(nullptr, 0, WorkerMain, run, CREATE_SUSPENDED, nullptr);
    if (!run->thread) {
        FreeRun(run);
        return false;
    }
    SetThreadPriority(run->thread, THREAD_PRIORITY_LOWEST);
    EnterCriticalSection(&Worker.lock);
    Worker.run = run;
    Worker.window = window;
    LeaveCriticalSection(&Worker.lock);
    ResumeThread(run->thread);
    return true;
}

bool StopViewerWorker() {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    WorkerRun* run = Worker.run;
    Worker.run = nullptr;
    Worker.window = nullptr;
    if (run) run->stop = true;
    char* dropped = TakeImage(Worker.pending, nullptr);
    LeaveCriticalSection(&Worker.lock);
    free(dropped);

    bool ended = true;
    if (run) {
        SetEvent(run->wake);
        WaitForSingleObject(run->thread, kPluginWaitMs);
        CloseHandle(run->thread);
        EnterCriticalSection(&Worker.lock);
        ended = run->finished;
        if (!ended) run->abandoned = true;
        LeaveCriticalSection(&Worker.lock);
        if (ended) FreeRun(run);
        else Trace("viewer: a plug-in call did not return within %lu ms; left running",
                   (unsigned long)kPluginWaitMs);
    }
    EnterCriticalSection(&Worker.lock);
    Picture picture = TakeShownLocked();
    LeaveCriticalSection(&Worker.lock);
    FreePicture(picture);
    return ended;
}

void HandOverImage(char* data, int32_t length) {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    char* unused = Worker.run ? OfferImage(Worker.pending, data, length) : data;
    LeaveCriticalSection(&Worker.lock);
    free(unused);
}

static void DrawPicture(HWND window, HDC dc, HLOCAL header, HLOCAL pixels) {
    const BITMAPINFOHEADER* h = (const BITMAPINFOHEADER*)LocalLock(header);
    const void* bits = LocalLock(pixels);
    // The host's own rule: whatever it accepted is drawn, nothing else.
    DibLayout layout;
    if (h && bits && ReadDibLayout((const uint8_t*)h, LocalSize(header), LocalSize(pixels), &layout)) {
        RECT client;
        GetClientRect(window, &client);
        const int height = layout.height;
        PictureSize s = FitPicture(h->biWidth, height, client.right, client.bottom);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, 0, 0, s.width, s.height, 0, 0, h->biWidth, height, bits,
                      (const BITMAPINFO*)h, DIB_RGB_COLORS, SRCCOPY);
    }
    if (h) LocalUnlock(header);
    if (bits) LocalUnlock(pixels);
}

// The stretch runs outside the lock, so a large picture being drawn never
// holds up the worker's hand-over; a picture replaced meanwhile stays
// allocated until the drawing is done with it.
void DrawViewerPicture(HWND window, HDC dc) {
    EnsureLock();
    EnterCriticalSection(&Worker.lock);
    const Picture picture = Worker.shown;
    Worker.drawing = picture;
    Worker.drawnReplaced = false;
    LeaveCriticalSection(&Worker.lock);
    if (picture.header && picture.pixels) DrawPicture(window, dc, picture.header, picture.pixels);
    EnterCriticalSection(&Worker.lock);
    const bool replaced = Worker.drawnReplaced;
    Worker.drawing = {};
    Worker.drawnReplaced = false;
    LeaveCriticalSection(&Worker.lock);
    if (replaced) FreePicture(picture);
}
