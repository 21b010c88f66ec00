#include "viewer/plugin_host_win.h"

#include <cstring>

#include "spi/spi_interface.h"

namespace {

PluginTable ProgramPlugins;

// Plug-in file patterns. 64-bit plug-ins are usually named *.sph; ours is
// jpeg.spi in both builds, so the 64-bit host looks for both.
#if defined(_WIN64)
const char* const kPatterns[] = {"*.spi", "*.sph"};
#else
const char* const kPatterns[] = {"*.spi"};
#endif

// Room for a folder, a backslash, a file name and the terminator.
constexpr size_t kPathChars = MAX_PATH + 1;

bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
    size_t a = std::strlen(folder), b = std::strlen(name);
    bool slash = a > 0 && folder[a - 1] != '\\' && folder[a - 1] != '/';
    if (a + (slash ? 1 : 0) + b + 1 > size) return false;
    std::memcpy(out, folder, a);
    if (slash) out[a++] = '\\';
    std::memcpy(out + a, name, b + 1);
    return true;
}

// Plug-ins are asked to look at the first bytes; they may read far more than
// two of them (2 KB is the customary header buffer), so short images are
// shown to them padded with zeros.
constexpr size_t kSniffBytes = 2048;

int32_t SPI_API AlwaysContinue(int32_t, int32_t, SpiCallerData) { return 0; }

}  // namespace

void LoadPluginsFrom(PluginTable* table, const char* folder) {
    table->count = 0;
    // A module that cannot be loaded must not raise a system error box.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    for (const char* pattern : kPatterns) {
        char search[kPathChars];
        if (!JoinPath(search, sizeof search, folder, pattern)) break;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(search, &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            char path[kPathChars];
            // Always by full path: the system's library search must never
            // pick a same-named module from elsewhere.
            HMODULE module = JoinPath(path, sizeof path, folder, found.cFileName) ? LoadLibraryA(path) : nullptr;
            table->modules[table->count++] = module;
        } while (table->count < kMaxPlugins && FindNextFileA(find, &found));
        FindClose(find);
        if (table->count >= kMaxPlugins) break;
    }
    SetThreadErrorMode(oldMode, nullptr);
}

void UnloadPluginTable(PluginTable* table) {
    for (int i = 0; i < table->count; ++i)
        if (table->modules[i]) FreeLibrary(table->modules[i]);
    table->count = 0;
}

bool ReadPluginBitmap(HLOCAL header, HLOCAL pixels, DibLayout* out) {
    if (!header || !pixels) return false;
    const void* h = LocalLock(header);
    if (!h) return false;
    bool ok = ReadDibLayout(static_cast<const uint8_t*>(h), LocalSize(header), LocalSize(pixels), out);
    LocalUnlock(header);
    return ok;
}

bool CheckPluginBitmap(HLOCAL header, HLOCAL pixels) {
    DibLayout layout;
    return ReadPluginBitmap(header, pixels, &layout);
}

int DecodeWithPlugins(const PluginTable& table, const char* data, int32_t length, HLOCAL* headerOut,
                      HLOCAL* pixelsOut) {
    *headerOut = nullptr;
    *pixelsOut = nullptr;
    if (!data || length <= 0) return 0;

    // The image as the plug-ins are shown it for the claim: its address, or
    // a zero-padded copy of a short image. Either lies above 0x10000, which
    // tells the plug-in that it is an address and not a file handle.
    char padded[kSniffBytes] = {};
    const char* sniff = data;
    if (size_t(length) < kSniffBytes) {
        std::memcpy(padded, data, size_t(length));
        sniff = padded;
    }
    SpiGetPicture getPicture = nullptr;
    for (int i = 0; i < table.count; ++i) {
        if (!table.modules[i]) continue;
        auto isSupported = reinterpret_cast<SpiIsSupported>(
            reinterpret_cast<void (*)()>(GetProcAddress(table.modules[i], "IsSupported")));
        if (!isSupported || !isSupported("dummy", reinterpret_cast<SpiSource>(sniff))) continue;
        // The first plug-in that claims the image decodes it, or nobody does.
        getPicture = reinterpret_cast<SpiGetPicture>(
            reinterpret_cast<void (*)()>(GetProcAddress(table.modules[i], "GetPicture")));
        break;
    }
    if (!getPicture) return 0;

    SpiHandle header = nullptr, pixels = nullptr;
    int32_t result = getPicture(data, length, 1, &header, &pixels, AlwaysContinue, 0);
    if (result == kSpiSuccess && CheckPluginBitmap(header, pixels)) {
        *headerOut = header;
        *pixelsOut = pixels;
        return 1;
    }
    // A failed or unreadable picture: whatever the plug-in handed out is ours
    // to release.
    if (header) LocalFree(header);
    if (pixels) LocalFree(pixels);
    return 0;
}

void LoadPlugins() {
    char program[kPathChars] = {};
    DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
    ProgramPlugins.count = 0;
    if (n == 0 || n >= MAX_PATH) return;
    char* slash = std::strrchr(program, '\\');
    if (!slash) return;
    *slash = '\0';
    LoadPluginsFrom(&ProgramPlugins, program);
}

void UnloadPlugins() { UnloadPluginTable(&ProgramPlugins); }

int DecodeMemoryImage(const char* data, int32_t length, HLOCAL* headerOut, HLOCAL* pixelsOut) {
    return DecodeWithPlugins(ProgramPlugins, data, length, headerOut, pixelsOut);
}
