#include "tests/settings_ui/help_viewer_override.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace {

const char kServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const char kUserClasses[] = "Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}";

bool ReadDefault(HKEY root, const char* path, std::string* value) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char text[MAX_PATH] = "";
    DWORD size = sizeof text - 1;
    LONG result = RegQueryValueExA(key, nullptr, nullptr, nullptr, (BYTE*)text, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    *value = text;
    return true;
}

bool WriteDefault(HKEY root, const char* path, const std::string& value) {
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE*)value.c_str(),
                                 (DWORD)value.size() + 1);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

std::string TestProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\'));
}

HelpViewerOverride::HelpViewerOverride() {
    const std::string stub = TestProgramFolder() + "\\help_viewer_stub.dll";
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    record_ = std::string(temp) + "ferrow-help-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(record_.c_str());
    SetEnvironmentVariableA("FERROW_HELP_RECORD", record_.c_str());

    // Per-user classes override the machine's without touching them; where
    // the classes root does not show them, the machine's value is replaced
    // and put back afterwards.
    std::string seen;
    if (WriteDefault(HKEY_CURRENT_USER, (std::string(kUserClasses) + "\\InprocServer32").c_str(),
                     stub) &&
        ReadDefault(HKEY_CLASSES_ROOT, kServerKey, &seen) && seen == stub) {
        active_ = true;
        return;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kUserClasses);
    machineWide_ = true;
    const std::string machineKey = std::string("Software\\Classes\\") + kServerKey;
    hadValue_ = ReadDefault(HKEY_LOCAL_MACHINE, machineKey.c_str(), &savedValue_);
    active_ = WriteDefault(HKEY_LOCAL_MACHINE, machineKey.c_str(), stub);
}

HelpViewerOverride::~HelpViewerOverride() {
    if (!machineWide_) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kUserClasses);
    } else if (hadValue_) {
        WriteDefault(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + kServerKey).c_str(),
                     savedValue_);
    }
    SetEnvironmentVariableA("FERROW_HELP_RECORD", nullptr);
    DeleteFileA(record_.c_str());
}

std::vector<std::string> HelpViewerOverride::Requests() const {
    std::ifstream in(record_, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

bool HelpViewerOverride::WaitForRequests(size_t count, int timeoutMs) const {
    for (int waited = 0;; waited += 20) {
        if (Requests().size() >= count) return true;
        if (waited >= timeoutMs) return false;
        Sleep(20);
    }
}
