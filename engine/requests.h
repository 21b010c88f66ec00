// What the user interface asks of the engine by direct call, beside the
// requests it sends to the engine window (MsgAnalysePage, MsgDownload ...).
#pragma once

// The downloads just sent form one batch: its end is logged once the last
// of them is done.
void BeginDownloadBatch();
// Reads the file Options.CookieFile names into the cookie store, if any,
// and logs the outcome (at start-up, and when the settings change it).
void ReadCookieFileSetting();
