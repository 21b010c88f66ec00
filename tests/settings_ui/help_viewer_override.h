// Makes the stand-in help viewer (help_viewer_stub.dll beside the test
// program) the registered server of the HTML Help control while the object
// lives, and collects what it was asked.
#pragma once
#include <string>
#include <vector>

class HelpViewerOverride {
  public:
    HelpViewerOverride();
    ~HelpViewerOverride();
    bool active() const { return active_; }
    // The requests so far, "command<TAB>file<TAB>owner" each.
    std::vector<std::string> Requests() const;
    // Waits until at least count requests have arrived.
    bool WaitForRequests(size_t count, int timeoutMs = 10000) const;

  private:
    bool active_ = false;
    bool machineWide_ = false; // the per-user classes were not seen
    std::string savedValue_;
    bool hadValue_ = false;
    std::string record_;
};

// The folder of the running test program, without trailing backslash.
std::string TestProgramFolder();
