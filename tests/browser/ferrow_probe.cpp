// Looks at a running Ferrow.exe from outside, for the scripted tests:
//   ferrow_probe wait-window MS        its main window appears
//   ferrow_probe url-box TEXT MS       its URL box holds TEXT
//   ferrow_probe minimise | iconic     minimise it / exit 0 when minimised
//   ferrow_probe command ID            run a menu command of it
//   ferrow_probe log-count TEXT        print how often TEXT is in its log
//   ferrow_probe close MS              close it and wait for the window to go
// Exit code 0 on success, 1 when the condition did not come within MS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kUrlBoxId = 102;

HWND MainWindow() { return FindWindowA("FerrowClass", nullptr); }

std::string TextOf(HWND window) {
    char text[4096] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

// Polls a condition every 50 ms until it holds or the time is up.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if ((int)(GetTickCount() - start) > timeoutMs) return false;
        Sleep(50);
    }
}

BOOL CALLBACK FindLog(HWND child, LPARAM found) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Edit") == 0 && (GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE)) {
        *(HWND*)found = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string verb = argv[1];
    int timeoutMs = 30000;
    if (verb == "wait-window") {
        if (argc > 2) timeoutMs = atoi(argv[2]);
        return WaitFor([] { return MainWindow() != nullptr; }, timeoutMs) ? 0 : 1;
    }
    if (verb == "url-box" && argc > 2) {
        if (argc > 3) timeoutMs = atoi(argv[3]);
        std::string expected = argv[2], seen;
        bool ok = WaitFor(
            [&] {
                HWND main = MainWindow();
                seen = main ? TextOf(GetDlgItem(main, kUrlBoxId)) : "(no window)";
                return seen == expected;
            },
            timeoutMs);
        if (!ok) printf("url box holds \"%s\"\n", seen.c_str());
        return ok ? 0 : 1;
    }
    HWND main = MainWindow();
    if (!main) {
        printf("no window of class FerrowClass\n");
        return 1;
    }
    if (verb == "minimise") {
        ShowWindow(main, SW_MINIMIZE);
        return WaitFor([&] { return IsIconic(main) != FALSE; }, timeoutMs) ? 0 : 1;
    }
    if (verb == "iconic") return IsIconic(main) ? 0 : 1;
    if (verb == "command" && argc > 2) {
        // Sent, not posted: the probe returns once the command has run.
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(main, WM_COMMAND, (WPARAM)atoi(argv[2]), 0, 0, 60000, &result) ? 0 : 1;
    }
    if (verb == "log-count" && argc > 2) {
        HWND log = nullptr;
        EnumChildWindows(main, FindLog, (LPARAM)&log);
        std::string text = log ? TextOf(log) : "";
        int count = 0;
        for (size_t at = text.find(argv[2]); at != std::string::npos; at = text.find(argv[2], at + 1)) count++;
        printf("%d\n", count);
        return 0;
    }
    if (verb == "close") {
        if (argc > 2) timeoutMs = atoi(argv[2]);
        PostMessageA(main, WM_CLOSE, 0, 0);
        return WaitFor([] { return MainWindow() == nullptr; }, timeoutMs) ? 0 : 1;
    }
    return 2;
}
