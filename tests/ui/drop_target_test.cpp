// The main window's drop target in-process: data objects of each format a
// browser or the file manager offers, the cursor it asks for, the address it
// hands on, and a posted file drop of Internet shortcuts.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/drop_target_win.h"
#include "tests/support/temp_folder.h"

namespace {

// What the handler received.
std::vector<std::string> handed;
void RecordAddress(const char* address) {
    handed.push_back(address);
}

HGLOBAL GlobalCopy(const void* bytes, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

// A DROPFILES block with wide names, as the file manager builds it.
HGLOBAL FileDropBlock(const std::vector<std::string>& paths) {
    std::wstring names;
    for (const std::string& path : paths) {
        wchar_t wide[MAX_PATH];
        int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        names.append(wide, n); // with its terminator
    }
    names.push_back(L'\0');
    std::vector<char> block(sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    DROPFILES* header = (DROPFILES*)block.data();
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    memcpy(block.data() + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
    return GlobalCopy(block.data(), block.size());
}

// A data object holding global-memory data of the given formats.
class DataObject final : public IDataObject {
  public:
    void Add(CLIPFORMAT format, const void* bytes, size_t size) {
        items_.push_back({format, std::string((const char*)bytes, size)});
    }
    void AddAnsi(CLIPFORMAT format, const std::string& text) {
        Add(format, text.c_str(), text.size() + 1);
    }
    void AddWide(CLIPFORMAT format, const std::wstring& text) {
        Add(format, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    void AddFiles(const std::vector<std::string>& paths) {
        HGLOBAL block = FileDropBlock(paths);
        Add(CF_HDROP, GlobalLock(block), GlobalSize(block));
        GlobalUnlock(block);
        GlobalFree(block);
    }
    int requests = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* wanted, STGMEDIUM* medium) override {
        requests++;
        for (const Item& item : items_) {
            if (item.format != wanted->cfFormat || !(wanted->tymed & TYMED_HGLOBAL)) continue;
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = GlobalCopy(item.bytes.data(), item.bytes.size());
            medium->pUnkForRelease = nullptr;
            return S_OK;
        }
        return DV_E_FORMATETC;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* wanted) override {
        for (const Item& item : items_)
            if (item.format == wanted->cfFormat) return S_OK;
        return DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    struct Item {
        CLIPFORMAT format;
        std::string bytes;
    };
    std::vector<Item> items_;
};

CLIPFORMAT Format(const char* name) {
    return (CLIPFORMAT)RegisterClipboardFormatA(name);
}

struct DropResult {
    DWORD enterEffect, overEffect, dropEffect;
};

// One drag over the target and a drop, the source allowing `allowed`.
DropResult DragAndDrop(IDataObject* data,
                       DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_LINK | DROPEFFECT_MOVE) {
    IDropTarget* target = CreateAddressDropTarget(RecordAddress);
    DropResult r;
    POINTL at = {10, 10};
    r.enterEffect = r.overEffect = r.dropEffect = allowed;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, at, &r.enterEffect), S_OK);
    EXPECT_EQ(target->DragOver(MK_LBUTTON, at, &r.overEffect), S_OK);
    EXPECT_EQ(target->Drop(data, 0, at, &r.dropEffect), S_OK);
    target->Release();
    return r;
}

class DropTarget : public ::testing::Test {
  protected:
    void SetUp() override { handed.clear(); }
};

// Each format alone: what a browser offers for a link, an image or the page
// address, and what other programs offer for text.
TEST_F(DropTarget, EachFormatWithAnAddressGivesCopyAndAnalysesIt) {
    // In the ANSI code page (932 here) the Japanese path becomes Shift_JIS.
    const char kJapanesePath[] = "http://127.0.0.1/\x93\xfa\x96\x7b.html"; // 日本.html
    struct Case {
        const char* what;
        void (*fill)(DataObject&);
        const char* address;
    } cases[] = {
        {"UniformResourceLocatorW",
         [](DataObject& d) {
             d.AddWide(Format("UniformResourceLocatorW"), L"https://example.com/a.jpg");
         },
         "https://example.com/a.jpg"},
        {"UniformResourceLocator",
         [](DataObject& d) {
             d.AddAnsi(Format("UniformResourceLocator"), "http://example.com/page.html");
         },
         "http://example.com/page.html"},
        {"CF_UNICODETEXT with Japanese",
         [](DataObject& d) { d.AddWide(CF_UNICODETEXT, L"リンク http://127.0.0.1/日本.html"); },
         kJapanesePath},
        {"CF_TEXT", [](DataObject& d) { d.AddAnsi(CF_TEXT, "  http://h/index.htm\r\n"); },
         "http://h/index.htm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        handed.clear();
        DataObject data;
        c.fill(data);
        DropResult r = DragAndDrop(&data);
        EXPECT_EQ(r.enterEffect, (DWORD)DROPEFFECT_COPY);
        EXPECT_EQ(r.overEffect, (DWORD)DROPEFFECT_COPY);
        EXPECT_EQ(r.dropEffect, (DWORD)DROPEFFECT_COPY);
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0], c.address);
    }
}

TEST_F(DropTarget, DataWithoutAnAddressGetsNoCursorAndNothingHappens) {
    struct Case {
        const char* what;
        void (*fill)(DataObject&);
    } cases[] = {
        {"plain text", [](DataObject& d) { d.AddAnsi(CF_TEXT, "just some words"); }},
        {"another scheme", [](DataObject& d) { d.AddWide(CF_UNICODETEXT, L"ftp://h/file.zip"); }},
        {"a locator of a local file",
         [](DataObject& d) { d.AddAnsi(Format("UniformResourceLocator"), "file:///C:/x.html"); }},
        {"a bitmap only", [](DataObject& d) { d.AddAnsi(CF_DIB, "BM"); }},
        {"nothing at all", [](DataObject&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataObject data;
        c.fill(data);
        DropResult r = DragAndDrop(&data);
        EXPECT_EQ(r.enterEffect, (DWORD)DROPEFFECT_NONE);
        EXPECT_EQ(r.overEffect, (DWORD)DROPEFFECT_NONE);
        EXPECT_EQ(r.dropEffect, (DWORD)DROPEFFECT_NONE);
    }
    EXPECT_TRUE(handed.empty());
}

TEST_F(DropTarget, LocatorFormatsComeBeforePlainText) {
    // A browser dragging a link offers its address and its text: the address wins.
    DataObject data;
    data.AddAnsi(CF_TEXT, "http://text.example/");
    data.AddWide(CF_UNICODETEXT, L"http://unicode.example/");
    data.AddAnsi(Format("UniformResourceLocator"), "http://ansi-locator.example/");
    data.AddWide(Format("UniformResourceLocatorW"), L"http://wide-locator.example/");
    DragAndDrop(&data);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], "http://wide-locator.example/");

    // A locator that holds no web address does not hide the text's.
    handed.clear();
    DataObject mixed;
    mixed.AddAnsi(Format("UniformResourceLocator"), "about:blank");
    mixed.AddAnsi(CF_TEXT, "http://text.example/");
    DragAndDrop(&mixed);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], "http://text.example/");
}

TEST_F(DropTarget, SourceThatDoesNotAllowCopyingGetsNoCursor) {
    DataObject data;
    data.AddAnsi(CF_TEXT, "http://h/");
    DropResult r = DragAndDrop(&data, DROPEFFECT_MOVE);
    EXPECT_EQ(r.enterEffect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(r.dropEffect, (DWORD)DROPEFFECT_NONE);
    EXPECT_TRUE(handed.empty());
}

TEST_F(DropTarget, DragLeftWithoutDropHandsNothingOn) {
    DataObject data;
    data.AddAnsi(CF_TEXT, "http://h/");
    IDropTarget* target = CreateAddressDropTarget(RecordAddress);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY);
    EXPECT_EQ(target->DragLeave(), S_OK);
    // After leaving, a bare DragOver (no new entry) shows no cursor.
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragOver(MK_LBUTTON, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    target->Release();
    EXPECT_TRUE(handed.empty());
}

// Internet shortcuts written as the file manager writes them.
struct Shortcuts {
    TempFolder dir;
    std::string page, secure, text, broken;
    Shortcuts() {
        page = dir.File("page.url");
        WriteWholeFile(page, "[InternetShortcut]\r\nURL=http://h/from-shortcut.html\r\n");
        secure = dir.File("SECURE.URL");
        WriteWholeFile(
            secure,
            "[DEFAULT]\r\nBASEURL=http://base/\r\n[InternetShortcut]\r\nURL=https://h/s\r\n");
        text = dir.File("notes.txt");
        WriteWholeFile(text, "[InternetShortcut]\r\nURL=http://h/not-a-shortcut\r\n");
        broken = dir.File("broken.url");
        WriteWholeFile(broken, "[InternetShortcut]\r\nURL=mailto:someone@example.com\r\n");
    }
};

TEST_F(DropTarget, ShortcutFilesDraggedFromTheFileManager) {
    Shortcuts files;
    struct Case {
        std::vector<std::string> paths;
        const char* address; // nullptr: no cursor
    } cases[] = {
        {{files.page}, "http://h/from-shortcut.html"},
        {{files.text, files.broken, files.secure},
         "https://h/s"}, // the first shortcut with an address
        {{files.text}, nullptr},
        {{files.broken}, nullptr},
        {{files.dir.File("missing.url")}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paths[0]);
        handed.clear();
        DataObject data;
        data.AddFiles(c.paths);
        DropResult r = DragAndDrop(&data);
        if (!c.address) {
            EXPECT_EQ(r.enterEffect, (DWORD)DROPEFFECT_NONE);
            EXPECT_TRUE(handed.empty());
            continue;
        }
        EXPECT_EQ(r.enterEffect, (DWORD)DROPEFFECT_COPY);
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0], c.address);
    }
}

LRESULT CALLBACK DropWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) {
        OnDropFiles((HDROP)wParam, RecordAddress);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeDropWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DropWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DropTestWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "DropTestWindow", "drop", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

TEST_F(DropTarget, PostedFileDropOfAShortcutIsHandedOn) {
    Shortcuts files;
    HWND window = MakeDropWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(
        PostMessageA(window, WM_DROPFILES, (WPARAM)FileDropBlock({files.text, files.page}), 0));
    PumpMessages();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], "http://h/from-shortcut.html");
    // A drop of files that are no shortcuts hands nothing on.
    handed.clear();
    PostMessageA(window, WM_DROPFILES, (WPARAM)FileDropBlock({files.text}), 0);
    PumpMessages();
    EXPECT_TRUE(handed.empty());
    DestroyWindow(window);
}

TEST_F(DropTarget, RegistrationMakesTheWindowATargetForBothKindsOfDrop) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    HWND window = MakeDropWindow();
    ASSERT_TRUE(RegisterAddressDropTarget(window, RecordAddress));
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    // A second registration of the same window is refused by OLE.
    IDropTarget* other = CreateAddressDropTarget(RecordAddress);
    EXPECT_EQ(RegisterDragDrop(window, other), DRAGDROP_E_ALREADYREGISTERED);
    other->Release();
    RevokeAddressDropTarget(window);
    EXPECT_FALSE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(RevokeDragDrop(window), DRAGDROP_E_NOTREGISTERED);
    DestroyWindow(window);
    OleUninitialize();
}

} // namespace
