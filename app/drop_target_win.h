// Page addresses dragged onto the main window: an OLE drop target for links,
// images and page addresses from browsers and for Internet shortcut files,
// and the older WM_DROPFILES of shortcut files from the file manager.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

// Called on the window's thread with the address that was dropped.
typedef void (*DroppedAddressHandler)(const char* address);

// The first http:// or https:// address in the data object, tried in this
// order: "UniformResourceLocatorW", "UniformResourceLocator",
// CF_UNICODETEXT, CF_TEXT, then the .url files of CF_HDROP. Cut to size.
bool AddressFromDataObject(IDataObject* data, char* address, size_t size);

// The address of the first .url file in a file drop that holds one.
bool AddressFromDroppedFiles(HDROP drop, char* address, size_t size);

// A new drop target (one reference) that shows the copy cursor only for data
// holding an address and hands that address to the handler on drop.
IDropTarget* CreateAddressDropTarget(DroppedAddressHandler handler);

// Makes the window a drop target for both kinds of drop. OLE must be
// initialised on the thread. False when OLE refuses the registration (file
// drops then still arrive as WM_DROPFILES).
bool RegisterAddressDropTarget(HWND window, DroppedAddressHandler handler);
void RevokeAddressDropTarget(HWND window);

// WM_DROPFILES: hands the first shortcut's address to the handler and
// finishes the drop.
void OnDropFiles(HDROP drop, DroppedAddressHandler handler);
