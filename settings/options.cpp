#include "settings/options.h"

#include <cstring>

#include "settings/ini.h"
#include "text/text.h"

OptionsRecord Options;
char IniPath[260];
char ProgramFolder[260];

// Drive and directory of a path (up to and including its last backslash or slash).
static void FolderWithSeparator(const char* path, char* out, size_t size) {
    CopyText(out, size, path);
    char* cut = nullptr;
    for (char* p = out; *p; p++) {
        if (IsLeadByte((unsigned char)*p) && p[1]) {
            p++;  // a trail byte may be 0x5C; it is not a separator
            continue;
        }
        if (*p == '\\' || *p == '/') cut = p;
    }
    if (cut) cut[1] = '\0';
    else out[0] = '\0';
}

static void FolderOfExecutable(const char* executablePath, char* out, size_t size) {
    FolderWithSeparator(executablePath, out, size);
    size_t len = strlen(out);
    if (len > 0) out[len - 1] = '\0';  // the trailing backslash
}

void FormProgramPaths(const char* executablePath) {
    char folder[260];
    FolderWithSeparator(executablePath, folder, sizeof folder);
    FormatText(IniPath, sizeof IniPath, "%s%s.ini", folder, "Ferrow");
    FolderOfExecutable(executablePath, ProgramFolder, sizeof ProgramFolder);
}

static const char kSection[] = "OPTION";

// A file that cannot be read gives the defaults, as a missing one does.
static int ReadInt(const IniDocument& file, const char* key, int fallback) {
    return IniGetInt(file, kSection, key, fallback);
}

static int ReadTextInt(const IniDocument& file, const char* key, const char* fallback) {
    char text[260];
    IniGetText(file, kSection, key, fallback, text, sizeof text);
    return TextToInt(text);
}

static void ReadText(const IniDocument& file, const char* key, const char* fallback, char* field,
                     size_t size) {
    IniGetText(file, kSection, key, fallback, field, size);
}

void LoadOptions() {
    IniDocument f;
    IniLoad(IniPath, &f);
    Options.Hierarchical = ReadInt(f, "Hierarchical", 1);
    Options.SameFileName = ReadInt(f, "SameFileName", 0);
    Options.Sockets = ReadInt(f, "Sockets", 3);
    ReadText(f, "DLPath", ProgramFolder, Options.DLPath, sizeof Options.DLPath);
    Options.InternalLinks = ReadInt(f, "InternalLinks", 0);
    Options.HeadCheck = ReadInt(f, "HeadCheck", 1);
    Options.ThumbNail = ReadInt(f, "ThumbNail", 0);
    Options.TimeOut = ReadInt(f, "TimeOut", 1);
    Options.TimeOutSec = ReadTextInt(f, "TimeOutSec", "10");
    Options.JPG = ReadInt(f, "JPG", 1);
    Options.HTM = ReadInt(f, "HTM", 1);
    Options.PNG = ReadInt(f, "PNG", 0);
    Options.GIF = ReadInt(f, "GIF", 0);
    Options.WAV = ReadInt(f, "WAV", 0);
    Options.LZH = ReadInt(f, "LZH", 0);
    Options.WEBP = ReadInt(f, "WEBP", 1);
    Options.AVIF = ReadInt(f, "AVIF", 1);
    ReadText(f, "Extension", "", Options.Extension, sizeof Options.Extension);
    Options.MinSizeCheck = ReadInt(f, "MinSizeCheck", 0);
    Options.MaxSizeCheck = ReadInt(f, "MaxSizeCheck", 0);
    Options.MinSize = ReadTextInt(f, "MinSize", "0");
    Options.MaxSize = ReadTextInt(f, "MaxSize", "1000000");
    Options.ClickHTML = ReadInt(f, "ClickHTML", 1);
    Options.ViewerDialog = ReadInt(f, "ViewerDialog", 0);
    Options.ExternalIcon = ReadInt(f, "ExternalIcon", 0);
    Options.IEMenu = ReadInt(f, "IEMenu", 0);
    Options.URLSave = ReadInt(f, "URLSave", 1);
    Options.ProxyFlag = ReadInt(f, "ProxyFlag", 0);
    ReadText(f, "Proxy", "", Options.Proxy, sizeof Options.Proxy);
    Options.ProxyPort = ReadTextInt(f, "ProxyPort", "0");
    // The scheduler divides the sockets among hosts by it: a value outside
    // the range would stop every download or lift the limit.
    int hostSockets = ReadInt(f, "HostSockets", kDefaultHostSockets);
    if (hostSockets < kMinHostSockets) hostSockets = kMinHostSockets;
    if (hostSockets > kMaxHostSockets) hostSockets = kMaxHostSockets;
    Options.HostSockets = hostSockets;
    ReadText(f, "CookieFile", "", Options.CookieFile, sizeof Options.CookieFile);
}
