#include "tests/browser/registry_support.h"

#include <cstring>

const char kMenuKey[] = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Ferrowで解析";

std::wstring ReadText(HKEY root, const wchar_t* key, const wchar_t* name, bool* found) {
    wchar_t text[1024];
    DWORD bytes = sizeof text;
    LONG error = RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, text, &bytes);
    if (found) *found = error == ERROR_SUCCESS;
    return error == ERROR_SUCCESS ? std::wstring(text) : std::wstring();
}

bool KeyExists(HKEY root, const wchar_t* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

MenuKeySnapshot::MenuKeySnapshot() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    existed_ = true;
    DWORD bytes = sizeof page_ - 1;
    hasPage_ = RegQueryValueExA(key, nullptr, nullptr, nullptr, (BYTE*)page_, &bytes) == ERROR_SUCCESS;
    bytes = sizeof contexts_;
    hasContexts_ = RegQueryValueExA(key, "contexts", nullptr, nullptr, (BYTE*)&contexts_, &bytes) == ERROR_SUCCESS;
    bytes = sizeof flags_;
    hasFlags_ = RegQueryValueExA(key, "Flags", nullptr, nullptr, (BYTE*)&flags_, &bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
}

MenuKeySnapshot::~MenuKeySnapshot() { Restore(); }

void MenuKeySnapshot::Restore() {
    RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    if (!existed_) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (hasPage_) RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE*)page_, (DWORD)(strlen(page_) + 1));
    if (hasContexts_) RegSetValueExA(key, "contexts", 0, REG_DWORD, (const BYTE*)&contexts_, sizeof contexts_);
    if (hasFlags_) RegSetValueExA(key, "Flags", 0, REG_DWORD, (const BYTE*)&flags_, sizeof flags_);
    RegCloseKey(key);
}

static const wchar_t kServerKey[] = L"CLSID\\{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}\\InprocServer32";

ServerRegistrationSnapshot::ServerRegistrationSnapshot(const std::wstring& ourLibrary)
    : ourLibrary_(ourLibrary), previous_(ReadText(HKEY_CLASSES_ROOT, kServerKey, nullptr)) {}

ServerRegistrationSnapshot::~ServerRegistrationSnapshot() {
    if (!previous_.empty() && GetFileAttributesW(previous_.c_str()) != INVALID_FILE_ATTRIBUTES &&
        CallLibraryExport(previous_, "DllRegisterServer") == S_OK)
        return;
    CallLibraryExport(ourLibrary_, "DllUnregisterServer");
}

HRESULT CallLibraryExport(const std::wstring& library, const char* name) {
    typedef HRESULT(WINAPI * Export)();
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module) return E_FAIL;
    Export call = (Export)(void*)GetProcAddress(module, name);
    HRESULT hr = call ? call() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

std::wstring ProgramFolderW() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::string ProgramFolderA() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}
