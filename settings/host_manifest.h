// The native messaging manifest through which Chrome, Edge and Firefox find
// FerrowHost.exe: FerrowHost.json beside the program, named by a registry
// key of each browser.
#pragma once
#include <string>

// The registry keys (under HKEY_CURRENT_USER) whose default value is the
// manifest's path.
extern const char* const kHostManifestKeys[3];

// The manifest for the host at hostPath (UTF-8, as the file must be): the
// host's name, the path as a JSON string, and the extension's Chromium
// origin and Firefox id as the only callers.
std::string HostManifestJson(const char* hostPathUtf8);
