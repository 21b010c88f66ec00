#include "app/drop_target_win.h"

#include <new>

#include "app/drop_text.h"
#include "text/address.h"

namespace {

// Dragged texts and shortcut files are read up to these sizes; an address
// further in is not looked for.
constexpr size_t kDroppedTextLimit = 16384;
constexpr DWORD kShortcutFileLimit = 16384;

CLIPFORMAT RegisteredFormat(const char* name) {
    return (CLIPFORMAT)RegisterClipboardFormatA(name);
}

// The data of one format as a global memory block, or false.
bool GetGlobal(IDataObject* data, CLIPFORMAT format, STGMEDIUM* medium) {
    FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (data->GetData(&wanted, medium) != S_OK) return false;
    if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal) return true;
    ReleaseStgMedium(medium);
    return false;
}

bool AddressFromAnsiBlock(HGLOBAL block, char* address, size_t size) {
    const char* text = (const char*)GlobalLock(block);
    if (!text) return false;
    size_t length = GlobalSize(block);
    if (length > kDroppedTextLimit) length = kDroppedTextLimit;
    bool found = AddressFromDroppedText(text, length, address, size);
    GlobalUnlock(block);
    return found;
}

// Wide text is turned into the ANSI code page first, as typed text would be.
bool AddressFromWideBlock(HGLOBAL block, char* address, size_t size) {
    const wchar_t* text = (const wchar_t*)GlobalLock(block);
    if (!text) return false;
    size_t count = GlobalSize(block) / sizeof(wchar_t);
    if (count > kDroppedTextLimit) count = kDroppedTextLimit;
    size_t length = 0;
    while (length < count && text[length])
        length++;
    static char ansi[kDroppedTextLimit * 2]; // drops arrive on the one UI thread
    int written =
        WideCharToMultiByte(CP_ACP, 0, text, (int)length, ansi, (int)sizeof ansi, nullptr, nullptr);
    GlobalUnlock(block);
    return written > 0 && AddressFromDroppedText(ansi, (size_t)written, address, size);
}

bool AddressFromShortcutFile(const wchar_t* path, char* address, size_t size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    static char content[kShortcutFileLimit];
    DWORD read = 0;
    BOOL ok = ReadFile(file, content, sizeof content, &read, nullptr);
    CloseHandle(file);
    return ok && AddressFromShortcut(content, read, address, size);
}

bool IsShortcutPath(const wchar_t* path) {
    size_t n = wcslen(path);
    return n >= 4 && _wcsicmp(path + n - 4, L".url") == 0;
}

bool AddressFromBlock(CLIPFORMAT format, HGLOBAL block, char* address, size_t size) {
    if (format == CF_HDROP) return AddressFromDroppedFiles((HDROP)block, address, size);
    if (format == CF_UNICODETEXT || format == RegisteredFormat("UniformResourceLocatorW"))
        return AddressFromWideBlock(block, address, size);
    return AddressFromAnsiBlock(block, address, size);
}

class AddressDropTarget final : public IDropTarget {
  public:
    explicit AddressDropTarget(DroppedAddressHandler handler) : handler_(handler) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // Whether the data holds an address is decided once, on entry.
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        char address[kAddressInputSize];
        accepts_ = data && AddressFromDataObject(data, address, sizeof address);
        return Answer(effect);
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override { return Answer(effect); }
    STDMETHODIMP DragLeave() override {
        accepts_ = false;
        return S_OK;
    }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        accepts_ = false;
        char address[kAddressInputSize];
        if (!data || !AddressFromDataObject(data, address, sizeof address)) {
            if (effect) *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        accepts_ = true;
        HRESULT result = Answer(effect);
        accepts_ = false;
        if (effect && *effect == DROPEFFECT_COPY && handler_) handler_(address);
        return result;
    }

  private:
    // Copy when the data holds an address and the source allows copying.
    HRESULT Answer(DWORD* effect) {
        if (!effect) return E_INVALIDARG;
        *effect = accepts_ && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }

    ULONG references_ = 1;
    bool accepts_ = false;
    DroppedAddressHandler handler_;
};

} // namespace

bool AddressFromDataObject(IDataObject* data, char* address, size_t size) {
    if (!data || !address || size == 0) return false;
    address[0] = '\0';
    const CLIPFORMAT formats[] = {RegisteredFormat("UniformResourceLocatorW"),
                                  RegisteredFormat("UniformResourceLocator"), CF_UNICODETEXT,
                                  CF_TEXT, CF_HDROP};
    for (CLIPFORMAT format : formats) {
        STGMEDIUM medium = {};
        if (!format || !GetGlobal(data, format, &medium)) continue;
        bool found = AddressFromBlock(format, medium.hGlobal, address, size);
        ReleaseStgMedium(&medium);
        if (found) return true;
    }
    address[0] = '\0';
    return false;
}

bool AddressFromDroppedFiles(HDROP drop, char* address, size_t size) {
    if (!drop || !address || size == 0) return false;
    address[0] = '\0';
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; i++) {
        wchar_t path[MAX_PATH];
        UINT length = DragQueryFileW(drop, i, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH || !IsShortcutPath(path)) continue;
        if (AddressFromShortcutFile(path, address, size)) return true;
    }
    address[0] = '\0';
    return false;
}

IDropTarget* CreateAddressDropTarget(DroppedAddressHandler handler) {
    return new (std::nothrow) AddressDropTarget(handler);
}

bool RegisterAddressDropTarget(HWND window, DroppedAddressHandler handler) {
    DragAcceptFiles(window, TRUE);
    IDropTarget* target = CreateAddressDropTarget(handler);
    if (!target) return false;
    HRESULT result = RegisterDragDrop(window, target);
    target->Release(); // OLE holds its own reference while registered
    return result == S_OK;
}

void RevokeAddressDropTarget(HWND window) {
    RevokeDragDrop(window);
    DragAcceptFiles(window, FALSE);
}

void OnDropFiles(HDROP drop, DroppedAddressHandler handler) {
    char address[kAddressInputSize];
    bool found = AddressFromDroppedFiles(drop, address, sizeof address);
    DragFinish(drop);
    if (found && handler) handler(address);
}
