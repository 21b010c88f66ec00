// Help file and about box (commands 40018 and 40019).
#pragma once
#include <windows.h>

// Opens Ferrow.chm of the program folder at its contents; does nothing when
// no HTML Help viewer can be found.
void ShowHelp();
// Shows the about box modally.
void ShowAbout(HWND owner);
