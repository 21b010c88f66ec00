// The settings record and its file Ferrow.ini beside the program.
#pragma once
#include <cstdint>

struct OptionsRecord {
    int32_t MinSizeCheck;
    int32_t MinSize;
    int32_t MaxSizeCheck;
    int32_t MaxSize;
    int32_t Hierarchical;
    int32_t SameFileName;
    int32_t Sockets;
    char DLPath[260];
    int32_t JPG;
    int32_t HTM;
    int32_t GIF;
    int32_t PNG;
    int32_t WAV;
    int32_t LZH;
    char Extension[256];
    int32_t HeadCheck;
    int32_t ClickHTML;
    int32_t ThumbNail;
    int32_t TimeOut;
    int32_t TimeOutSec;
    int32_t InternalLinks;
    int32_t ViewerDialog;
    int32_t ExternalIcon;
    int32_t IEMenu;
    int32_t URLSave;
    int32_t ProxyFlag;
    char Proxy[256];
    int32_t ProxyPort;
    int32_t HostSockets;  // most downloads from one host at once, 1 to 10
    char CookieFile[260]; // a cookies.txt to read at start, "" for none
    int32_t WEBP;
    int32_t AVIF;
};

extern OptionsRecord Options;
// Ferrow.ini in the program's folder, and that folder without trailing backslash.
extern char IniPath[260];
extern char ProgramFolder[260];

// Forms IniPath and ProgramFolder from the executable's full path.
void FormProgramPaths(const char* executablePath);
// Fewest, most and default simultaneous connections to one host.
constexpr int kMinHostSockets = 1;
constexpr int kMaxHostSockets = 10;
constexpr int kDefaultHostSockets = 4;

// Reads every key of section OPTION from IniPath into Options.
void LoadOptions();
