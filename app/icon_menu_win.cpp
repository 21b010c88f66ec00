#include "app/icon_menu_win.h"

#include <commctrl.h>

#include "text/text.h"

constexpr int kMenuTextSize = 260; // 259 characters and the terminator
constexpr int kMaxOwnedTexts = 64;
constexpr int kIconColumn = 22; // the highlight starts here beside an icon

struct IconMenuState {
    HWND owner;
    HMENU menu;
    const IconMenuEntry* table;
    int tableLength;
    HFONT font;
    HBITMAP strip;
    HIMAGELIST images;
    // Item texts kept as item data, for systems that answer no string for
    // an owner-drawn item.
    char texts[kMaxOwnedTexts][kMenuTextSize];
    int textCount;
};

static IconMenuState IconMenu;

static int IconFor(UINT command) {
    for (int i = 0; i < IconMenu.tableLength; i++)
        if ((UINT)IconMenu.table[i].command == command) return IconMenu.table[i].icon;
    return kIconNone;
}

static void MarkOwnerDrawn(HMENU menu, bool dropDown) {
    const int count = GetMenuItemCount(menu);
    for (int pos = 0; pos < count; pos++) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
        if (!GetMenuItemInfoA(menu, pos, TRUE, &info)) continue;
        if (info.hSubMenu) MarkOwnerDrawn(info.hSubMenu, true);
        if ((info.hSubMenu && !dropDown) || (info.fType & MFT_SEPARATOR)) continue;
        MENUITEMINFOA change = {};
        change.cbSize = sizeof change;
        change.fMask = MIIM_FTYPE;
        change.fType = info.fType | MFT_OWNERDRAW;
        if (IconMenu.textCount < kMaxOwnedTexts) {
            char* text = IconMenu.texts[IconMenu.textCount++];
            GetMenuStringA(menu, pos, text, kMenuTextSize, MF_BYPOSITION);
            change.fMask |= MIIM_DATA;
            change.dwItemData = (ULONG_PTR)text;
        }
        SetMenuItemInfoA(menu, pos, TRUE, &change);
    }
}

HMENU InstallIconMenu(HWND owner, HMENU menu, int bitmapId, int initialImages,
                      const IconMenuEntry* table, int tableLength) {
    IconMenu.owner = owner;
    IconMenu.menu = menu;
    IconMenu.table = table;
    IconMenu.tableLength = tableLength;
    IconMenu.textCount = 0;
    MarkOwnerDrawn(menu, false);
    SetMenu(owner, menu);
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE);
    IconMenu.strip = LoadBitmapA(instance, MAKEINTRESOURCEA(bitmapId));
    IconMenu.images = ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, initialImages, 0);
    ImageList_AddMasked(IconMenu.images, IconMenu.strip, RGB(192, 192, 192));
    return menu;
}

// The item's string by command in menu; when that is empty, the text the
// item data points at (none when it points nowhere).
static void ItemText(HMENU menu, UINT command, ULONG_PTR data, char* out) {
    out[0] = '\0';
    if (menu) GetMenuStringA(menu, command, out, kMenuTextSize, MF_BYCOMMAND);
    if (!out[0] && data) CopyText(out, kMenuTextSize, (const char*)data);
}

static void OnCreate() {
    IconMenu.font = CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                                FIXED_PITCH | FF_MODERN, "MS UI Gothic");
}

static void OnDestroy() {
    if (IconMenu.font) DeleteObject(IconMenu.font);
    if (IconMenu.strip) DeleteObject(IconMenu.strip);
    if (IconMenu.images) ImageList_Destroy(IconMenu.images);
    IconMenu.font = nullptr;
    IconMenu.strip = nullptr;
    IconMenu.images = nullptr;
}

static void OnMeasureItem(HWND window, MEASUREITEMSTRUCT* item) {
    if (item->CtlType != ODT_MENU) return;
    char text[kMenuTextSize];
    ItemText(GetMenu(IconMenu.owner), item->itemID, item->itemData, text);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, IconMenu.font);
    SIZE extent = {};
    int length = lstrlenA(text);
    GetTextExtentPoint32A(dc, text, length > 0 ? length - 1 : 0, &extent);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    item->itemWidth = extent.cx + 18;
    item->itemHeight = 18;
}

static void DrawIconColumn(HDC dc, const RECT& r, int icon, bool grayed, bool checked,
                           bool selected) {
    if (icon == kIconCheckBox) {
        RECT box = {r.left + 1, r.top + 1, r.left + 17, r.top + 17};
        DrawFrameControl(dc, &box, DFC_BUTTON,
                         DFCS_BUTTONCHECK | DFCS_PUSHED | (checked ? DFCS_CHECKED : 0));
        return;
    }
    if (icon < 0) return;
    HICON picture = ImageList_GetIcon(IconMenu.images, icon, ILD_TRANSPARENT);
    DrawStateA(dc, nullptr, nullptr, (LPARAM)picture, 0, r.left + 1, r.top + 1, 16, 16,
               DST_ICON | (grayed ? DSS_DISABLED : DSS_NORMAL));
    if (picture) DestroyIcon(picture);
    if (checked || (selected && !grayed)) {
        RECT square = {r.left, r.top, r.left + 18, r.top + 18};
        DrawEdge(dc, &square, checked ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }
}

static void OnDrawItem(DRAWITEMSTRUCT* item) {
    if (item->CtlType != ODT_MENU) return;
    HDC dc = item->hDC;
    const RECT& r = item->rcItem;
    const int icon = IconFor(item->itemID);
    char text[kMenuTextSize];
    ItemText((HMENU)item->hwndItem, item->itemID, item->itemData, text);
    const bool grayed = (item->itemState & ODS_GRAYED) != 0;
    const bool checked = (item->itemState & ODS_CHECKED) != 0;
    const bool selected = (item->itemState & ODS_SELECTED) != 0;

    FillRect(dc, &r, GetSysColorBrush(COLOR_MENU));
    COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
    COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_MENU));
    if (selected && !grayed) {
        RECT highlight = r;
        if (icon != kIconNone || checked) highlight.left += kIconColumn;
        FillRect(dc, &highlight, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    }
    int oldMode = SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, IconMenu.font);
    DrawStateA(dc, nullptr, nullptr, (LPARAM)text, 0, r.left + 25, r.top + 2, 0, 0,
               DST_PREFIXTEXT | (grayed ? DSS_DISABLED : DSS_NORMAL));
    SelectObject(dc, oldFont);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
    DrawIconColumn(dc, r, icon, grayed, checked, selected);
}

int IconMenuHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_MEASUREITEM:
        OnMeasureItem(window, (MEASUREITEMSTRUCT*)lParam);
        break;
    case WM_DRAWITEM:
        OnDrawItem((DRAWITEMSTRUCT*)lParam);
        break;
    }
    return 1;
}
