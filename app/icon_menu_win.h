// Menu bar entries drawn with the toolbar's 16 x 16 icons beside their texts.
#pragma once
#include <windows.h>

#include <cstdint>

struct IconMenuEntry {
    int32_t command;
    int32_t icon; // image of the strip; -2 draws a check box instead
};

constexpr int kIconNone = -1;
constexpr int kIconCheckBox = -2;

// Marks the drop-down entries owner-drawn, attaches the menu to the owner,
// and cuts the strip bitmap into an image list. Returns the menu.
HMENU InstallIconMenu(HWND owner, HMENU menu, int bitmapId, int initialImages,
                      const IconMenuEntry* table, int tableLength);
// Called first for every message of the owner; never consumes one.
int IconMenuHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
