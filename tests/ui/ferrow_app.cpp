#include "tests/ui/ferrow_app.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if ((int)(GetTickCount() - start) > timeoutMs) return condition();
        Sleep(20);
    }
}

static std::string Environment(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

std::string ServerAddress(const std::string& path) {
    return "http://127.0.0.1:" + Environment("FERROW_UI_PORT") + "/" + path;
}

std::string SiteFolder() {
    return Environment("FERROW_UI_SITE");
}

void WriteSiteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(SiteFolder() + "\\" + name, std::ios::binary);
    out << bytes;
}

std::string SlowAddress(const std::string& path) {
    return "http://127.0.0.1:" + Environment("FERROW_UI_SLOW_PORT") + "/" + path;
}

std::string SlowServerLog() {
    return FileBytes(Environment("FERROW_UI_SLOW_REQUESTS"));
}

std::vector<std::string> ServedRequests() {
    std::ifstream in(Environment("FERROW_UI_REQUESTS"), std::ios::binary);
    std::vector<std::string> requests;
    std::string line;
    while (std::getline(in, line)) {
        size_t open = line.find('"');
        size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close != std::string::npos) requests.push_back(line.substr(open + 1, close - open - 1));
    }
    return requests;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RemoteBuffer::RemoteBuffer(HANDLE process, size_t size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

void RemoteBuffer::Write(const void* data, size_t size, size_t offset) {
    WriteProcessMemory(process_, (char*)address_ + offset, data, size, nullptr);
}

void RemoteBuffer::Read(void* data, size_t size, size_t offset) const {
    ReadProcessMemory(process_, (const char*)address_ + offset, data, size, nullptr);
}

struct FindState {
    DWORD processId;
    HWND found;
    int count;
};

static BOOL CALLBACK FindMain(HWND window, LPARAM param) {
    FindState* state = (FindState*)param;
    char name[64];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "FerrowClass") != 0) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    state->count++;
    if (state->processId == 0 || pid == state->processId) state->found = window;
    return TRUE;
}

HWND FindMainWindowOf(DWORD processId) {
    FindState state = {processId, nullptr, 0};
    EnumWindows(FindMain, (LPARAM)&state);
    return state.found;
}

struct VisibleSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

static BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
    VisibleSearch* search = (VisibleSearch*)param;
    char name[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && GetClassNameA(window, name, sizeof name) &&
        strcmp(name, search->className) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisibleWindowOf(DWORD processId, const char* className) {
    VisibleSearch search = {processId, className, nullptr};
    EnumWindows(FindVisible, (LPARAM)&search);
    return search.found;
}

int CountMainWindows() {
    FindState state = {0, nullptr, 0};
    EnumWindows(FindMain, (LPARAM)&state);
    return state.count;
}

std::string WindowText(HWND window) {
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text((size_t)length + 1, '\0');
    LRESULT got = SendMessageA(window, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)&text[0]);
    text.resize(got > 0 ? (size_t)got : 0);
    return text;
}

std::string FerrowApp::DefaultIni() {
    return "[OPTION]\r\nHeadCheck=0\r\nGIF=1\r\nPNG=1\r\nWAV=1\r\nJPG=1\r\nHTM=1\r\n"
           "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n";
}

static int FolderSerial = 0;

bool FerrowApp::Start(const std::string& commandLine, const std::string& ini, bool waitForWindow) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // Wine reuses process numbers from run to run: the tick count keeps a
    // folder (and the files an earlier run downloaded into it) from coming back.
    folder_ = std::string(temp) + "ferrow-ui-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount()) + "-" + std::to_string(++FolderSerial);
    CreateDirectoryA(folder_.c_str(), nullptr);
    CreateDirectoryA((folder_ + "\\dl").c_str(), nullptr);
    const std::string exe = folder_ + "\\Ferrow.exe";
    if (!CopyFileA(Environment("FERROW_UI_EXE").c_str(), exe.c_str(), FALSE)) return false;
    std::string text = ini;
    size_t at = text.find("[OPTION]\r\n");
    if (at != std::string::npos && text.find("DLPath=") == std::string::npos)
        text.insert(at + 10, "DLPath=" + folder_ + "\\dl\r\n");
    std::ofstream(folder_ + "\\Ferrow.ini", std::ios::binary) << text;

    std::string line = "\"" + exe + "\"";
    if (!commandLine.empty()) line += " " + commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    // The program of the previous test may still hold the one-instance
    // mutex for a moment after its process ended: a start that ends at once
    // without a window is made again, once.
    for (int attempt = 0; attempt < 2; attempt++) {
        if (!CreateProcessA(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder_.c_str(), &startup, &info_))
            return false;
        if (!waitForWindow) return true;
        bool ended = false;
        WaitUntil(
            [&] {
                main_ = FindMainWindowOf(info_.dwProcessId);
                ended = WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
                return (main_ && IsWindowVisible(main_) && Log()) || ended;
            },
            30000);
        if (!ended || main_) break;
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
        info_ = {};
        Sleep(500);
    }
    return main_ != nullptr;
}

FerrowApp::~FerrowApp() {
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            if (main_ && IsWindow(main_)) PostMessageA(main_, WM_CLOSE, 0, 0);
            if (!WaitForEnd(5000)) TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

struct ChildSearch {
    HWND parent;
    const char* className;
    HWND found;
};

static BOOL CALLBACK FindChild(HWND window, LPARAM param) {
    ChildSearch* search = (ChildSearch*)param;
    char name[64];
    GetClassNameA(window, name, sizeof name);
    if (GetParent(window) == search->parent && lstrcmpiA(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FerrowApp::ChildOfClass(const char* className) const {
    ChildSearch search = {main_, className, nullptr};
    if (main_) EnumChildWindows(main_, FindChild, (LPARAM)&search);
    return search.found;
}

HWND FerrowApp::Log() const {
    return ChildOfClass("Edit");
}

HWND FerrowApp::UrlEdit() const {
    return GetWindow(Child(102), GW_CHILD);
}

std::string FerrowApp::LogText() const {
    return WindowText(Log());
}

std::vector<std::string> FerrowApp::LogLines() const {
    std::vector<std::string> lines;
    std::string text = LogText();
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

bool FerrowApp::LogHas(const std::string& line) const {
    for (const std::string& l : LogLines())
        if (l == line) return true;
    return false;
}

bool FerrowApp::WaitForLog(const std::string& line, int timeoutMs) const {
    return WaitUntil([&] { return LogHas(line); }, timeoutMs);
}

std::string FerrowApp::Caption() const {
    return WindowText(main_);
}

std::string FerrowApp::UrlText() const {
    return WindowText(UrlEdit());
}

int FerrowApp::ListCount() const {
    return (int)SendMessageA(Child(100), LVM_GETITEMCOUNT, 0, 0);
}

std::string FerrowApp::ListText(int row, int column) const {
    const size_t textSize = 4096; // an address column holds up to 2048 bytes
    RemoteBuffer remote(process(), sizeof(LVITEMA) + textSize);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = (char*)remote.address() + sizeof(LVITEMA);
    item.cchTextMax = (int)textSize;
    remote.Write(&item, sizeof item);
    SendMessageA(Child(100), LVM_GETITEMTEXTA, row, (LPARAM)remote.address());
    char text[textSize] = "";
    remote.Read(text, sizeof text - 1, sizeof(LVITEMA));
    text[sizeof text - 1] = '\0';
    return text;
}

std::vector<std::string> FerrowApp::ListColumn(int column) const {
    std::vector<std::string> texts;
    const int count = ListCount();
    for (int row = 0; row < count; row++)
        texts.push_back(ListText(row, column));
    return texts;
}

int FerrowApp::SelectedCount() const {
    return (int)SendMessageA(Child(100), LVM_GETSELECTEDCOUNT, 0, 0);
}

void FerrowApp::SelectRows(const std::vector<int>& rows) const {
    RemoteBuffer remote(process(), sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    remote.Write(&item, sizeof item);
    SendMessageA(Child(100), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)remote.address());
    item.state = LVIS_SELECTED;
    remote.Write(&item, sizeof item);
    for (int row : rows)
        SendMessageA(Child(100), LVM_SETITEMSTATE, row, (LPARAM)remote.address());
}

// The control may count its text in wide characters, so the buffer is
// generous and the text ends at its terminator.
std::string FerrowApp::StatusText(int part) const {
    char text[1024] = "";
    RemoteBuffer remote(process(), sizeof text);
    remote.Write(text, sizeof text);
    SendMessageA(Child(101), SB_GETTEXTA, part, (LPARAM)remote.address());
    remote.Read(text, sizeof text - 1);
    return text;
}

ClientRect FerrowApp::RectOf(HWND child) const {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, main_, (POINT*)&r, 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void FerrowApp::ResizeClient(int width, int height) const {
    RECT outer, client;
    GetWindowRect(main_, &outer);
    GetClientRect(main_, &client);
    const int extraW = (outer.right - outer.left) - client.right;
    const int extraH = (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(main_, nullptr, 0, 0, width + extraW, height + extraH,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    WaitUntil(
        [&] {
            RECT now;
            GetClientRect(main_, &now);
            return now.right == width && now.bottom == height;
        },
        5000);
}

void FerrowApp::Command(int id) const {
    SendMessageA(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

static void SendMouse(DWORD flags, int data = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = (DWORD)data;
    SendInput(1, &input, sizeof input);
}

static void ClickScreen(POINT p, bool doubleClick, bool right) {
    SetCursorPos(p.x, p.y);
    const DWORD down = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    const DWORD up = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    for (int i = 0; i < (doubleClick ? 2 : 1); i++) {
        SendMouse(down);
        SendMouse(up);
    }
}

void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

void TurnWheel(int notches) {
    SendMouse(MOUSEEVENTF_WHEEL, notches * WHEEL_DELTA);
}

void FerrowApp::Activate() const {
    SetForegroundWindow(main_);
    WaitUntil([&] { return GetForegroundWindow() == main_; }, 3000);
}

void FerrowApp::ClickRow(int row, bool doubleClick, bool right) const {
    Activate();
    HWND list = Child(100);
    RemoteBuffer remote(process(), sizeof(RECT));
    RECT r = {};
    r.left = LVIR_LABEL;
    remote.Write(&r, sizeof r);
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
    SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)remote.address());
    remote.Read(&r, sizeof r);
    POINT p = {r.left + 8, (r.top + r.bottom) / 2};
    ClientToScreen(list, &p);
    ClickScreen(p, doubleClick, right);
}

bool FerrowApp::ClickRowNamed(const std::string& name) const {
    int row = -1;
    for (int r = 0; r < ListCount() && row < 0; r++)
        if (ListText(r, 0) == name) row = r;
    if (row < 0) return false;
    HWND list = Child(100);
    for (int attempt = 0; attempt < 3; attempt++) {
        ClickRow(row);
        if (WaitUntil(
                [&] {
                    return SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1 &&
                           SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0;
                },
                2000))
            return true;
    }
    return false;
}

// Successive clicks land a few pixels apart so that they never make a
// double click.
static int ClickShift = 0;

void FerrowApp::ClickHeader(int column) const {
    Activate();
    HWND header = (HWND)SendMessageA(Child(100), LVM_GETHEADER, 0, 0);
    RemoteBuffer remote(process(), sizeof(RECT));
    SendMessageA(header, HDM_GETITEMRECT, column, (LPARAM)remote.address());
    RECT r;
    remote.Read(&r, sizeof r);
    ClickShift = ClickShift == 0 ? 12 : 0;
    POINT p = {(r.left + r.right) / 2 - 6 + ClickShift, (r.top + r.bottom) / 2};
    ClientToScreen(header, &p);
    ClickScreen(p, false, false);
}

void FerrowApp::ClickInto(HWND window) const {
    Activate();
    RECT r;
    GetClientRect(window, &r);
    POINT p = {r.right / 2, r.bottom / 2};
    ClientToScreen(window, &p);
    ClickScreen(p, false, false);
}

void FerrowApp::CopyData(const void* data, DWORD size) const {
    COPYDATASTRUCT copy = {};
    copy.dwData = 0;
    copy.cbData = size;
    copy.lpData = (void*)data;
    SendMessageA(main_, WM_COPYDATA, 0, (LPARAM)&copy);
}

bool FerrowApp::WaitForEnd(int timeoutMs) const {
    return WaitForSingleObject(info_.hProcess, (DWORD)timeoutMs) == WAIT_OBJECT_0;
}

int FerrowApp::Exit(int command) {
    if (command == WM_CLOSE)
        PostMessageA(main_, WM_CLOSE, 0, 0);
    else
        PostMessageA(main_, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    if (!WaitForEnd()) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return (int)code;
}
