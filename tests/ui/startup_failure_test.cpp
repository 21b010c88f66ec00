// Start-up that cannot create one of its windows: Ferrow.exe says which in
// a message box, ends with exit code 1 after it is closed, and leaves its
// settings file alone. The window is refused by a hook put on the
// program's main thread before it runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/ui/ferrow_app.h"

namespace {

// Ferrow.exe from a fresh folder, started suspended, hooked, then run.
struct RefusedStart {
    std::string folder;
    PROCESS_INFORMATION info = {};
    HMODULE hookModule = nullptr;
    HHOOK hook = nullptr;

    bool Start(const std::string& refuse, const std::string& ini) {
        static int serial = 0;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "ferrow-start-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++serial);
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string exe = folder + "\\Ferrow.exe";
        const char* source = getenv("FERROW_UI_EXE");
        if (!source || !CopyFileA(source, exe.c_str(), FALSE)) return false;
        std::ofstream(folder + "\\Ferrow.ini", std::ios::binary) << ini;
        const char* hookPath = getenv("FERROW_REFUSE_HOOK");
        hookModule = hookPath ? LoadLibraryA(hookPath) : nullptr;
        if (!hookModule) return false;
        HOOKPROC proc = (HOOKPROC)(void*)GetProcAddress(hookModule, "RefuseWindowHook");
        if (!proc) return false;
        // The program inherits the variable; this process creates no such window.
        SetEnvironmentVariableA("FERROW_REFUSE_WINDOW", refuse.c_str());
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string line = "\"" + exe + "\"";
        BOOL started = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE,
                                      CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &info);
        SetEnvironmentVariableA("FERROW_REFUSE_WINDOW", nullptr);
        if (!started) return false;
        hook = SetWindowsHookExA(WH_CBT, proc, hookModule, info.dwThreadId);
        ResumeThread(info.hThread);
        return hook != nullptr;
    }

    ~RefusedStart() {
        if (hook) UnhookWindowsHookEx(hook);
        if (info.hProcess) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(info.hProcess, 9);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        if (hookModule) FreeLibrary(hookModule);
    }

    HWND WaitForBox() const {
        HWND box = nullptr;
        WaitUntil(
            [&] { return (box = FindVisibleWindowOf(info.dwProcessId, "#32770")) != nullptr; });
        return box;
    }
};

const char kIni[] = "[OPTION]\r\nHeadCheck=0\r\n[WINDOW]\r\nx=33\r\nviewer=1\r\nTollBar=1\r\n";

TEST(StartupFailure, AWindowThatCannotBeCreatedIsNamedAndTheProgramEnds) {
    const struct {
        const char* refuse;
        const char* part;
    } cases[] = {
        {"FerrowClass", "メインウィンドウ"},
        {"ToolbarWindow32:FerrowClass", "ツールバー"},
        {"msctls_statusbar32:FerrowClass", "ステータスバー"},
        {"msctls_progress32", "プログレスバー"},
        {"ComboBox:FerrowClass", "URL入力欄"},
        {"Edit:ComboBox", "URL入力欄"},
        {"SysListView32:FerrowClass", "ファイル一覧"},
        {"VLineClass", "分割バー"},
        {"LogoClass", "エンジンウィンドウ"},
        {"Edit:FerrowClass", "ログ"},
    };
    for (const auto& c : cases) {
        RefusedStart start;
        ASSERT_TRUE(start.Start(c.refuse, kIni))
            << c.refuse << ": the program or hook did not start";
        HWND box = start.WaitForBox();
        ASSERT_NE(box, nullptr) << c.refuse << ": no message box";
        EXPECT_EQ(WindowText(box), "Ferrow") << c.refuse;
        const std::string text = WindowText(GetDlgItem(box, 0xFFFF));
        const std::string expected =
            std::string(c.part) + "を作成できないため、Ferrowを起動できません";
        EXPECT_EQ(text.rfind(expected, 0), 0u) << c.refuse << ": " << text;
        EXPECT_EQ(FindMainWindowOf(start.info.dwProcessId), nullptr) << c.refuse;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_EQ(WaitForSingleObject(start.info.hProcess, 15000), (DWORD)WAIT_OBJECT_0)
            << c.refuse << ": the program did not end";
        DWORD code = 0;
        GetExitCodeProcess(start.info.hProcess, &code);
        EXPECT_EQ(code, 1u) << c.refuse;
        EXPECT_EQ(FileBytes(start.folder + "\\Ferrow.ini"), kIni) << c.refuse << ": layout saved";
    }
}

// The same hook with nothing to refuse: the program starts as usual, so the
// failures above are the refusals' and not the hook's.
TEST(StartupFailure, WithNothingRefusedTheProgramStarts) {
    RefusedStart start;
    ASSERT_TRUE(start.Start("NoSuchClass", kIni));
    HWND main = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (main = FindMainWindowOf(start.info.dwProcessId)) != nullptr; }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(start.info.hProcess, 15000), (DWORD)WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(start.info.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_NE(FileBytes(start.folder + "\\Ferrow.ini"), kIni) << "the layout was not saved";
}

} // namespace
