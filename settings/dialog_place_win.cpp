#include "settings/dialog_place_win.h"

void CentreOverOwner(HWND window) {
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner) return;
    RECT ownerRect, ownRect;
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(window, &ownRect);
    int ownWidth = ownRect.right - ownRect.left, ownHeight = ownRect.bottom - ownRect.top;
    int left = ownerRect.left + (ownerRect.right - ownerRect.left - ownWidth) / 2;
    int top = ownerRect.top + (ownerRect.bottom - ownerRect.top - ownHeight) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
