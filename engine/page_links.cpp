#include "engine/page_links.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "analysis/file_table.h"
#include "analysis/links.h"
#include "analysis/page_scan.h"
#include "engine/jobs.h"
#include "engine/report.h"
#include "settings/options.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

constexpr char kCaptionSuffix[] = " - Ferrow";

// Look-up of the found-file table's addresses. The table is written by
// others too, so every hit is checked against the row it names, and the
// index is rebuilt whenever the table shrank.
struct AddressIndex {
    std::unordered_map<std::string, int> rows;
    int indexed = 0;
};
AddressIndex ListedAddresses;
AddressIndex VisitedAddresses;

void RebuildListIndex() {
    ListedAddresses.rows.clear();
    ListedAddresses.indexed = 0;
}

void CatchUpListIndex() {
    int count = ListCount();
    if (count < ListedAddresses.indexed) RebuildListIndex();
    for (; ListedAddresses.indexed < count; ListedAddresses.indexed++) {
        int row = ListedAddresses.indexed;
        ListedAddresses.rows.emplace(ListText(row, ColAddress), row);
    }
}

bool IsListed(const char* address) {
    for (int attempt = 0; attempt < 2; attempt++) {
        CatchUpListIndex();
        auto it = ListedAddresses.rows.find(address);
        if (it == ListedAddresses.rows.end()) return false;
        if (strcmp(ListText(it->second, ColAddress), address) == 0) return true;
        RebuildListIndex(); // the row changed under the index
    }
    return false;
}

void CatchUpVisitedIndex() {
    const auto& visited = Engine.VisitedPages;
    if (visited.size() < (size_t)VisitedAddresses.indexed) {
        VisitedAddresses.rows.clear();
        VisitedAddresses.indexed = 0;
    }
    for (; (size_t)VisitedAddresses.indexed < visited.size(); VisitedAddresses.indexed++)
        VisitedAddresses.rows.emplace(visited[VisitedAddresses.indexed], VisitedAddresses.indexed);
}

} // namespace

void PrepareLinkChecks() {
    RebuildListIndex();
    VisitedAddresses.rows.clear();
    VisitedAddresses.indexed = 0;
}

bool IsKnownAddress(const char* address) {
    for (const JobRequest& request : Engine.AnalysisQueue)
        if (strcmp(request.address, address) == 0) return true;
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended && (strcmp(job.address, address) == 0 || strcmp(job.requested, address) == 0))
            return true;
    return IsListed(address);
}

bool IsVisited(const char* address) {
    for (int attempt = 0; attempt < 2; attempt++) {
        CatchUpVisitedIndex();
        auto it = VisitedAddresses.rows.find(address);
        if (it == VisitedAddresses.rows.end()) return false;
        if ((size_t)it->second < Engine.VisitedPages.size() &&
            Engine.VisitedPages[it->second] == address)
            return true;
        VisitedAddresses.rows.clear(); // the list was replaced under the index
        VisitedAddresses.indexed = 0;
    }
    return false;
}

void TakeReference(const char* link, const char* address, bool relative) {
    if (!AcceptByExtension(link)) return;
    // A longer address would be listed and fetched cut, as some other address.
    if (!AddressFits(address)) return;
    if (IsKnownAddress(address)) return;

    int internal = relative ? 1 : 0;
    int row = AddFoundFile(address, -1, nullptr, internal);
    // The page goes with the file: servers of images often ask for it.
    if (row >= 0) ListSetText(row, ColPage, Engine.AnalysedPage);

    if (Options.InternalLinks == 1 && internal &&
        (EndsWithNoCase(address, ".html") || EndsWithNoCase(address, ".htm")) &&
        strcmp(address, Engine.TopPageAddress) != 0 && !IsVisited(address) &&
        Engine.VisitedPages.size() < kMaxFollowedPages)
        OnAnalyseLink(address, row);

    // A file the table declined (pages while HTM is 0, or a full table) has
    // no row to show a size in, and it stays unknown, so every further
    // mention would queue yet another HEAD request.
    if (Options.HeadCheck == 1 && row >= 0) {
        Engine.HeadQueue.push_back(MakeRequest(KindHead, row, 0, address));
        CopyText(Engine.HeadQueue.back().referer, kAddressBufferSize, Engine.AnalysedPage);
    }
}

void AnalysePage(const char* text, size_t length, const char* pageAddress, int headerCharset) {
    ScanSettings settings;
    settings.skipThumbnails = Options.ThumbNail == 1;
    settings.headerCharset = headerCharset;
    // One scan result reused page after page: its buffers keep their room.
    static PageScan scan;
    ScanPage(text, length, pageAddress, settings, &scan);

    PrepareLinkChecks();
    ViewSetRedraw(0);
    CopyText(Engine.AnalysedPage, sizeof Engine.AnalysedPage, pageAddress);
    for (const PageReference& ref : scan.references)
        TakeReference(ReferenceLink(scan, ref), ReferenceAddress(scan, ref), ref.relative);
    Engine.AnalysedPage[0] = '\0';
    if (strcmp(pageAddress, Engine.TopPageAddress) == 0) {
        char caption[kMaxTitleBytes + sizeof kCaptionSuffix];
        FormatText(caption, sizeof caption, "%s%s", scan.title, kCaptionSuffix);
        SetCaption(caption);
    }
    ListPublishCount();
    ViewSetRedraw(1);
}
