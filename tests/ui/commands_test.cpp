// Commands, the file list, the URL box and its history, seen from outside.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/ui/ferrow_app.h"

namespace {

using Texts = std::vector<std::string>;

std::string Ini(const std::string& options) {
    return "[OPTION]\r\nGIF=1\r\nPNG=1\r\nWAV=1\r\nJPG=1\r\nHTM=1\r\nHierarchical=0\r\n" + options +
           "[WINDOW]\r\nviewer=0\r\nTollBar=1\r\n";
}

int RowOf(const FerrowApp& app, const std::string& name) {
    Texts names = app.ListColumn(0);
    auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : (int)(at - names.begin());
}

// Combo box messages are carried across processes by the system, so the
// buffer is the test's own.
Texts History(const FerrowApp& app) {
    Texts entries;
    HWND box = app.Child(102);
    const int count = (int)SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        wchar_t wide[1024] = L"";
        if (SendMessageW(box, CB_GETLBTEXTLEN, i, 0) < 1024)
            SendMessageW(box, CB_GETLBTEXT, i, (LPARAM)wide);
        char text[2048] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        entries.push_back(text);
    }
    return entries;
}

// Five files, one of them missing so that its size stays unknown.
void WriteSortSite() {
    WriteSiteFile("sort.html", "<html><title>sort</title>"
                               "<a href=\"c.png\">c</a><a href=\"b.jpg\">b</a>"
                               "<a href=\"missing.jpg\">m</a><a href=\"Z.wav\">z</a>"
                               "<img src=\"a.gif\"></html>");
    WriteSiteFile("c.png", std::string(999, 'c'));
    WriteSiteFile("b.jpg", std::string(1536, 'b'));
    WriteSiteFile("Z.wav", "RIFF");
    WriteSiteFile("a.gif", "GIF89a");
}

// Started on the sort page with HEAD requests on, once every known size is in.
bool StartOnSortPage(FerrowApp& app) {
    WriteSortSite();
    if (!app.Start(ServerAddress("sort.html"), Ini("HeadCheck=1\r\n"))) return false;
    return WaitUntil([&] {
        if (app.ListCount() != 5) return false;
        int known = 0;
        for (const std::string& size : app.ListColumn(1))
            known += !size.empty();
        return known == 4;
    });
}

TEST(FileListTest, ColumnClicksAndSortCommands) {
    FerrowApp app;
    ASSERT_TRUE(StartOnSortPage(app));
    const Texts ascending = {"a.gif", "b.jpg", "c.png", "missing.jpg", "Z.wav"};
    Texts descending = ascending;
    std::reverse(descending.begin(), descending.end());

    auto names = [&](const Texts& expected) {
        return WaitUntil([&] { return app.ListColumn(0) == expected; }, 5000);
    };
    app.ClickHeader(0);
    EXPECT_TRUE(names(ascending)) << app.ListText(0, 0);
    app.ClickHeader(0);
    EXPECT_TRUE(names(descending)) << app.ListText(0, 0);
    app.ClickHeader(0);
    EXPECT_TRUE(names(ascending)) << app.ListText(0, 0);
    // Addresses travel with their names.
    EXPECT_EQ(app.ListText(1, 3), ServerAddress("b.jpg"));

    // The size order counts the unknown size as 0.
    app.Command(40015);
    EXPECT_EQ(app.ListColumn(0), (Texts{"missing.jpg", "Z.wav", "a.gif", "c.png", "b.jpg"}));
    EXPECT_EQ(app.ListColumn(1), (Texts{"", "4", "6", "999", "1536"}));
    app.ClickHeader(1); // was set ascending: now descending
    EXPECT_TRUE(WaitUntil([&] { return app.ListText(0, 0) == "b.jpg"; }, 5000));

    // The type order compares the extensions.
    app.Command(40014);
    Texts types = app.ListColumn(0);
    EXPECT_EQ(types[0], "a.gif");
    EXPECT_EQ(types[3], "c.png");
    EXPECT_EQ(types[4], "Z.wav");

    // The column's direction was ascending: the next click sorts descending,
    // the name command ascending again and sets the direction back, so the
    // click after it is descending once more.
    app.ClickHeader(0);
    EXPECT_TRUE(names(descending));
    app.Command(40013);
    EXPECT_EQ(app.ListColumn(0), ascending);
    app.ClickHeader(0);
    EXPECT_TRUE(names(descending));
}

TEST(FileListTest, StatusTextFollowsClicksAndSelectAll) {
    FerrowApp app;
    ASSERT_TRUE(StartOnSortPage(app));
    auto status = [&](const std::string& text) {
        return WaitUntil([&] { return app.StatusText(0) == text; }, 5000);
    };
    app.ClickRow(RowOf(app, "b.jpg"));
    EXPECT_TRUE(status("b.jpg 1.5KB")) << app.StatusText(0);
    app.ClickRow(RowOf(app, "missing.jpg"));
    EXPECT_TRUE(status("missing.jpg")) << app.StatusText(0);
    // A key released in the list counts as a click: the selection is read again.
    app.SelectRows({RowOf(app, "Z.wav"), RowOf(app, "a.gif")});
    PressKey(VK_SHIFT);
    EXPECT_TRUE(status("2個のファイル 10バイト")) << app.StatusText(0);
    app.Command(40020);
    EXPECT_EQ(app.SelectedCount(), 5);
    EXPECT_EQ(app.StatusText(0), "5個のファイル 2.5KB");
    // While the list has the focus its timer keeps the text current.
    app.SelectRows({});
    EXPECT_TRUE(status(""));
}

TEST(CommandsTest, DownloadsOneSeveralAndAll) {
    WriteSortSite();
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("sort.html"), Ini("HeadCheck=0\r\nSockets=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました"));
    const std::string dl = app.folder() + "\\dl\\";

    // One row: its line, its file, and no batch end.
    app.SelectRows({RowOf(app, "b.jpg")});
    app.Command(40003);
    ASSERT_TRUE(app.WaitForLog("b.jpg(1536bytes)をダウンロードしました")) << app.LogText();
    EXPECT_TRUE(FileExists(dl + "b.jpg"));
    EXPECT_EQ(app.ListText(RowOf(app, "b.jpg"), 1), "1536");
    EXPECT_FALSE(app.WaitForLog("ダウンロードが終了しました", 600));

    // Two rows make a batch, which ends with its own line.
    app.SelectRows({RowOf(app, "c.png"), RowOf(app, "Z.wav")});
    app.Command(40003);
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    EXPECT_TRUE(app.LogHas("c.png(999bytes)をダウンロードしました"));
    EXPECT_TRUE(app.LogHas("Z.wav(4bytes)をダウンロードしました"));

    // Download all asks for the rows in list order (one socket: one at a time).
    app.Command(40013);
    app.Command(40017);
    const size_t before = ServedRequests().size();
    app.Command(40004);
    ASSERT_TRUE(WaitUntil([&] {
        int ends = 0;
        for (const std::string& line : app.LogLines())
            ends += line == "ダウンロードが終了しました";
        return ends == 1;
    })) << app.LogText();
    Texts requests = ServedRequests();
    Texts gets;
    for (size_t i = before; i < requests.size(); i++)
        if (requests[i].rfind("GET ", 0) == 0)
            gets.push_back(requests[i].substr(4, requests[i].find(' ', 4) - 4));
    EXPECT_EQ(gets, (Texts{"/a.gif", "/b.jpg", "/c.png", "/missing.jpg", "/Z.wav"}));
    EXPECT_TRUE(FileExists(dl + "a.gif"));
    // Nothing selected: download does nothing.
    app.SelectRows({});
    app.Command(40017);
    app.Command(40003);
    EXPECT_FALSE(WaitUntil([&] { return app.LogText().size() > 0; }, 500));
}

// Names as users expect them (the path's last segment, escapes decoded, no
// query) and an address of 1500 bytes, listed, fetched and saved.
TEST(CommandsTest, ReadableNamesAndLongAddressesAreFetchedWhole) {
    std::string longTarget = "long.jpg?sig=";
    longTarget += std::string(1500 - ServerAddress(longTarget).size(), 'S');
    ASSERT_EQ(ServerAddress(longTarget).size(), 1500u);
    WriteSiteFile("names.html", "<html><title>names</title><a href=\"c%20d.jpg?itok=x\">c</a>"
                                "<img alt=\"" + std::string(2000, 'a') + "\" src=\"" + longTarget +
                                    "\"></html>");
    WriteSiteFile("c d.jpg", "cd");
    WriteSiteFile("long.jpg", std::string(1500, 'L'));
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("names.html"), Ini("HeadCheck=0\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました")) << app.LogText();
    EXPECT_EQ(app.ListColumn(0), (Texts{"c d.jpg", "long.jpg"}));
    EXPECT_EQ(app.ListText(RowOf(app, "long.jpg"), 3), ServerAddress(longTarget));
    app.Command(40004);
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_TRUE(FileExists(dl + "c d.jpg"));
    EXPECT_TRUE(FileExists(dl + "long.jpg"));
    Texts requests = ServedRequests();
    EXPECT_NE(std::find_if(requests.begin(), requests.end(),
                           [&](const std::string& r) {
                               return r.find("GET /" + longTarget + " ") != std::string::npos;
                           }),
              requests.end());
}

// A picture without an extension is listed, typed by its HEAD answer and
// saved as .jpg; an HTML answer in a picture's place leaves the list and is
// not saved, and a counting pixel is not listed.
TEST(CommandsTest, PicturesWithoutExtensionAreTypedByTheirAnswer) {
    FerrowApp app;
    ASSERT_TRUE(app.Start(SlowAddress("noext/page.html"), Ini("HeadCheck=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました")) << app.LogText();
    ASSERT_TRUE(WaitUntil([&] { return app.ListColumn(0) == Texts{"cc6f7a.jpg"}; }))
        << app.LogText();
    app.Command(40004);  // one file left: no batch, so no batch's end line
    ASSERT_TRUE(app.WaitForLog("cc6f7a.jpg(8bytes)をダウンロードしました")) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_EQ(FileBytes(dl + "cc6f7a.jpg"), "JPEGDATA");
    EXPECT_FALSE(FileExists(dl + "err"));
    EXPECT_TRUE(app.LogHas("画像ではない応答の為保存しません (text/html) - \"err\"")) << app.LogText();
}

// A page handed over from a browser: its markup is analysed without being
// fetched, the browser's picture joins the list, and the HEAD checks and
// downloads carry the browser's cookie, User-Agent and the page as Referer.
TEST(CommandsTest, APageFromTheBrowserIsAnalysedAsItWasShown) {
    const std::string page = SlowAddress("snap/gallery.html");
    const std::string html = "<html><title>g</title><div id=\"g\"><img src=\"a.jpg\"></div></html>";
    const std::string agent = "TestBrowser/1.0 (handed over)";
    const std::string cookie = "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc123";
    auto field = [](const std::string& name, const std::string& value) {
        return name + " " + std::to_string(value.size()) + "\n" + value + "\n";
    };
    const std::string snapshot = "FerrowSnapshot 1\n" + field("kind", "page") +
                                 field("address", page) + field("agent", agent) +
                                 field("html", html) + field("picture", SlowAddress("snap/b.jpg")) +
                                 field("cookie", cookie);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path =
        std::string(temp) + "FerrowSnapshot-ui-" + std::to_string(GetTickCount()) + ".txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, snapshot.data(), (DWORD)snapshot.size(), &written, nullptr);
    CloseHandle(file);

    FerrowApp app;
    ASSERT_TRUE(app.Start("/snapshot \"" + path + "\"", Ini("HeadCheck=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("ブラウザから受け取ったページを解析しました")) << app.LogText();
    ASSERT_TRUE(WaitUntil([&] { return app.ListColumn(1) == Texts{"5", "3"}; })) << app.LogText();
    EXPECT_EQ(app.ListColumn(0), (Texts{"a.jpg", "b.jpg"}));
    EXPECT_FALSE(FileExists(path)) << "the handed file stays behind";
    app.Command(40004);
    ASSERT_TRUE(app.WaitForLog("ダウンロードが終了しました")) << app.LogText();
    const std::string dl = app.folder() + "\\dl\\";
    EXPECT_EQ(FileBytes(dl + "a.jpg"), "AAAAA");
    EXPECT_EQ(FileBytes(dl + "b.jpg"), "BBB");
    // Every request for the two pictures (HEAD and GET) carried what the
    // browser had; the page itself was never asked for.
    const std::string log = SlowServerLog();
    EXPECT_EQ(log.find("\"path\": \"/snap/gallery.html"), std::string::npos);
    size_t seen = 0;
    for (size_t at = log.find("{\"path\""); at != std::string::npos; at = log.find("{\"path\"", at + 1)) {
        std::string line = log.substr(at, log.find('\n', at) - at);
        if (line.find("/snap/") == std::string::npos) continue;
        seen++;
        EXPECT_NE(line.find("Cookie: sid=abc123"), std::string::npos) << line;
        EXPECT_NE(line.find("User-Agent: " + agent), std::string::npos) << line;
        EXPECT_NE(line.find("Referer: " + page), std::string::npos) << line;
    }
    EXPECT_EQ(seen, 4u) << log;
}

TEST(CommandsTest, StopEndsDownloadsAndRemovesPartialFiles) {
    WriteSiteFile("slow.html", "<html><a href=\"" + SlowAddress("big1.jpg") + "\">1</a><a href=\"" +
                                   SlowAddress("big2.jpg") + "\">2</a></html>");
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("slow.html"), Ini("HeadCheck=0\r\nTimeOut=0\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました"));
    ASSERT_EQ(app.ListCount(), 2);
    const std::string dl = app.folder() + "\\dl\\";
    app.Command(40020);
    app.Command(40003);
    // What arrives waits in hidden part files until a file is whole.
    ASSERT_TRUE(WaitUntil(
        [&] { return FileExists(dl + ".big1.jpg.part") && FileExists(dl + ".big2.jpg.part"); }));
    EXPECT_FALSE(FileExists(dl + "big1.jpg"));
    // The stop button is enabled while jobs run.
    ASSERT_TRUE(
        WaitUntil([&] { return SendMessageA(app.Child(103), TB_ISBUTTONENABLED, 40005, 0) != 0; }));
    app.Command(40005);
    EXPECT_TRUE(app.LogHas("中止しました"));
    EXPECT_TRUE(WaitUntil(
        [&] { return !FileExists(dl + ".big1.jpg.part") && !FileExists(dl + ".big2.jpg.part"); }));
    EXPECT_FALSE(FileExists(dl + "big1.jpg"));
    EXPECT_FALSE(FileExists(dl + "big2.jpg"));
    EXPECT_TRUE(
        WaitUntil([&] { return SendMessageA(app.Child(103), TB_ISBUTTONENABLED, 40005, 0) == 0; }));
    EXPECT_FALSE(app.LogHas("ダウンロードが終了しました"));
}

void WritePages() {
    WriteSiteFile("links.html", "<html><title>links</title><a href=\"next.html\">n</a>"
                                "<a href=\"photo.jpg\">p</a></html>");
    WriteSiteFile("next.html", "<html><title>next</title></html>");
    WriteSiteFile("photo.jpg", std::string(1536, 'j'));
}

TEST(CommandsTest, AnalyseSelectedHtmlAndDoubleClickWithClickHtml) {
    WritePages();
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("links.html"), Ini("HeadCheck=0\r\nClickHTML=1\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました"));
    // Not HTML: only the log line.
    app.SelectRows({RowOf(app, "photo.jpg")});
    app.Command(40022);
    EXPECT_TRUE(app.LogHas("ファイルがhtmlではありません"));
    EXPECT_EQ(app.UrlText(), ServerAddress("links.html"));
    // Two rows: nothing at all.
    const size_t lines = app.LogLines().size();
    app.SelectRows({0, 1});
    app.Command(40022);
    EXPECT_EQ(app.LogLines().size(), lines);
    // One HTML row: analysed, with its address in the URL box.
    app.SelectRows({RowOf(app, "next.html")});
    app.Command(40022);
    EXPECT_EQ(app.UrlText(), ServerAddress("next.html"));
    ASSERT_TRUE(app.WaitForLog("next.htmlを解析しました")) << app.LogText();

    // A double click on an HTML row analyses it too.
    app.CopyData(ServerAddress("links.html").c_str(),
                 (DWORD)ServerAddress("links.html").size() + 1);
    ASSERT_TRUE(WaitUntil([&] { return RowOf(app, "next.html") >= 0; }));
    app.Command(40017);
    app.ClickRow(RowOf(app, "next.html"), true);
    EXPECT_TRUE(app.WaitForLog("next.htmlを解析しました")) << app.LogText();
    EXPECT_EQ(app.UrlText(), ServerAddress("next.html"));
}

TEST(CommandsTest, DoubleClickDownloadsWithoutClickHtml) {
    WritePages();
    FerrowApp app;
    ASSERT_TRUE(app.Start(ServerAddress("links.html"), Ini("HeadCheck=0\r\nClickHTML=0\r\n")));
    ASSERT_TRUE(app.WaitForLog("解析が終了しました"));
    app.ClickRow(RowOf(app, "next.html"), true);
    EXPECT_TRUE(app.WaitForLog("next.html(32bytes)をダウンロードしました")) << app.LogText();
    EXPECT_TRUE(FileExists(app.folder() + "\\dl\\next.html"));
    EXPECT_EQ(app.UrlText(), ServerAddress("links.html"));
}

bool ButtonChecked(const FerrowApp& app, int command) {
    return SendMessageA(app.Child(103), TB_ISBUTTONCHECKED, command, 0) != 0;
}

TEST(CommandsTest, ViewSwitchKeepsToolbarInStepAcrossToolbarToggles) {
    FerrowApp app;
    ASSERT_TRUE(app.Start());
    auto style = [&] { return GetWindowLongPtrA(app.Child(100), GWL_STYLE) & LVS_TYPEMASK; };
    app.Command(40011);
    EXPECT_EQ(style(), LVS_LIST);
    EXPECT_TRUE(ButtonChecked(app, 40011));
    EXPECT_FALSE(ButtonChecked(app, 40012));
    app.Command(40008);
    app.Command(40008);
    EXPECT_TRUE(ButtonChecked(app, 40011));
    EXPECT_FALSE(ButtonChecked(app, 40012));
    // The stop button of the new toolbar starts disabled.
    EXPECT_EQ(SendMessageA(app.Child(103), TB_ISBUTTONENABLED, 40005, 0), 0);
    app.Command(40012);
    EXPECT_EQ(style(), LVS_REPORT);
    EXPECT_TRUE(ButtonChecked(app, 40012));
    EXPECT_FALSE(ButtonChecked(app, 40011));
}

TEST(CommandsTest, DownloadFolderThatCannotOpenShowsCentredBox) {
    FerrowApp app;
    ASSERT_TRUE(app.Start("", Ini("DLPath=C:\\no\\such\\folder\r\n")));
    // The box is modal: the command is posted, then the box looked for.
    PostMessageA(app.main(), WM_COMMAND, MAKEWPARAM(40010, 0), 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        box = FindWindowA("#32770", "Ferrow");
        return box && IsWindowVisible(box);
    }));
    EXPECT_EQ(GetWindow(box, GW_OWNER), app.main());
    EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), "DLフォルダが開けません");
    RECT outer, inner;
    GetWindowRect(app.main(), &outer);
    auto centred = [&] {
        GetWindowRect(box, &inner);
        int dx = (outer.left + outer.right) - (inner.left + inner.right);
        int dy = (outer.top + outer.bottom) - (inner.top + inner.bottom);
        return dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1;
    };
    EXPECT_TRUE(WaitUntil(centred, 5000)) << inner.left << "," << inner.top;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    // Nothing else changed: the program still answers.
    EXPECT_EQ(app.Caption(), "Ferrow");
}

std::string Page(int i) {
    return "h" + std::to_string(i) + ".html";
}

bool Analyse(FerrowApp& app, const std::string& page) {
    app.Command(40017); // so that an earlier line of the same page does not count
    const std::string address = ServerAddress(page);
    app.CopyData(address.c_str(), (DWORD)address.size() + 1);
    return app.WaitForLog(page + "を解析しました") && app.WaitForLog("解析が終了しました");
}

TEST(UrlBoxTest, HistoryOrderChoiceAndClearing) {
    for (int i = 0; i < 12; i++)
        WriteSiteFile(Page(i), "<html><title>h</title></html>");
    FerrowApp app;
    ASSERT_TRUE(app.Start("", Ini("HeadCheck=0\r\n")));
    for (int i = 0; i < 12; i++)
        ASSERT_TRUE(Analyse(app, Page(i))) << i;
    Texts history = History(app);
    ASSERT_EQ(history.size(), 12u);
    EXPECT_EQ(history[0], ServerAddress(Page(11))); // newest first
    EXPECT_EQ(history[11], ServerAddress(Page(0)));

    // Analysing the third entry again moves it to the top and selects it.
    ASSERT_TRUE(Analyse(app, Page(9)));
    history = History(app);
    EXPECT_EQ(history.size(), 12u);
    EXPECT_EQ(history[0], ServerAddress(Page(9)));
    EXPECT_EQ(history[1], ServerAddress(Page(11)));
    EXPECT_EQ(SendMessageA(app.Child(102), CB_GETCURSEL, 0, 0), 0);

    // Choosing an entry from the list analyses it and moves it up.
    SendMessageA(app.Child(102), CB_SETCURSEL, 5, 0);
    app.Command(40017);
    SendMessageA(app.main(), WM_COMMAND, MAKEWPARAM(102, CBN_SELENDOK), (LPARAM)app.Child(102));
    EXPECT_EQ(History(app)[0], ServerAddress(Page(6)));
    EXPECT_TRUE(app.WaitForLog(Page(6) + "を解析しました"));

    // Clearing removes ten entries from the top; older ones stay, the edit keeps its text.
    const std::string text = app.UrlText();
    app.Command(40042);
    EXPECT_EQ(History(app), (Texts{ServerAddress(Page(1)), ServerAddress(Page(0))}));
    EXPECT_EQ(app.UrlText(), text);
}

TEST(UrlBoxTest, EnterAnalysesAndArrowsAndWheelLeaveTheHistory) {
    WriteSiteFile("one.html", "<html><title>one</title></html>");
    WriteSiteFile("two.html", "<html><title>two</title></html>");
    FerrowApp app;
    ASSERT_TRUE(app.Start("", Ini("HeadCheck=0\r\n")));
    ASSERT_TRUE(Analyse(app, "one.html"));
    ASSERT_TRUE(Analyse(app, "two.html"));
    app.Command(40017);
    const size_t before = app.LogText().size();

    // Enter with an empty box does nothing.
    SetWindowTextA(app.UrlEdit(), "");
    app.ClickInto(app.UrlEdit());
    ASSERT_TRUE(WaitUntil(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(GetWindowThreadProcessId(app.main(), nullptr), &info) &&
                   info.hwndFocus == app.UrlEdit();
        },
        5000));
    PressKey(VK_RETURN);
    EXPECT_FALSE(WaitUntil([&] { return app.LogText().size() > before; }, 500));

    // Up, Down and the page keys neither change the text nor walk the history.
    SetWindowTextA(app.UrlEdit(), ServerAddress("one.html").c_str());
    for (WORD key : {VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_DOWN})
        PressKey(key);
    TurnWheel(-1);
    TurnWheel(1);
    // Enter analyses what the box holds, so its log line also proves the keys
    // before it have been handled.
    PressKey(VK_RETURN);
    ASSERT_TRUE(app.WaitForLog("one.htmlを解析しました")) << app.LogText();
    EXPECT_EQ(app.UrlText(), ServerAddress("one.html"));
    EXPECT_EQ(History(app).size(), 2u);
    ASSERT_TRUE(app.WaitForLog("解析が終了しました"));
    EXPECT_EQ(app.LogLines().size(), 3u); // an empty first line, analysed, finished
}

} // namespace
