// What the help command and the about box's link ask of the help viewer,
// seen through a stand-in viewer registered for the HTML Help control.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/help_about_win.h"
#include "settings/options.h"
#include "settings/settings_ids.h"
#include "tests/settings_ui/help_viewer_override.h"
#include "tests/settings_ui/ui_driver.h"

namespace {

// The help function is bound once per process, so the stand-in is in place
// before the first request and stays for the whole program.
HelpViewerOverride* viewer;

class Environment : public ::testing::Environment {
    void SetUp() override { viewer = new HelpViewerOverride(); }
    void TearDown() override { delete viewer; }
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new Environment);

// The built manual lies beside the test programs, as beside Ferrow.exe.
std::string Manual() {
    return TestProgramFolder() + "\\Ferrow.chm";
}

TEST(HelpRequest, HelpCommandOpensTheManualBesideTheProgramAtItsContents) {
    ASSERT_TRUE(viewer->active()) << "the stand-in viewer could not be registered";
    FormProgramPaths((TestProgramFolder() + "\\Ferrow.exe").c_str());
    ASSERT_NE(GetFileAttributesA(Manual().c_str()), INVALID_FILE_ATTRIBUTES)
        << "no manual was built";
    const size_t before = viewer->Requests().size();
    ShowHelp();
    ASSERT_TRUE(viewer->WaitForRequests(before + 1));
    // HH_DISPLAY_TOC (1), the manual's full path, no owner window.
    EXPECT_EQ(viewer->Requests().back(), "1\t" + Manual() + "\tno owner");
}

TEST(HelpRequest, AboutLinkOpensTheManualsHomeTopic) {
    ASSERT_TRUE(viewer->active());
    FormProgramPaths((TestProgramFolder() + "\\Ferrow.exe").c_str());
    HWND owner = CreateWindowExA(0, "STATIC", "Ferrow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80,
                                 600, 400, nullptr, nullptr, nullptr, nullptr);
    const size_t before = viewer->Requests().size();
    RunWithDriver([&] { ShowAbout(owner); },
                  [&](DWORD thread) {
                      HWND box = WaitForDialog(thread, IDC_ABOUT_LINK);
                      ASSERT_NE(box, nullptr);
                      EXPECT_EQ(ItemText(box, IDC_ABOUT_LINK), "Ferrow ヘルプ");
                      ClickAt(GetDlgItem(box, IDC_ABOUT_LINK), 5, 5);
                      EXPECT_TRUE(viewer->WaitForRequests(before + 1))
                          << "the link asked for nothing";
                      EXPECT_TRUE(IsWindow(box)) << "the box closed on the click";
                      PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
                      EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
                  });
    // HH_DISPLAY_TOPIC (0) with the home topic inside the manual.
    ASSERT_EQ(viewer->Requests().size(), before + 1);
    EXPECT_EQ(viewer->Requests().back(), "0\t" + Manual() + "::/index.htm\tno owner");
    DestroyWindow(owner);
}

} // namespace
