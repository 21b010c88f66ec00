// A cookies.txt in the Netscape layout, read into the cookie store so that a
// user can bring the session of a logged-in browser. The file is only read.
#pragma once
#include <cstddef>
#include <cstdint>

// Reads the lines of a cookies.txt (text[0, len), CRLF or LF) into the store.
// A line is seven fields split by tabs: domain, include-subdomains flag
// (TRUE/FALSE), path, secure flag, expiry in Unix seconds (0 for the run
// only), name and value. "#HttpOnly_" before the domain marks an HttpOnly
// cookie; other lines that begin with "#", blank lines and malformed lines
// are skipped, as are cookies already expired at now. Returns how many
// cookies went into the store.
int ReadCookieText(const char* text, size_t len, int64_t now);

// The file Options.CookieFile names: as it is when absolute, else taken
// from folder (the program's folder). "" when the key is empty.
void CookieFilePath(const char* setting, const char* folder, char* out, size_t outSize);

// Reads the file Options.CookieFile names, if any, and logs the outcome.
// At start-up after the settings, and when the settings dialog changes it.
void LoadCookieFile();
