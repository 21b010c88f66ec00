// The viewer's image plug-in host: the .spi modules beside the program, the
// choice of the plug-in for an image in memory, and its decode into a
// 24-bit (or other) device-independent bitmap.
#pragma once
#include <windows.h>

#include <cstdint>

#include "viewer/dib_layout.h"

constexpr int kMaxPlugins = 10;

// Loaded modules in the order the folder search returned them; an entry is
// null for a file that could not be loaded (it still counts).
struct PluginTable {
    HMODULE modules[kMaxPlugins];
    int count;
};

// The program's own table: filled when the viewer window is created and
// emptied when it is destroyed, both on the window thread.
void LoadPlugins();
void UnloadPlugins();
// 1 when a plug-in decoded the image: headerOut and pixelsOut then hold the
// bitmap's local-memory blocks, which the caller owns. 0 otherwise, with
// both out-parameters null.
int DecodeMemoryImage(const char* data, int32_t length, HLOCAL* headerOut, HLOCAL* pixelsOut);

// The same over a given table and folder (the tests use these).
void LoadPluginsFrom(PluginTable* table, const char* folder);
void UnloadPluginTable(PluginTable* table);
int DecodeWithPlugins(const PluginTable& table, const char* data, int32_t length, HLOCAL* headerOut,
                      HLOCAL* pixelsOut);
// Whether a bitmap that a plug-in returned can be read safely and drawn: the
// rule of ReadDibLayout over the two blocks. The host accepts only what this
// passes, and the viewer draws only what this passes.
bool CheckPluginBitmap(HLOCAL header, HLOCAL pixels);
bool ReadPluginBitmap(HLOCAL header, HLOCAL pixels, DibLayout* out);
