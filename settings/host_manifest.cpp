#include "settings/host_manifest.h"

#include <cstring>

#include "engine/snapshot.h"
#include "text/json_text.h"

const char* const kHostManifestKeys[3] = {
    "Software\\Google\\Chrome\\NativeMessagingHosts\\ferrow.handover",
    "Software\\Microsoft\\Edge\\NativeMessagingHosts\\ferrow.handover",
    "Software\\Mozilla\\NativeMessagingHosts\\ferrow.handover",
};

// Chromium reads allowed_origins and Firefox allowed_extensions; each passes
// over the other's key.
std::string HostManifestJson(const char* hostPathUtf8) {
    std::string json = "{\n  \"name\": \"";
    json += kNativeHostName;
    json += "\",\n  \"description\": \"Ferrow\",\n  \"path\": ";
    AppendJsonString(&json, hostPathUtf8, strlen(hostPathUtf8));
    json += ",\n  \"type\": \"stdio\",\n  \"allowed_origins\": [\"chrome-extension://";
    json += kExtensionChromiumId;
    json += "/\"],\n  \"allowed_extensions\": [\"";
    json += kExtensionFirefoxId;
    json += "\"]\n}\n";
    return json;
}
