// A fresh folder under the system's temporary folder, removed at scope end.
#pragma once
#include <filesystem>
#include <string>

struct TempFolder {
    std::filesystem::path path;
    TempFolder();
    ~TempFolder();
    // A path inside the folder, as 8-bit text.
    std::string File(const char* name) const { return (path / name).string(); }
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text);
