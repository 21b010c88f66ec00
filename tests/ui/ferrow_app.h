// Starts Ferrow.exe from a fresh folder and reads and drives its windows from
// outside, with window messages and buffers in its own address space.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Polls every 20 ms until the condition holds or the time-out passes.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);

// The test's page server and program, from the environment the wrapper sets.
std::string ServerAddress(const std::string& path); // "http://127.0.0.1:<port>/<path>"
std::string SiteFolder();                           // folder the server serves
void WriteSiteFile(const std::string& name, const std::string& bytes);
// An address on the fixture server: unless its route is named, it sends 2000
// bytes of a 1000000-byte file and then stays silent.
std::string SlowAddress(const std::string& path);
// The raw request heads the fixture server saw, as JSON lines.
std::string SlowServerLog();
// The page server's request lines so far ("GET /name HTTP/1.0" ...).
std::vector<std::string> ServedRequests();
bool FileExists(const std::string& path);
// The whole file; empty when it cannot be read.
std::string FileBytes(const std::string& path);

// Memory in another process, released with the object.
class RemoteBuffer {
  public:
    RemoteBuffer(HANDLE process, size_t size);
    ~RemoteBuffer();
    void* address() const { return address_; }
    void Write(const void* data, size_t size, size_t offset = 0);
    void Read(void* data, size_t size, size_t offset = 0) const;

  private:
    HANDLE process_;
    void* address_;
};

struct ClientRect {
    int x, y, width, height;
};

class FerrowApp {
  public:
    // Copies Ferrow.exe into a new folder, writes its Ferrow.ini (ini text
    // below the program's defaults), starts it with the command line, and
    // waits for its main window (unless told not to).
    bool Start(const std::string& commandLine = "", const std::string& ini = DefaultIni(),
               bool waitForWindow = true);
    ~FerrowApp();
    static std::string DefaultIni();

    HWND main() const { return main_; }
    HANDLE process() const { return info_.hProcess; }
    const std::string& folder() const { return folder_; }
    HWND Child(int id) const { return GetDlgItem(main_, id); }
    HWND ChildOfClass(const char* className) const;
    HWND Log() const;
    HWND UrlEdit() const;

    std::string LogText() const;
    std::vector<std::string> LogLines() const;
    bool LogHas(const std::string& line) const;
    bool WaitForLog(const std::string& line, int timeoutMs = 15000) const;
    std::string Caption() const;
    std::string UrlText() const;

    int ListCount() const;
    std::string ListText(int row, int column) const;
    int SelectedCount() const;
    void SelectRows(const std::vector<int>& rows) const;
    std::vector<std::string> ListColumn(int column) const;
    std::string StatusText(int part) const;

    // Position and size of a child in the main window's client coordinates.
    ClientRect RectOf(HWND child) const;
    void ResizeClient(int width, int height) const;
    void Command(int id) const;
    // Real mouse and keyboard input, as a user gives it: the window is
    // brought to the front first, and the controls make their own
    // notifications.
    void Activate() const;
    void ClickRow(int row, bool doubleClick = false, bool right = false) const;
    // Clicks the row whose name column is name until it is the only one
    // selected (a first click into an inactive window may only activate it);
    // false when no row has the name or three clicks did not select it.
    bool ClickRowNamed(const std::string& name) const;
    void ClickHeader(int column) const;
    void ClickInto(HWND window) const;
    void CopyData(const void* data, DWORD size) const;

    // Asks the program to exit with its command and waits; the exit code,
    // or -1 when it did not end.
    int Exit(int command = 40006);
    // True once the process has ended (within the time-out).
    bool WaitForEnd(int timeoutMs = 15000) const;

  private:
    std::string folder_;
    PROCESS_INFORMATION info_ = {};
    HWND main_ = nullptr;
};

// The top-level FerrowClass window of a process, or null.
HWND FindMainWindowOf(DWORD processId);
// The first visible top-level window of the class in the process, or null.
HWND FindVisibleWindowOf(DWORD processId, const char* className);
// Presses and releases a key.
void PressKey(WORD key);
// Turns the mouse wheel one notch.
void TurnWheel(int notches);
int CountMainWindows();
std::string WindowText(HWND window);
