// Browser integration seen from Ferrow.exe: registration of Ferrow.dll, the
// browser's context-menu entry, and the address of a running browser's page.
#pragma once
#include <windows.h>

// Loads the library by full path and calls its DllRegisterServer: 1 when it
// ran and returned 0, else 0.
int RegisterAutomationLibrary(const char* libraryPath);
// 1 when the browser cannot start a program from folder: it holds
// double-byte text.
int BrowserCannotStartFrom(const char* folder);
// Writes the context-menu key and its values: 1 on success, 0 on failure.
int RegisterBrowserMenu();
// Deletes the context-menu key: always 1.
int UnregisterBrowserMenu();
// Writes FerrowHost.json beside the program and names it as the native
// messaging host of the browser extension for Chrome, Edge and Firefox: 1
// on success, 0 when the file or a key could not be written.
int RegisterExtensionHost();
// Deletes the three keys and the file: always 1.
int UnregisterExtensionHost();
// Asks a running browser (DDE service name) for its current page address:
// 1 when it answered with data (copied into reply, at most size - 1 bytes).
int GetBrowserUrlByDde(const char* service, char* reply, int size);
