// What start-up tells the user when a window it needs cannot be created:
// which one, and the system's error number. Pure text, no windows here.
#pragma once
#include <cstddef>

// The windows of start-up, in the order they are created.
enum StartupPart {
    PartMainWindow,
    PartToolbar,
    PartStatusBar,
    PartProgressBar,
    PartUrlBox,
    PartFileList,
    PartListLogBar,
    PartEngineWindow,
    PartLog,
    kStartupPartCount,
};

// The name the user knows the part by.
const char* StartupPartName(StartupPart part);
// The message box text for a part that could not be created.
void FormatStartupFailure(char* buffer, size_t size, StartupPart part, unsigned long error);
