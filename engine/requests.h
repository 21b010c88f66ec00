// What the user interface asks of the engine by direct call, beside the
// requests it sends to the engine window (MsgAnalysePage, MsgDownload ...).
#pragma once

// The downloads just sent form one batch: its end is logged once the last
// of them is done.
void BeginDownloadBatch();
// Reads the file Options.CookieFile names into the cookie store, if any,
// and logs the outcome (at start-up, and when the settings change it).
void ReadCookieFileSetting();

struct Snapshot;
// Analyses what a browser handed over (a snapshot that passed its checks):
// its cookies go into the store and its User-Agent into every request of
// the run. A page's markup is analysed as the top page without fetching it,
// with the pictures the browser showed; a link is fetched and analysed as a
// typed address is; a picture is listed alone. Referers are the page's.
void AnalyseSnapshot(const Snapshot& snapshot);
