#include <cstring>

#include "analysis/page_charset.h"
#include "engine/cookie_file.h"
#include "engine/engine.h"
#include "engine/page_links.h"
#include "engine/platform.h"
#include "engine/report.h"
#include "engine/requests.h"
#include "engine/snapshot.h"
#include "text/text.h"

// The cookie lines passed the snapshot's checks; the store still refuses
// what it would refuse from a cookies.txt (a public suffix, an expired one).
static void TakeBrowserCookies(const Snapshot& s) {
    int taken = 0;
    for (const std::string& line : s.cookies)
        taken += ReadCookieText(line.data(), line.size(), UnixTime());
    if (!s.cookies.empty()) LogAppend("ブラウザのクッキーを%d個受け取りました", taken);
}

// The markup came from the browser as UTF-8, whatever its meta tag says.
static void AnalyseHandedPage(const Snapshot& s) {
    BeginAnalysisRun(s.address);
    CopyText(Engine.BrowserAgent, sizeof Engine.BrowserAgent, s.agent);
    TakeBrowserCookies(s);
    AddToHistory(s.address);
    AnalysePage(s.html.data(), s.html.size(), s.address, CharsetUtf8, &s.pictures);
    LogAppend("ブラウザから受け取ったページを解析しました");
    RequestJobStarts();
}

// Listed as found on the page it was shown on, so that its HEAD request and
// download carry that page as Referer.
static void ListHandedPicture(const Snapshot& s) {
    BeginAnalysisRun(s.address);
    CopyText(Engine.BrowserAgent, sizeof Engine.BrowserAgent, s.agent);
    TakeBrowserCookies(s);
    const std::vector<std::string> picture = {s.address};
    AnalysePage("", 0, s.referer[0] ? s.referer : s.address, CharsetUtf8, &picture);
    LogAppend("ブラウザから受け取った画像を一覧に加えました");
    RequestJobStarts();
}

static void AnalyseHandedLink(const Snapshot& s) {
    OnAnalysePage(s.address, -1);
    if (Engine.AnalysisQueue.empty()) return;
    CopyText(Engine.AnalysisQueue.back().referer, kAddressBufferSize, s.referer);
    CopyText(Engine.BrowserAgent, sizeof Engine.BrowserAgent, s.agent);
    TakeBrowserCookies(s);
    LogAppend("ブラウザから受け取ったリンクを解析します");
}

void AnalyseSnapshot(const Snapshot& s) {
    switch (s.kind) {
    case SnapshotPage:
        AnalyseHandedPage(s);
        break;
    case SnapshotLink:
        AnalyseHandedLink(s);
        break;
    case SnapshotPicture:
        ListHandedPicture(s);
        break;
    default:
        break;
    }
}
