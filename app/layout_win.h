// Window layout persistence in section WINDOW of Ferrow.ini.
#pragma once

// Last step of the main window's creation.
void RestoreWindowLayout();
// First thing when the main window is destroyed.
void SaveWindowLayout();
