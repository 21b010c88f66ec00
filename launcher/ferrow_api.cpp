// The FerrowApi object (class ApiObject here): IUnknown (aggregatable), IDispatch served from the
// type library, and IFerrowApi::Open. Apartment-threaded, so its own
// reference count is a plain counter.
#include <new>

#include "ferrow_api.h"
#include "launcher/hand_over.h"
#include "launcher/module.h"

namespace {

class ApiObject final : public IFerrowApi {
public:
    explicit ApiObject(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) { ModuleAddRef(); }
    ~ApiObject() { ModuleRelease(); }

    IUnknown* Inner() { return &inner_; }

    // IUnknown of the interface: always the controlling unknown's.
    STDMETHODIMP QueryInterface(REFIID riid, void** objectOut) override {
        return outer_->QueryInterface(riid, objectOut);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

    STDMETHODIMP GetTypeInfoCount(UINT* countOut) override {
        if (!countOut) return E_POINTER;
        *countOut = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** infoOut) override {
        if (!infoOut) return E_POINTER;
        *infoOut = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return GetApiTypeInfo(infoOut, nullptr);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* idsOut) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        HRESULT hr = GetApiTypeInfo(nullptr, &info);
        if (SUCCEEDED(hr)) {
            hr = DispGetIDsOfNames(info, names, count, idsOut);
            info->Release();
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        HRESULT hr = GetApiTypeInfo(nullptr, &info);
        if (SUCCEEDED(hr)) {
            hr = DispInvoke(static_cast<IFerrowApi*>(this), info, id, flags, params, result, exception,
                            argumentError);
            info->Release();
        }
        return hr;
    }

    STDMETHODIMP Open(BSTR address) override;

private:
    // The object's own IUnknown: the one an aggregating outer object holds.
    class InnerUnknown : public IUnknown {
    public:
        explicit InnerUnknown(ApiObject* owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** objectOut) override {
            if (!objectOut) return E_POINTER;
            *objectOut = nullptr;
            if (riid == IID_IUnknown) *objectOut = static_cast<IUnknown*>(this);
            else if (riid == IID_IDispatch || riid == IID_IFerrowApi)
                *objectOut = static_cast<IFerrowApi*>(owner_);
            else return E_NOINTERFACE;
            static_cast<IUnknown*>(*objectOut)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
        STDMETHODIMP_(ULONG) Release() override {
            ULONG left = --refs_;
            if (left == 0) delete owner_;
            return left;
        }

    private:
        ApiObject* owner_;
        ULONG refs_ = 0;
    };

    InnerUnknown inner_;
    IUnknown* outer_;  // the aggregating object, or our own inner unknown
};

// The address as ANSI text: up to two bytes per character plus a terminator
// (the extra byte keeps the buffer even-sized, as one wide character).
STDMETHODIMP ApiObject::Open(BSTR address) {
    UINT characters = address ? SysStringLen(address) : 0;
    size_t size = (size_t)characters * 2 + 2;
    char* text = new (std::nothrow) char[size];
    if (!text) return E_OUTOFMEMORY;
    int bytes = 0;
    if (characters > 0)
        bytes = WideCharToMultiByte(CP_ACP, 0, address, (int)characters, text, (int)size - 1, nullptr, nullptr);
    text[bytes > 0 ? bytes : 0] = '\0';
    HRESULT hr = HandOverAddress(text);
    delete[] text;
    return hr;
}

}  // namespace

HRESULT CreateFerrowApi(IUnknown* outer, REFIID riid, void** objectOut) {
    ApiObject* object = new (std::nothrow) ApiObject(outer);
    if (!object) return E_OUTOFMEMORY;
    // Hold the object across the query so that a refused interface frees it.
    IUnknown* inner = object->Inner();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(riid, objectOut);
    inner->Release();
    return hr;
}
