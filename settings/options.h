// The settings record and its file Ferrow.ini beside the program.
#pragma once
#include <cstddef>
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
    int32_t NoExtImages;  // pictures without an extension are listed too
    int32_t BrowserExtension;  // the browser extension's host is registered
};

extern OptionsRecord Options;
// Ferrow.ini in the program's folder, and that folder without trailing backslash.
extern char IniPath[260];
extern char ProgramFolder[260];

// Forms IniPath and ProgramFolder from the executable's full path.
void FormProgramPaths(const char* executablePath);

// Fewest and most simultaneous downloads (Sockets); the connections to one
// host (HostSockets) take the same range. The defaults of both.
constexpr int kMinSockets = 1;
constexpr int kMaxSockets = 10;
constexpr int kDefaultSockets = 3;
constexpr int kDefaultHostSockets = 4;

// The section of Ferrow.ini that holds the options.
extern const char kOptionSection[];

// How a key's value is read from the file.
enum OptionKind {
    IntKey,     // the integer read: leading digits; the default when missing or empty
    TextIntKey, // read as text, then the decimal conversion (present but empty gives 0)
    TextKey,    // copied as it stands, cut to its field
};

// One key of section OPTION and the field of OptionsRecord of the same name.
struct OptionKey {
    const char* key;
    size_t offset; // of the field in OptionsRecord
    size_t size;   // of the field: a text's buffer, 4 for a number
    OptionKind kind;
    int32_t fallback;         // a number's default when the key is missing
    const char* fallbackText; // a text's default; nullptr: ProgramFolder
    int32_t min, max;         // the range the program keeps a number in
    bool heldOnLoad;          // LoadOptions holds a read number to the range;
                              // else only the dialog's fields keep it there
};

// Every key, in the order LoadOptions reads them.
constexpr int kOptionKeyCount = 34;
extern const OptionKey kOptionKeys[kOptionKeyCount];

// The key of a field (its offsetof in OptionsRecord); nullptr for none.
const OptionKey* OptionOfField(size_t offset);
// The field of a key in a record: a number's, or a text's buffer of key.size bytes.
int32_t* OptionNumber(OptionsRecord* record, const OptionKey& key);
char* OptionText(OptionsRecord* record, const OptionKey& key);

// Reads every key of section OPTION from IniPath into Options.
void LoadOptions();
