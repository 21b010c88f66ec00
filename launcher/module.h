// Module state of Ferrow.dll shared by its class factory, its object and
// its registration: the count of live objects and server locks, and the
// type information that IDispatch is served from.
#pragma once
#include <windows.h>
#include <oaidl.h>

// Objects plus server locks; DllCanUnloadNow answers S_OK at zero.
void ModuleAddRef();
void ModuleRelease();

// The interface's type information from the registered type library
// (loaded once, on first use): dispatchInfoOut for GetTypeInfo, vtableInfoOut
// (the interface half of the dual interface) for GetIDsOfNames and Invoke.
// Both come AddRef'ed; either may be null when not wanted.
HRESULT GetApiTypeInfo(ITypeInfo** dispatchInfoOut, ITypeInfo** vtableInfoOut);

// Full path of this library file (UTF-16); 0 when it cannot be read whole.
DWORD GetModulePath(wchar_t* pathOut, DWORD size);

// Creates a FerrowApi object, aggregated when outer is given (then riid
// must be IID_IUnknown).
HRESULT CreateFerrowApi(IUnknown* outer, REFIID riid, void** objectOut);
