// Registry state the browser tests touch, read back and put back as found.
#pragma once
#include <windows.h>

#include <string>

// Text of a value (default value when name is null); "" with found false
// when the key or value is missing. Wide text for HKEY_CLASSES_ROOT paths.
std::wstring ReadText(HKEY root, const wchar_t* key, const wchar_t* name, bool* found = nullptr);
bool KeyExists(HKEY root, const wchar_t* key);
// The browser menu's key in 8-bit text, as the program writes it.
extern const char kMenuKey[];

// The browser menu key as it was when made; put back on destruction.
class MenuKeySnapshot {
public:
    MenuKeySnapshot();
    ~MenuKeySnapshot();
    void Restore();

private:
    bool existed_ = false;
    bool hasPage_ = false;
    char page_[MAX_PATH] = {};
    bool hasContexts_ = false, hasFlags_ = false;
    DWORD contexts_ = 0, flags_ = 0;
};

// The automation class's registration as it was when made (which library,
// if any); put back on destruction by registering that library again, or
// by unregistering when there was none.
class ServerRegistrationSnapshot {
public:
    explicit ServerRegistrationSnapshot(const std::wstring& ourLibrary);
    ~ServerRegistrationSnapshot();

private:
    std::wstring ourLibrary_;
    std::wstring previous_;
};

// Calls one of a library's registration exports; E_FAIL when it cannot.
HRESULT CallLibraryExport(const std::wstring& library, const char* name);
// The folder of the running test program, with trailing backslash.
std::wstring ProgramFolderW();
std::string ProgramFolderA();
