// Program entry of Ferrow.exe. The main window arrives with the user interface work.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) { return 0; }
