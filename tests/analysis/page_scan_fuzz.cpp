// libFuzzer target: arbitrary bytes as a page body. The scanner alone runs on
// them first (every reference must be a full address, in bounds, in order),
// then the engine takes the page with the found-file table and the queues
// live. The first byte picks the options, the input's length the header's
// charset, so every combination gets explored and the seeds of the old
// format keep their meaning.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/links.h"
#include "analysis/page_charset.h"
#include "analysis/page_scan.h"
#include "engine/file_table.h"
#include "engine/jobs.h"
#include "engine/page_links.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

static const char kPage[] = "http://fuzz.example/dir/sub/page.html";

// A broken promise of the scan: says which one, then stops the fuzzer.
#define Check(condition) CheckAt((condition), __LINE__)
static void CheckAt(bool condition, int line) {
    if (condition) return;
    fprintf(stderr, "page_scan_fuzz.cpp:%d: check failed\n", line);
    abort();
}

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

static void CheckScan(const std::string& body, int charset, bool thumbnails) {
    static PageScan scan;
    ScanSettings settings{thumbnails, charset};
    ScanPage(body.data(), body.size(), kPage, settings, &scan);
    uint32_t lastOrigin = 0;
    for (const PageReference& ref : scan.references) {
        Check(ref.link < scan.texts.size() && ref.address < scan.texts.size());
        Check(ref.origin < body.size() && ref.origin >= lastOrigin && body[ref.origin] == '<');
        lastOrigin = ref.origin;
        const char* address = ReferenceAddress(scan, ref);
        size_t length = strlen(address);
        Check(length > 7 && length <= (size_t)kMaxAddress && SchemeLength(address) > 0);
        for (size_t i = 0; i < length; i++)
            Check((unsigned char)address[i] >= 0x20);
        // Declared UTF-8 from the start: every address goes out percent-encoded.
        // (A charset guessed from the title at the end changes no address.)
        if (charset == CharsetUtf8)
            for (size_t i = 0; i < length; i++)
                Check((unsigned char)address[i] < 0x80);
    }
    Check(strlen(scan.title) <= kMaxTitleBytes);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ResetState(data[0]);
    static const int kCharsets[] = {CharsetUnknown, CharsetShiftJis, CharsetEucJp, CharsetUtf8};
    int charset = kCharsets[size & 3];
    // The engine hands over a terminated copy; embedded NULs stay in it.
    std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

    CheckScan(body, charset, (data[0] >> 5) & 1);
    AnalysePage(body.c_str(), body.size(), kPage, charset);

    // The same bytes as a link and as a page address (redirect targets).
    char address[kAddressBufferSize];
    ResolveLink(body.c_str(), kPage, address, sizeof address);
    ResolveLink("../x.html", body.c_str(), address, sizeof address);
    ResolveLink(body.c_str(), kPage, address, 7);

    std::string title = body.substr(0, 200);
    GuessJapaneseEncoding(title.c_str());
    EucToShiftJis(&title[0]);
    char name[64];
    ReadableName(body.data(), body.size() < 300 ? body.size() : 300, name, sizeof name);
    Check(strlen(name) < sizeof name);

    // Keep memory flat between inputs.
    OnStopAll();
    Engine.VisitedPages.clear();
    Engine.VisitedPages.shrink_to_fit();
    return 0;
}
