// libFuzzer target: arbitrary bytes as a page body, scanned with the found-file
// table and the engine's queues live. The first byte picks the options, so
// every combination of the filters gets explored.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "analysis/file_table.h"
#include "analysis/links.h"
#include "analysis/page_scan.h"
#include "engine/jobs.h"
#include "engine/text.h"
#include "settings/options.h"
#include "tests/support/recorder.h"

static const char kPage[] = "http://fuzz.example/dir/sub/page.html";

static void ResetState(uint8_t flags) {
    OnStopAll();
    Engine.VisitedPages.clear();
    ListReset();
    ClearReports();
    Options.JPG = flags & 1;
    Options.GIF = (flags >> 1) & 1;
    Options.HTM = (flags >> 2) & 1;
    Options.InternalLinks = (flags >> 3) & 1;
    Options.HeadCheck = (flags >> 4) & 1;
    Options.ThumbNail = (flags >> 5) & 1;
    Options.PNG = Options.WAV = Options.LZH = (flags >> 6) & 1;
    CopyText(Options.Extension, sizeof Options.Extension, (flags & 0x80) ? "mp3 .zip ..txt" : "");
    CopyText(Engine.TopPageAddress, sizeof Engine.TopPageAddress, kPage);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ResetState(data[0]);
    // The engine hands over a terminated copy; embedded NULs stay in it.
    std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

    AnalysePage(body.c_str(), kPage);

    // The same bytes as a link and as a page address (redirect targets).
    char address[kAddressBufferSize];
    ResolveLink(body.c_str(), kPage, address, sizeof address);
    ResolveLink("../x.html", body.c_str(), address, sizeof address);
    ResolveLink(body.c_str(), kPage, address, 7);

    std::string title = body.substr(0, 200);
    GuessJapaneseEncoding(title.c_str());
    EucToShiftJis(&title[0]);

    // Keep memory flat between inputs.
    OnStopAll();
    Engine.VisitedPages.clear();
    Engine.VisitedPages.shrink_to_fit();
    return 0;
}
