// Drives dialogs of the test's main thread from a second thread, the way a
// user would: finds windows, clicks, types, and waits with time-outs.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Polls every 20 ms until the condition holds or the time-out passes.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// The visible top-level dialog (class "#32770") of the given thread that
// has a child with the given id, other than except; null after the time-out.
HWND WaitForDialog(DWORD threadId, int childId, int timeoutMs = 10000, HWND except = nullptr);

// The child dialog (a page) of parent that contains the control id.
HWND FindPage(HWND parent, int controlId);

std::string TextOf(HWND window);
std::string ItemText(HWND page, int id);
bool ItemEnabled(HWND page, int id);
bool ItemChecked(HWND page, int id);

// A mouse click in the client area at (x, y).
void ClickAt(HWND window, int x, int y);
// Clicks a button (check box, radio button, push button) and waits for it.
void Click(HWND page, int id);
// Selects the whole text of an edit and replaces it keystroke by keystroke;
// an empty text deletes it.
void TypeInto(HWND page, int id, const char* text);
// Replaces the whole text of an edit at once, as pasting does.
void PasteInto(HWND page, int id, const char* text);
// Clicks the tab with the given index in a tab control.
void ClickTab(HWND tabs, int index);

// Runs body on a driver thread while the current thread runs modal(); when
// the body ends with the dialog still open, Cancel closes it.
void RunWithDriver(const std::function<void()>& modal, const std::function<void(DWORD)>& body);
