// The handles and values that the parts of the main window share.
#pragma once
#include <windows.h>

#include <cstdint>

struct MainWindowState {
    HWND mainWindow;
    HINSTANCE instance;
    HMENU mainMenu; // menu 102, attached to the main window
    HMENU listMenu; // first drop-down of menu 103 (the file list's context menu)
    HWND toolbar;   // null while the toolbar is hidden
    HWND statusBar;
    HWND progressBar; // child of the status bar
    HWND urlBox;      // drop-down combo box
    HWND urlEdit;     // the combo box's edit field
    HWND fileList;
    HWND log;
    HWND engineWindow; // LogoClass: engine and activity logo
    HWND listLogBar;   // VLineClass splitter
    HWND logViewerBar; // HLineClass splitter, only while the viewer is docked
    HWND viewer;       // null while the viewer is closed
    HFONT logFont;
    HPEN barPen; // XOR drag line of the splitters
    int32_t toolbarHeight;
    int32_t urlBoxHeight;
    int32_t statusHeight;
    float listRatio;   // share of the client height above the list/log bar
    float viewerRatio; // share of the client width taken by the docked viewer
    HHOOK keyboardHook;
    HHOOK mouseHook;
    int32_t sortDirections[4]; // per column: 0 never sorted, 1 ascending, 2 descending
};

extern MainWindowState MainWindow;
