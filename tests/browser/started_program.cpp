#include "tests/browser/started_program.h"

#include <windows.h>

#include "tests/browser/registry_support.h"

StandInProgram::StandInProgram() {
    std::string source = ProgramFolderA() + "command_line_recorder.exe";
    CopyFileA(source.c_str(), folder.File("Ferrow.exe").c_str(), FALSE);
}

bool StandInProgram::WaitForStart(std::string* argumentsOut, int timeoutMs) const {
    std::string path = folder.File("started.txt");
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if ((int)(GetTickCount() - start) > timeoutMs) return false;
        Sleep(20);
    }
    *argumentsOut = ReadWholeFile(path);
    return true;
}
