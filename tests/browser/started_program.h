// A stand-in for Ferrow.exe (command_line_recorder.exe copied under that
// name into a folder of its own) and the wait for what it recorded.
#pragma once
#include <string>

#include "tests/support/temp_folder.h"

struct StandInProgram {
    TempFolder folder;
    StandInProgram();  // copies the recorder in as Ferrow.exe
    std::string Folder() const { return folder.path.string(); }
    // The command line the stand-in was started with (without its own
    // name), once it has written it; false when none came within the time.
    bool WaitForStart(std::string* argumentsOut, int timeoutMs = 30000) const;
};
