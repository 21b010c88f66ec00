#include "settings/options.h"

#include <cstddef>
#include <cstdint>
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

const char kOptionSection[] = "OPTION";

// Field and key bear the same name.
#define NAMED_FIELD(name) #name, offsetof(OptionsRecord, name), sizeof(OptionsRecord::name)
#define FLAG_KEY(name, fallback) {NAMED_FIELD(name), IntKey, fallback, "", 0, 1, false}
#define TEXT_KEY(name, fallback) {NAMED_FIELD(name), TextKey, 0, fallback, 0, 0, false}

// clang-format off
const OptionKey kOptionKeys[kOptionKeyCount] = {
    FLAG_KEY(Hierarchical, 1),
    FLAG_KEY(SameFileName, 0),
    {NAMED_FIELD(Sockets), IntKey, kDefaultSockets, "", kMinSockets, kMaxSockets, false},
    TEXT_KEY(DLPath, nullptr),
    FLAG_KEY(InternalLinks, 0),
    FLAG_KEY(HeadCheck, 1),
    FLAG_KEY(ThumbNail, 0),
    FLAG_KEY(TimeOut, 1),
    {NAMED_FIELD(TimeOutSec), TextIntKey, 10, "", INT32_MIN, INT32_MAX, false},
    FLAG_KEY(JPG, 1),
    FLAG_KEY(HTM, 1),
    FLAG_KEY(PNG, 0),
    FLAG_KEY(GIF, 0),
    FLAG_KEY(WAV, 0),
    FLAG_KEY(LZH, 0),
    FLAG_KEY(WEBP, 1),
    FLAG_KEY(AVIF, 1),
    TEXT_KEY(Extension, ""),
    FLAG_KEY(MinSizeCheck, 0),
    FLAG_KEY(MaxSizeCheck, 0),
    // The dialog reads the sizes and the port as unsigned numbers.
    {NAMED_FIELD(MinSize), TextIntKey, 0, "", 0, INT32_MAX, false},
    {NAMED_FIELD(MaxSize), TextIntKey, 1000000, "", 0, INT32_MAX, false},
    FLAG_KEY(ClickHTML, 1),
    FLAG_KEY(ViewerDialog, 0),
    FLAG_KEY(ExternalIcon, 0),
    FLAG_KEY(IEMenu, 0),
    FLAG_KEY(URLSave, 1),
    FLAG_KEY(ProxyFlag, 0),
    TEXT_KEY(Proxy, ""),
    {NAMED_FIELD(ProxyPort), TextIntKey, 0, "", 0, INT32_MAX, false},
    // The scheduler divides the sockets among hosts by it: a value outside
    // the range would stop every download or lift the limit.
    {NAMED_FIELD(HostSockets), IntKey, kDefaultHostSockets, "", kMinSockets, kMaxSockets, true},
    TEXT_KEY(CookieFile, ""),
    FLAG_KEY(NoExtImages, 1),
    FLAG_KEY(BrowserExtension, 0),
};
// clang-format on

#undef TEXT_KEY
#undef FLAG_KEY
#undef NAMED_FIELD

const OptionKey* OptionOfField(size_t offset) {
    for (const OptionKey& key : kOptionKeys)
        if (key.offset == offset) return &key;
    return nullptr;
}

int32_t* OptionNumber(OptionsRecord* record, const OptionKey& key) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(record) + key.offset);
}

char* OptionText(OptionsRecord* record, const OptionKey& key) {
    return reinterpret_cast<char*>(record) + key.offset;
}

// A file that cannot be read gives the defaults, as a missing one does.
static void LoadKey(const IniDocument& file, const OptionKey& key) {
    if (key.kind == TextKey) {
        const char* fallback = key.fallbackText ? key.fallbackText : ProgramFolder;
        IniGetText(file, kOptionSection, key.key, fallback, OptionText(&Options, key), key.size);
        return;
    }
    int value;
    if (key.kind == IntKey) {
        value = IniGetInt(file, kOptionSection, key.key, key.fallback);
    } else {
        char fallback[16], text[260];
        FormatText(fallback, sizeof fallback, "%d", key.fallback);
        IniGetText(file, kOptionSection, key.key, fallback, text, sizeof text);
        value = TextToInt(text);
    }
    if (key.heldOnLoad && value < key.min) value = key.min;
    if (key.heldOnLoad && value > key.max) value = key.max;
    *OptionNumber(&Options, key) = value;
}

void LoadOptions() {
    IniDocument f;
    IniLoad(IniPath, &f);
    for (const OptionKey& key : kOptionKeys) LoadKey(f, key);
}
