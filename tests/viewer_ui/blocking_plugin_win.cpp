// A stand-in .spi plug-in whose decode blocks until the test releases it:
// it claims images that begin with "BLOCK", tells the test through named
// events that a decode has begun and that it is about to return, and in
// between waits for the test's release (at most a minute, so that a test
// that died leaves no program behind for ever). It never decodes anything.
#include <windows.h>

#include <cstring>

#include "spi/spi_interface.h"

namespace {

const char kEntered[] = "FerrowBlockingPlugin.Entered";
const char kRelease[] = "FerrowBlockingPlugin.Release";
const char kReturning[] = "FerrowBlockingPlugin.Returning";

void Signal(const char* name) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (!event) return;
    SetEvent(event);
    CloseHandle(event);
}

} // namespace

extern "C" __declspec(dllexport) int32_t SPI_API IsSupported(const char*, SpiSource source) {
    return source >= kSpiHandleLimit &&
           std::memcmp(reinterpret_cast<const void*>(source), "BLOCK", 5) == 0;
}

extern "C" __declspec(dllexport) int32_t SPI_API
    GetPicture(const char*, SpiLength, uint32_t, SpiHandle* headerOut, SpiHandle* pixelsOut,
               SpiProgress, SpiCallerData) {
    *headerOut = nullptr;
    *pixelsOut = nullptr;
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kRelease);
    Signal(kEntered);
    if (release) {
        WaitForSingleObject(release, 60000);
        CloseHandle(release);
    }
    Signal(kReturning);
    return kSpiNotSupported;
}
