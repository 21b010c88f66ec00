#include "engine/page_links.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "analysis/links.h"
#include "analysis/page_scan.h"
#include "engine/file_table.h"
#include "engine/jobs.h"
#include "engine/picture_type.h"
#include "engine/report.h"
#include "settings/options.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

constexpr char kCaptionSuffix[] = " - Ferrow";

size_t HashOf(const char* address) {
    return std::hash<std::string_view>()(std::string_view(address));
}

// Look-up of the found-file table's addresses (or of VisitedPages) by the
// hash of each: no copy of the address asked for. The table is written by
// others too, so every hit is checked against the row it names, and the
// index is rebuilt when a row no longer holds what it was indexed with, or
// the table shrank.
struct AddressIndex {
    std::unordered_multimap<size_t, int> rows; // hash of an address -> its row
    int indexed = 0;
};
AddressIndex ListedAddresses;
AddressIndex VisitedAddresses;

void ClearIndex(AddressIndex& index) {
    index.rows.clear();
    index.indexed = 0;
}

// Whether the index holds text (as textOf reads entries): answers 1 for a
// hit, 0 for none, -1 when an entry of the text's hash holds another text of
// another hash: it changed under the index, which must be made afresh.
template <typename TextOf> int LookUp(const AddressIndex& index, const char* text, TextOf textOf) {
    size_t hash = HashOf(text);
    auto range = index.rows.equal_range(hash);
    int answer = 0;
    for (auto it = range.first; it != range.second; ++it) {
        const char* indexed = textOf(it->second);
        if (strcmp(indexed, text) == 0)
            answer = 1;
        else if (HashOf(indexed) != hash)
            return -1;
    }
    return answer;
}

void CatchUpListIndex() {
    int count = ListCount();
    if (count < ListedAddresses.indexed) ClearIndex(ListedAddresses);
    for (; ListedAddresses.indexed < count; ListedAddresses.indexed++) {
        int row = ListedAddresses.indexed;
        ListedAddresses.rows.emplace(HashOf(ListText(row, ColAddress)), row);
    }
}

bool IsListed(const char* address) {
    for (int attempt = 0; attempt < 2; attempt++) {
        CatchUpListIndex();
        int found =
            LookUp(ListedAddresses, address, [](int row) { return ListText(row, ColAddress); });
        if (found >= 0) return found == 1;
        ClearIndex(ListedAddresses); // a row changed under the index
    }
    return false;
}

void CatchUpVisitedIndex() {
    const auto& visited = Engine.VisitedPages;
    if (visited.size() < (size_t)VisitedAddresses.indexed) ClearIndex(VisitedAddresses);
    for (; (size_t)VisitedAddresses.indexed < visited.size(); VisitedAddresses.indexed++)
        VisitedAddresses.rows.emplace(HashOf(visited[VisitedAddresses.indexed].c_str()),
                                      VisitedAddresses.indexed);
}

// The addresses queued for analysis or being fetched, while AnalysePage
// takes a page's references. The queues change only through TakeReference
// then (job starts wait for the event loop), the queue's entries stay where
// they are when it grows, and so do the jobs: the set views their texts.
struct PendingIndex {
    std::unordered_set<std::string_view> addresses;
    bool inUse = false;
};
PendingIndex Pending;

void BeginPendingIndex() {
    Pending.addresses.clear();
    for (const JobRequest& request : Engine.AnalysisQueue)
        Pending.addresses.insert(request.address);
    for (const Job& job : Engine.ActiveJobs) {
        if (job.ended) continue;
        Pending.addresses.insert(job.address);
        Pending.addresses.insert(job.requested);
    }
    Pending.inUse = true;
}

void EndPendingIndex() {
    Pending.addresses.clear();
    Pending.inUse = false;
}

} // namespace

TypeFilter OptionTypeFilter() {
    TypeFilter filter;
    filter.pages = Options.InternalLinks == 1 || Options.HTM == 1;
    filter.jpg = Options.JPG == 1;
    filter.gif = Options.GIF == 1;
    filter.png = Options.PNG == 1;
    filter.wav = Options.WAV == 1;
    filter.lzh = Options.LZH == 1;
    filter.webp = Options.WEBP == 1;
    filter.avif = Options.AVIF == 1;
    filter.extension = Options.Extension;
    filter.extensionSize = sizeof Options.Extension;
    return filter;
}

void PrepareLinkChecks() {
    ClearIndex(ListedAddresses);
    ClearIndex(VisitedAddresses);
}

bool IsKnownAddress(const char* address) {
    if (Pending.inUse) return Pending.addresses.count(address) > 0 || IsListed(address);
    for (const JobRequest& request : Engine.AnalysisQueue)
        if (strcmp(request.address, address) == 0) return true;
    for (const Job& job : Engine.ActiveJobs)
        if (!job.ended &&
            (strcmp(job.address, address) == 0 || strcmp(job.requested, address) == 0))
            return true;
    return IsListed(address);
}

bool IsVisited(const char* address) {
    for (int attempt = 0; attempt < 2; attempt++) {
        CatchUpVisitedIndex();
        int found = LookUp(VisitedAddresses, address, [](int place) {
            const auto& visited = Engine.VisitedPages;
            return (size_t)place < visited.size() ? visited[place].c_str() : "";
        });
        if (found >= 0) return found == 1;
        ClearIndex(VisitedAddresses); // the list was replaced under the index
    }
    return false;
}

void TakeReference(const char* link, const char* address, bool relative, bool picture) {
    TypeFilter filter = OptionTypeFilter();
    bool untyped = false;
    if (!AcceptByExtension(link, filter)) {
        if (!picture || Options.NoExtImages != 1 || !AnyPictureType(filter) ||
            !HasNoPathExtension(address))
            return;
        untyped = true;
    }
    // A longer address would be listed and fetched cut, as some other address.
    if (!AddressFits(address)) return;
    if (IsKnownAddress(address)) return;

    int internal = relative ? 1 : 0;
    int row = AddFoundFile(address, -1, nullptr, internal);
    if (untyped) ListMarkUntyped(row);
    // The page goes with the file: servers of images often ask for it.
    if (row >= 0) ListSetText(row, ColPage, Engine.AnalysedPage);

    if (Options.InternalLinks == 1 && internal &&
        (EndsWithNoCase(address, ".html") || EndsWithNoCase(address, ".htm")) &&
        strcmp(address, Engine.TopPageAddress) != 0 && !IsVisited(address) &&
        Engine.VisitedPages.size() < kMaxFollowedPages) {
        OnAnalyseLink(address, row);
        if (Pending.inUse) Pending.addresses.insert(Engine.AnalysisQueue.back().address);
    }

    // A file the table declined (pages while HTM is 0, or a full table) has
    // no row to show a size in, and it stays unknown, so every further
    // mention would queue yet another HEAD request.
    if (Options.HeadCheck == 1 && row >= 0) {
        Engine.HeadQueue.push_back(MakeRequest(KindHead, row, 0, address));
        CopyText(Engine.HeadQueue.back().referer, kAddressBufferSize, Engine.AnalysedPage);
    }
}

void AnalysePage(const char* text, size_t length, const char* pageAddress, int headerCharset,
                 const std::vector<std::string>* pictures) {
    ScanSettings settings;
    settings.skipThumbnails = Options.ThumbNail == 1;
    settings.headerCharset = headerCharset;
    // One scan result reused page after page: its buffers keep their room.
    static PageScan scan;
    ScanPage(text, length, pageAddress, settings, &scan);

    PrepareLinkChecks();
    BeginPendingIndex();
    ViewSetRedraw(0);
    CopyText(Engine.AnalysedPage, sizeof Engine.AnalysedPage, pageAddress);
    for (const PageReference& ref : scan.references)
        TakeReference(ReferenceLink(scan, ref), ReferenceAddress(scan, ref), ref.relative,
                      ref.picture);
    if (pictures)
        for (const std::string& picture : *pictures)
            TakeReference(picture.c_str(), picture.c_str(), false, true);
    Engine.AnalysedPage[0] = '\0';
    EndPendingIndex();
    if (strcmp(pageAddress, Engine.TopPageAddress) == 0) {
        char caption[kMaxTitleBytes + sizeof kCaptionSuffix];
        FormatText(caption, sizeof caption, "%s%s", scan.title, kCaptionSuffix);
        SetCaption(caption);
    }
    ListPublishCount();
    ViewSetRedraw(1);
}
