#include "spi/spi_input_win.h"

// The largest file read whole into memory: beyond any picture within the
// plug-ins' pixel limit.
static constexpr ULONGLONG kMaxFileBytes = 1ull << 30;

// Never reads past the end whatever the offset says.
int32_t ReadSpiFile(const char* path, SpiLength offset, SpiInput* in) {
    if (!path || offset < 0) return kSpiFileError;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kSpiFileError;
    int32_t result = kSpiSuccess;
    LARGE_INTEGER size, position;
    position.QuadPart = offset;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < offset ||
        ULONGLONG(size.QuadPart - offset) > kMaxFileBytes ||
        !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        result = kSpiFileError;
    } else {
        const size_t count = size_t(size.QuadPart - offset);
        HLOCAL block = LocalAlloc(LMEM_FIXED, count ? count : 1);
        DWORD read = 0;
        if (!block) {
            result = kSpiNoMemory;
        } else if (count && (!ReadFile(file, block, DWORD(count), &read, nullptr) || read != count)) {
            LocalFree(block);
            result = kSpiFileError;
        } else {
            in->fileBlock = block;
            in->data = static_cast<const uint8_t*>(block);
            in->size = count;
        }
    }
    CloseHandle(file);
    return result;
}
