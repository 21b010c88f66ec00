// Self-registration of Ferrow.dll: the registry table under
// HKEY_CLASSES_ROOT and the type library embedded as resource TYPELIB 1.
#include <wchar.h>

#include "ferrow_api.h"
#include "launcher/module.h"

namespace {

#define FERROW_CLSID L"{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}"
#define FERROW_LIBID L"{97C49BC7-38B5-4F5A-8341-592F117BDFE7}"
#define CLASS_KEY L"CLSID\\" FERROW_CLSID

// Stands for the library's full path in the table's data.
const wchar_t kModulePath[] = L"%MODULE%";

struct RegistryEntry {
    const wchar_t* key;        // under HKEY_CLASSES_ROOT
    const wchar_t* valueName;  // nullptr: the default value
    const wchar_t* data;       // nullptr: the key alone
};

const RegistryEntry kEntries[] = {
    {L"Ferrow.FerrowApi.1", nullptr, L"FerrowApi Class"},
    {L"Ferrow.FerrowApi.1\\CLSID", nullptr, FERROW_CLSID},
    {L"Ferrow.FerrowApi", nullptr, L"FerrowApi Class"},
    {L"Ferrow.FerrowApi\\CLSID", nullptr, FERROW_CLSID},
    {L"Ferrow.FerrowApi\\CurVer", nullptr, L"Ferrow.FerrowApi.1"},
    {CLASS_KEY, nullptr, L"FerrowApi Class"},
    {CLASS_KEY L"\\ProgID", nullptr, L"Ferrow.FerrowApi.1"},
    {CLASS_KEY L"\\VersionIndependentProgID", nullptr, L"Ferrow.FerrowApi"},
    {CLASS_KEY L"\\Programmable", nullptr, nullptr},
    {CLASS_KEY L"\\InprocServer32", nullptr, kModulePath},
    {CLASS_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {CLASS_KEY L"\\TypeLib", nullptr, FERROW_LIBID},
};

// Trees removed before writing (no stale subkeys survive) and on removal.
// The shared "CLSID" key itself is never among them.
const wchar_t* const kReplacedTrees[] = {CLASS_KEY};
const wchar_t* const kRemovedTrees[] = {CLASS_KEY, L"Ferrow.FerrowApi.1", L"Ferrow.FerrowApi"};

#if defined(_WIN64)
const SYSKIND kSysKind = SYS_WIN64;
#else
const SYSKIND kSysKind = SYS_WIN32;
#endif

HRESULT FromError(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

HRESULT WriteEntry(const RegistryEntry& entry, const wchar_t* modulePath) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                 nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS && entry.data) {
        const wchar_t* data = wcscmp(entry.data, kModulePath) == 0 ? modulePath : entry.data;
        DWORD bytes = (DWORD)((wcslen(data) + 1) * sizeof(wchar_t));
        error = RegSetValueExW(key, entry.valueName, 0, REG_SZ, (const BYTE*)data, bytes);
    }
    if (key) RegCloseKey(key);
    return FromError(error);
}

void RemoveTree(const wchar_t* path) { RegDeleteTreeW(HKEY_CLASSES_ROOT, path); }

// The type library from our own resource, else from "<library>.tlb".
HRESULT LoadOwnTypeLib(const wchar_t* modulePath, ITypeLib** libraryOut) {
    HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_NONE, libraryOut);
    if (SUCCEEDED(hr)) return hr;
    wchar_t tlbPath[MAX_PATH];
    size_t length = wcslen(modulePath);
    const wchar_t* dot = wcsrchr(modulePath, L'.');
    const wchar_t* slash = wcsrchr(modulePath, L'\\');
    if (dot && (!slash || dot > slash)) length = (size_t)(dot - modulePath);
    if (length + 5 > ARRAYSIZE(tlbPath)) return hr;
    wmemcpy(tlbPath, modulePath, length);
    wmemcpy(tlbPath + length, L".tlb", 5);
    return LoadTypeLibEx(tlbPath, REGKIND_NONE, libraryOut);
}

HRESULT RegisterOwnTypeLib(const wchar_t* modulePath) {
    ITypeLib* library = nullptr;
    wchar_t helpFolder[MAX_PATH];
    HRESULT hr = LoadOwnTypeLib(modulePath, &library);
    if (SUCCEEDED(hr)) {
        wcsncpy(helpFolder, modulePath, ARRAYSIZE(helpFolder) - 1);
        helpFolder[ARRAYSIZE(helpFolder) - 1] = L'\0';
        wchar_t* slash = wcsrchr(helpFolder, L'\\');
        if (slash) *slash = L'\0';
        hr = RegisterTypeLib(library, const_cast<wchar_t*>(modulePath), helpFolder);
    }
    if (library) library->Release();
    return hr;
}

}  // namespace

STDAPI DllRegisterServer() {
    wchar_t modulePath[MAX_PATH];
    if (!GetModulePath(modulePath, ARRAYSIZE(modulePath))) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    for (const wchar_t* tree : kReplacedTrees) RemoveTree(tree);
    HRESULT hr = S_OK;
    for (const RegistryEntry& entry : kEntries) {
        hr = WriteEntry(entry, modulePath);
        if (FAILED(hr)) return hr;
    }
    return RegisterOwnTypeLib(modulePath);
}

STDAPI DllUnregisterServer() {
    for (const wchar_t* tree : kRemovedTrees) RemoveTree(tree);
    UnRegisterTypeLib(LIBID_FERROWLib, 1, 0, LANG_NEUTRAL, kSysKind);
    return S_OK;
}
