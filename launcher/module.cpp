// Entry points of Ferrow.dll as an in-process server: the class table, its
// class factory, the module count and the cached type information.
#include "launcher/module.h"

#include <new>

#include "ferrow_api.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

volatile LONG moduleCount = 0;
// Guards the class factories' first creation and the type information.
SRWLOCK moduleLock = SRWLOCK_INIT;
ITypeInfo* cachedDispatchInfo = nullptr;
ITypeInfo* cachedVtableInfo = nullptr;

typedef HRESULT (*CreateFunction)(IUnknown* outer, REFIID riid, void** objectOut);

// One factory per creatable class. It lives in the class table and never
// frees itself: the count only tells callers when they may let go of it.
class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** objectOut) override {
        if (!objectOut) return E_POINTER;
        *objectOut = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *objectOut = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override { return (ULONG)InterlockedDecrement(&refs_); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** objectOut) override {
        if (!objectOut) return E_POINTER;
        *objectOut = nullptr;
        // An outer object may only hold the inner object's own IUnknown.
        if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        return create_(outer, riid, objectOut);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ModuleAddRef();
        else ModuleRelease();
        return S_OK;
    }

private:
    CreateFunction create_;
    volatile LONG refs_ = 1;  // the class table's own reference
};

struct ClassEntry {
    const CLSID* clsid;
    CreateFunction create;
    ClassFactory* factory;  // made on first request, kept until unload
};

ClassEntry classTable[] = {
    {&CLSID_FerrowApi, CreateFerrowApi, nullptr},
};

ClassFactory* FactoryOf(ClassEntry& entry) {
    AcquireSRWLockExclusive(&moduleLock);
    if (!entry.factory) {
        // Placement into static storage: the factory must outlive every
        // client reference and needs no heap.
        static unsigned char storage[ARRAYSIZE(classTable)][sizeof(ClassFactory)]
            __attribute__((aligned(alignof(ClassFactory))));
        size_t index = (size_t)(&entry - classTable);
        entry.factory = new (storage[index]) ClassFactory(entry.create);
    }
    ReleaseSRWLockExclusive(&moduleLock);
    return entry.factory;
}

void ReleaseTypeInfo() {
    if (cachedVtableInfo) cachedVtableInfo->Release();
    if (cachedDispatchInfo) cachedDispatchInfo->Release();
    cachedVtableInfo = nullptr;
    cachedDispatchInfo = nullptr;
}

// Loads the interface's type information from the registered library. For a
// dual interface the library hands out the dispatch half; its vtable half is
// what GetIDsOfNames and Invoke must walk to call Open directly.
HRESULT LoadTypeInfo() {
    ITypeLib* library = nullptr;
    ITypeInfo* dispatchInfo = nullptr;
    ITypeInfo* vtableInfo = nullptr;
    HREFTYPE vtableRef = 0;
    HRESULT hr = LoadRegTypeLib(LIBID_FERROWLib, 1, 0, LANG_NEUTRAL, &library);
    if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(IID_IFerrowApi, &dispatchInfo);
    if (SUCCEEDED(hr)) {
        if (SUCCEEDED(dispatchInfo->GetRefTypeOfImplType(-1, &vtableRef)))
            hr = dispatchInfo->GetRefTypeInfo(vtableRef, &vtableInfo);
        else {
            vtableInfo = dispatchInfo;  // already the interface itself
            vtableInfo->AddRef();
        }
    }
    if (SUCCEEDED(hr)) {
        cachedDispatchInfo = dispatchInfo;
        cachedVtableInfo = vtableInfo;
        dispatchInfo = nullptr;
        vtableInfo = nullptr;
    }
    if (vtableInfo) vtableInfo->Release();
    if (dispatchInfo) dispatchInfo->Release();
    if (library) library->Release();
    return hr;
}

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&moduleCount); }
void ModuleRelease() { InterlockedDecrement(&moduleCount); }

HRESULT GetApiTypeInfo(ITypeInfo** dispatchInfoOut, ITypeInfo** vtableInfoOut) {
    HRESULT hr = S_OK;
    AcquireSRWLockExclusive(&moduleLock);
    if (!cachedVtableInfo) hr = LoadTypeInfo();
    if (SUCCEEDED(hr)) {
        if (dispatchInfoOut) {
            *dispatchInfoOut = cachedDispatchInfo;
            cachedDispatchInfo->AddRef();
        }
        if (vtableInfoOut) {
            *vtableInfoOut = cachedVtableInfo;
            cachedVtableInfo->AddRef();
        }
    }
    ReleaseSRWLockExclusive(&moduleLock);
    return hr;
}

DWORD GetModulePath(wchar_t* pathOut, DWORD size) {
    DWORD length = GetModuleFileNameW((HMODULE)&__ImageBase, pathOut, size);
    if (length == 0 || length >= size) {  // a cut path would name another file
        if (size > 0) pathOut[0] = L'\0';
        return 0;
    }
    return length;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** objectOut) {
    if (!objectOut) return E_POINTER;
    *objectOut = nullptr;
    for (ClassEntry& entry : classTable) {
        if (*entry.clsid == clsid) return FactoryOf(entry)->QueryInterface(riid, objectOut);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    HRESULT hr = S_FALSE;
    AcquireSRWLockExclusive(&moduleLock);
    if (moduleCount == 0) {
        // Nothing uses the type information any more; let it go with us.
        ReleaseTypeInfo();
        hr = S_OK;
    }
    ReleaseSRWLockExclusive(&moduleLock);
    return hr;
}
