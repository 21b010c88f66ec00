// Stands in for Ferrow.exe where a test only needs to know that the program
// was started and with what: writes its arguments to "started.txt" beside
// itself (written under another name first, so a reader never sees half).
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    std::string partial = folder + "started.tmp", finished = folder + "started.txt";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, arguments, (DWORD)lstrlenA(arguments), &written, nullptr);
    CloseHandle(file);
    return MoveFileExA(partial.c_str(), finished.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
