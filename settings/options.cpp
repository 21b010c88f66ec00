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

static int ReadInt(const char* key, int fallback) {
    return IniReadInt(kSection, key, fallback, IniPath);
}

static int ReadTextInt(const char* key, const char* fallback) {
    char text[260];
    IniReadText(kSection, key, fallback, text, sizeof text, IniPath);
    return TextToInt(text);
}

void LoadOptions() {
    Options.Hierarchical = ReadInt("Hierarchical", 1);
    Options.SameFileName = ReadInt("SameFileName", 0);
    Options.Sockets = ReadInt("Sockets", 3);
    IniReadText(kSection, "DLPath", ProgramFolder, Options.DLPath, sizeof Options.DLPath, IniPath);
    Options.InternalLinks = ReadInt("InternalLinks", 0);
    Options.HeadCheck = ReadInt("HeadCheck", 1);
    Options.ThumbNail = ReadInt("ThumbNail", 0);
    Options.TimeOut = ReadInt("TimeOut", 1);
    Options.TimeOutSec = ReadTextInt("TimeOutSec", "10");
    Options.JPG = ReadInt("JPG", 1);
    Options.HTM = ReadInt("HTM", 1);
    Options.PNG = ReadInt("PNG", 0);
    Options.GIF = ReadInt("GIF", 0);
    Options.WAV = ReadInt("WAV", 0);
    Options.LZH = ReadInt("LZH", 0);
    IniReadText(kSection, "Extension", "", Options.Extension, sizeof Options.Extension, IniPath);
    Options.MinSizeCheck = ReadInt("MinSizeCheck", 0);
    Options.MaxSizeCheck = ReadInt("MaxSizeCheck", 0);
    Options.MinSize = ReadTextInt("MinSize", "0");
    Options.MaxSize = ReadTextInt("MaxSize", "1000000");
    Options.ClickHTML = ReadInt("ClickHTML", 1);
    Options.ViewerDialog = ReadInt("ViewerDialog", 0);
    Options.ExternalIcon = ReadInt("ExternalIcon", 0);
    Options.IEMenu = ReadInt("IEMenu", 0);
    Options.URLSave = ReadInt("URLSave", 1);
    Options.ProxyFlag = ReadInt("ProxyFlag", 0);
    IniReadText(kSection, "Proxy", "", Options.Proxy, sizeof Options.Proxy, IniPath);
    Options.ProxyPort = ReadTextInt("ProxyPort", "0");
}
