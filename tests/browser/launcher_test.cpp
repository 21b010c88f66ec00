// Ferrow.dll as a COM client sees it: its registration, class factory,
// aggregation, and Open through the vtable and through IDispatch.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/address.h"
#include "ferrow_api.h"
#include "tests/browser/registry_support.h"
#include "tests/browser/started_program.h"

namespace {

#define CLASS_KEY L"CLSID\\{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}"
#define LIBID_TEXT L"{97C49BC7-38B5-4F5A-8341-592F117BDFE7}"

std::wstring LibraryPath() { return ProgramFolderW() + L"Ferrow.dll"; }

// What a window of class FerrowClass in this process received.
struct CopyData {
    WPARAM wParam;
    ULONG_PTR dwData;
    DWORD cbData;
    std::string bytes;
};
std::vector<CopyData> received;

LRESULT CALLBACK StandInWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = (const COPYDATASTRUCT*)lParam;
        received.push_back({wParam, data->dwData, data->cbData, std::string((const char*)data->lpData, data->cbData)});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window of the program's class, as a running Ferrow.exe has.
class StandInMainWindow {
public:
    StandInMainWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = StandInWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FerrowClass";
        RegisterClassA(&windowClass);
        window_ = CreateWindowA("FerrowClass", "Ferrow", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        received.clear();
    }
    ~StandInMainWindow() {
        DestroyWindow(window_);
        UnregisterClassA("FerrowClass", GetModuleHandleA(nullptr));
    }

private:
    HWND window_;
};

// Sets the browser menu's page path as Ferrow.exe would (or removes the key).
void SetMenuPage(const char* page) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kMenuKey);
    if (!page) return;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE*)page, (DWORD)strlen(page) + 1);
    RegCloseKey(key);
}

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : text_(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(text_); }
    operator BSTR() const { return text_; }

private:
    BSTR text_;
};

typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT(WINAPI* CanUnloadFunction)();

class LauncherTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library = LoadLibraryW(LibraryPath().c_str());
        ASSERT_NE(nullptr, library);
        registration = new ServerRegistrationSnapshot(LibraryPath());
    }
    static void TearDownTestSuite() {
        delete registration;
        FreeLibrary(library);
    }
    void SetUp() override {
        ASSERT_EQ(S_OK, CallLibraryExport(LibraryPath(), "DllRegisterServer"));
        GetClassObject = (GetClassObjectFunction)(void*)GetProcAddress(library, "DllGetClassObject");
        CanUnloadNow = (CanUnloadFunction)(void*)GetProcAddress(library, "DllCanUnloadNow");
        ASSERT_TRUE(GetClassObject && CanUnloadNow);
    }
    IFerrowApi* CreateApi() {
        IFerrowApi* api = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FerrowApi, nullptr, CLSCTX_INPROC_SERVER, IID_IFerrowApi, (void**)&api));
        return api;
    }

    static HMODULE library;
    static ServerRegistrationSnapshot* registration;
    GetClassObjectFunction GetClassObject = nullptr;
    CanUnloadFunction CanUnloadNow = nullptr;
    MenuKeySnapshot menuKey;
};
HMODULE LauncherTest::library = nullptr;
ServerRegistrationSnapshot* LauncherTest::registration = nullptr;

struct ExpectedValue {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* data;  // nullptr: the library's full path
};

TEST_F(LauncherTest, RegistrationWritesEveryKeyOfTheTable) {
    const ExpectedValue table[] = {
        {L"Ferrow.FerrowApi.1", nullptr, L"FerrowApi Class"},
        {L"Ferrow.FerrowApi.1\\CLSID", nullptr, L"{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}"},
        {L"Ferrow.FerrowApi", nullptr, L"FerrowApi Class"},
        {L"Ferrow.FerrowApi\\CLSID", nullptr, L"{5D482B57-F2BE-4C11-AD4E-C755B49C1C77}"},
        {L"Ferrow.FerrowApi\\CurVer", nullptr, L"Ferrow.FerrowApi.1"},
        {CLASS_KEY, nullptr, L"FerrowApi Class"},
        {CLASS_KEY L"\\ProgID", nullptr, L"Ferrow.FerrowApi.1"},
        {CLASS_KEY L"\\VersionIndependentProgID", nullptr, L"Ferrow.FerrowApi"},
        {CLASS_KEY L"\\InprocServer32", nullptr, nullptr},
        {CLASS_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {CLASS_KEY L"\\TypeLib", nullptr, LIBID_TEXT},
        {L"TypeLib\\" LIBID_TEXT L"\\1.0\\0\\win64", nullptr, nullptr},
    };
    for (const ExpectedValue& row : table) {
        bool found = false;
        std::wstring data = ReadText(HKEY_CLASSES_ROOT, row.key, row.name, &found);
        EXPECT_TRUE(found) << "missing: " << std::string(row.key, row.key + wcslen(row.key));
        EXPECT_EQ(row.data ? std::wstring(row.data) : LibraryPath(), data);
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY L"\\Programmable"));
    // The help string of the library, in half-width katakana.
    char help[128] = {};
    DWORD bytes = sizeof help;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CLASSES_ROOT, "TypeLib\\{97C49BC7-38B5-4F5A-8341-592F117BDFE7}\\1.0",
                                          nullptr, RRF_RT_REG_SZ, nullptr, help, &bytes));
    EXPECT_STREQ("Ferrow 1.0 ﾀｲﾌﾟ ﾗｲﾌﾞﾗﾘ", help);
    // The dual interface is registered for marshalling.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\{300DC524-CB30-47F1-80D0-765C1FB28E2E}"));
}

TEST_F(LauncherTest, ReregistrationDropsStaleSubkeysOfTheClassKey) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, CLASS_KEY L"\\Programmable\\Old", &key));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, CLASS_KEY L"\\LocalServer32", &key));
    RegCloseKey(key);
    ASSERT_EQ(S_OK, CallLibraryExport(LibraryPath(), "DllRegisterServer"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY L"\\Programmable\\Old"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY L"\\LocalServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY L"\\Programmable"));
}

TEST_F(LauncherTest, UnregistrationRemovesItsKeysAndKeepsClsid) {
    ASSERT_EQ(S_OK, CallLibraryExport(LibraryPath(), "DllUnregisterServer"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Ferrow.FerrowApi"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Ferrow.FerrowApi.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" LIBID_TEXT));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    // Removing what is gone already is no failure either.
    EXPECT_EQ(S_OK, CallLibraryExport(LibraryPath(), "DllUnregisterServer"));
}

TEST_F(LauncherTest, ClassObjectOnlyForItsClass) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, GetClassObject(IID_IFerrowApi, IID_IClassFactory, (void**)&factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(E_POINTER, GetClassObject(CLSID_FerrowApi, IID_IClassFactory, nullptr));
    ASSERT_EQ(S_OK, GetClassObject(CLSID_FerrowApi, IID_IClassFactory, (void**)&factory));
    IClassFactory* again = nullptr;
    ASSERT_EQ(S_OK, GetClassObject(CLSID_FerrowApi, IID_IClassFactory, (void**)&again));
    EXPECT_EQ(factory, again);  // made once and kept
    again->Release();
    factory->Release();
}

TEST_F(LauncherTest, ObjectsAndServerLocksKeepTheLibraryLoaded) {
    EXPECT_EQ(S_OK, CanUnloadNow());
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    api->Release();
    EXPECT_EQ(S_OK, CanUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, GetClassObject(CLSID_FerrowApi, IID_IClassFactory, (void**)&factory));
    factory->LockServer(TRUE);
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    factory->LockServer(FALSE);
    EXPECT_EQ(S_OK, CanUnloadNow());
    factory->Release();
}

// An outer object that counts what the inner object delegates to it.
class CountingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** objectOut) override {
        queries++;
        if (riid == IID_IUnknown) {
            *objectOut = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, objectOut) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(LauncherTest, AggregationOnlyThroughIUnknown) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, GetClassObject(CLSID_FerrowApi, IID_IClassFactory, (void**)&factory));
    CountingOuter outer;
    IFerrowApi* refused = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IFerrowApi, (void**)&refused));
    EXPECT_EQ(nullptr, refused);
    EXPECT_EQ(S_OK, CanUnloadNow());

    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, (void**)&outer.inner));
    EXPECT_EQ(1u, outer.refs);  // the inner unknown is counted on its own
    IFerrowApi* api = nullptr;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IFerrowApi, (void**)&api));
    EXPECT_EQ(2u, outer.refs);  // the interface's AddRef went to the outer object
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, api->QueryInterface(IID_IUnknown, (void**)&identity));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);  // the outer object's identity
    identity->Release();
    api->Release();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    EXPECT_EQ(0u, outer.inner->Release());
    EXPECT_EQ(S_OK, CanUnloadNow());
    factory->Release();
}

TEST_F(LauncherTest, OpenThroughTheVtableSendsTheAddressToTheRunningProgram) {
    StandInMainWindow window;
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_OK, api->Open(Bstr(L"http://127.0.0.1:8080/page.html")));
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(0u, received[0].wParam);
    EXPECT_EQ(0u, received[0].dwData);
    EXPECT_EQ(strlen("http://127.0.0.1:8080/page.html") + 1, received[0].cbData);
    EXPECT_EQ(std::string("http://127.0.0.1:8080/page.html", 32), received[0].bytes);
    api->Release();
}

TEST_F(LauncherTest, OpenHandsLongAddressesOverWholeAndBoundsTheRest) {
    StandInMainWindow window;
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    std::wstring address = L"http://127.0.0.1/" + std::wstring(1500 - 17, L'a');
    EXPECT_EQ(S_OK, api->Open(Bstr(address.c_str())));
    std::wstring huge = L"http://127.0.0.1/" + std::wstring(9000, L'a');
    EXPECT_EQ(S_OK, api->Open(Bstr(huge.c_str())));
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(1501u, received[0].cbData);
    EXPECT_EQ("http://127.0.0.1/" + std::string(1500 - 17, 'a') + '\0', received[0].bytes);
    EXPECT_EQ((DWORD)kAddressInputSize, received[1].cbData);
    api->Release();
}

TEST_F(LauncherTest, OpenSendsAnsiTextAndTreatsNullAsEmpty) {
    StandInMainWindow window;
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_OK, api->Open(Bstr(L"http://127.0.0.1/\u8868\u793a.html")));
    EXPECT_EQ(S_OK, api->Open(Bstr(nullptr)));
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(std::string("http://127.0.0.1/表示.html") + '\0', received[0].bytes);
    EXPECT_EQ(std::string(1, '\0'), received[1].bytes);
    EXPECT_EQ(1u, received[1].cbData);
    api->Release();
}

TEST_F(LauncherTest, OpenThroughIDispatchWithDispatchIdOne) {
    StandInMainWindow window;
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK,
              CoCreateInstance(CLSID_FerrowApi, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, (void**)&dispatch));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &info));
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"IFerrowApi", name);
    SysFreeString(name);
    info->Release();

    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Open")};
    DISPID id = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(1, id);

    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"http://127.0.0.1:8080/dispatch.html");
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    VariantClear(&argument);
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(std::string("http://127.0.0.1:8080/dispatch.html") + '\0', received[0].bytes);
    dispatch->Release();
}

TEST_F(LauncherTest, OpenWithoutProgramOrMenuKeyReturnsFalseAndLeavesAnEmptyKey) {
    SetMenuPage(nullptr);
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_FALSE, api->Open(Bstr(L"http://127.0.0.1/page.html")));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kMenuKey, 0, KEY_READ, &key));
    if (key) RegCloseKey(key);
    api->Release();
}

TEST_F(LauncherTest, OpenWithAMenuValueWithoutFolderReturnsFalse) {
    SetMenuPage("ie_menu.htm");
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_FALSE, api->Open(Bstr(L"http://127.0.0.1/page.html")));
    api->Release();
}

TEST_F(LauncherTest, OpenStartsTheProgramOfTheMenuFolderWithTheAddress) {
    StandInProgram program;
    SetMenuPage((program.Folder() + "\\ie_menu.htm").c_str());
    IFerrowApi* api = CreateApi();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(S_OK, api->Open(Bstr(L"http://127.0.0.1:8080/a b.html")));
    std::string arguments;
    ASSERT_TRUE(program.WaitForStart(&arguments));
    EXPECT_EQ("http://127.0.0.1:8080/a b.html", arguments);
    api->Release();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
