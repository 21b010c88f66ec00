#include "engine/local_path.h"

#include <cstring>
#include <string>

#include "engine/platform.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

static bool IsRefused(unsigned char c) {
    return c < 0x20 || c == 0x7F || strchr("<>:\"/\\|?*", c) != nullptr;
}

static bool IsDeviceName(const char* name) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t stem = strcspn(name, ".");
    while (stem > 0 && name[stem - 1] == ' ') stem--;
    for (const char* device : kDevices)
        if (stem == strlen(device) && StrNCmpI(name, device, (int)stem) == 0) return true;
    // COM1..COM9 and LPT1..LPT9
    if (stem == 4 && (StrNCmpI(name, "COM", 3) == 0 || StrNCmpI(name, "LPT", 3) == 0))
        return name[3] >= '1' && name[3] <= '9';
    return false;
}

void SafeName(const char* name, size_t len, char* out, size_t outSize) {
    if (outSize == 0) return;
    size_t used = 0;
    for (size_t i = 0; i < len && name[i] && used + 2 < outSize; i++) {
        unsigned char c = (unsigned char)name[i];
        if (i + 1 < len && IsDoubleByteAt(name + i)) {
            out[used++] = name[i++];
            out[used++] = name[i];
            continue;
        }
        // A lead byte without its second half would swallow the next byte
        // (":" for one) when Windows converts the name, so it goes too.
        out[used++] = IsRefused(c) || IsLeadByte(c) ? '_' : (char)c;
    }
    out[used] = '\0';
    // Trailing dots and spaces: Windows strips them and "a." would alias "a".
    while (used > 0 && (out[used - 1] == '.' || out[used - 1] == ' ')) out[--used] = '\0';
    if (used == 0) return;  // also what "." and ".." come to
    if (IsDeviceName(out)) {
        // The prefix may push the end out: CopyText cuts on a whole character.
        std::string renamed = std::string("_") + out;
        CopyText(out, outSize, renamed.c_str());
    }
}

// Start of the extension (its ".") of a file name, or the name's end when it
// has none or when the text after the last "." is too long to be one.
static size_t ExtensionStart(const char* name) {
    const char* dot = strrchr(name, '.');
    if (!dot || dot == name || strlen(dot) > 16) return strlen(name);
    return (size_t)(dot - name);
}

// Appends "\" and name to path, cutting the name's stem (not its extension)
// so that the whole path stays within kMaxPathChars.
static bool AppendFileName(char* path, size_t pathSize, const char* name) {
    size_t used = strlen(path);
    size_t room = kMaxPathChars - used - 1;  // after the backslash
    if (used + 2 > (size_t)kMaxPathChars) return false;
    size_t nameLen = strlen(name);
    char cut[kMaxPathChars + 1];
    if (nameLen > room) {
        size_t ext = ExtensionStart(name);
        size_t extLen = nameLen - ext;
        if (extLen + 1 > room) extLen = 0;  // no room for the extension either
        char stem[kMaxPathChars + 1];
        CopyText(stem, room - extLen + 1, name);
        // The cut may end the name in blanks or dots, which Windows strips.
        size_t stemLen = strlen(stem);
        while (stemLen > 0 && (stem[stemLen - 1] == ' ' || stem[stemLen - 1] == '.')) stem[--stemLen] = '\0';
        if (stemLen == 0) CopyText(stem, sizeof stem, "_");
        FormatText(cut, sizeof cut, "%s%s", stem, extLen ? name + ext : "");
        name = cut;
    }
    AppendFormat(path, pathSize, "\\%s", name);
    return true;
}

bool DownloadPath(const char* folder, const char* address, const char* flatName, int hierarchical,
                  char* out, size_t outSize) {
    char path[kMaxPathChars + 1];
    CopyText(path, sizeof path, folder);
    // Room kept for a short file name after the folders.
    const size_t kNameRoom = 16;
    if (strlen(path) + 1 + kNameRoom > (size_t)kMaxPathChars) return false;
    char name[kMaxPathChars + 1] = "";
    if (hierarchical) {
        const char* p = address;
        // Both schemes save into the same folders.
        if (StrNCmpI(p, "http://", 7) == 0)
            p += 7;
        else if (StrNCmpI(p, "https://", 8) == 0)
            p += 8;
        // The query and the fragment name no file.
        std::string pathOnly(p, strcspn(p, "?#"));
        p = pathOnly.c_str();
        // "http://host" is the host's index page, like "http://host/".
        char hostOnly[kMaxPathChars + 2];
        if (!strpbrk(p, "/\\")) {
            FormatText(hostOnly, sizeof hostOnly, "%s/", p);
            p = hostOnly;
        }
        // Names run between "/" and "\" (a backslash in an address would be
        // a separator to Windows); the last one is the file's name.
        while (*p) {
            size_t len = 0;
            while (p[len] && p[len] != '/' && p[len] != '\\') {
                if (IsDoubleByteAt(p + len)) len++;
                len++;
            }
            char readable[kMaxPathChars + 1];
            ReadableName(p, len, readable, sizeof readable);
            char piece[kMaxPathChars + 1];
            SafeName(readable, strlen(readable), piece, sizeof piece);
            p += len;
            if (!*p) {
                CopyText(name, sizeof name, piece);
                break;
            }
            p++;
            if (!piece[0]) continue;
            // A folder that leaves no room for a name is left out.
            if (strlen(path) + 1 + strlen(piece) + 1 + kNameRoom <= (size_t)kMaxPathChars)
                AppendFormat(path, sizeof path, "\\%s", piece);
        }
        if (!name[0]) CopyText(name, sizeof name, "index.html");
    } else {
        char readable[kMaxPathChars + 1];
        ReadableName(flatName, strcspn(flatName, "?#"), readable, sizeof readable);
        SafeName(readable, strlen(readable), name, sizeof name);
        if (!name[0]) CopyText(name, sizeof name, "index.html");
    }
    if (!AppendFileName(path, sizeof path, name)) return false;
    CopyText(out, outSize, path);
    return true;
}

static bool Taken(const char* path, bool (*inUse)(const char*)) {
    return FileSizeOf(path) >= 0 || (inUse && inUse(path));
}

SameNameAnswer ResolveSameName(char* path, size_t pathSize, int64_t size, int largerWins,
                               bool (*inUse)(const char* path)) {
    bool busy = inUse && inUse(path);
    long long existing = FileSizeOf(path);
    if (existing < 0 && !busy) return SameNameWrite;
    if (largerWins) return !busy && size >= 0 && existing < size ? SameNameWrite : SameNameSkip;
    // base and extension: the extension starts at the last "." of the file
    // name (never of a folder).
    char base[kMaxPathChars + 1];
    CopyText(base, sizeof base, path);
    const char* ext = "";
    char extension[kMaxPathChars + 1] = "";
    for (size_t i = strlen(base); i > 0; i--) {
        if (base[i - 1] == '\\' || base[i - 1] == '/') break;
        if (base[i - 1] == '.') {
            CopyText(extension, sizeof extension, base + i - 1);
            base[i - 1] = '\0';
            ext = extension;
            break;
        }
    }
    char candidate[kMaxPathChars + 1];
    for (int i = 1; i <= 999; i++) {
        char number[8];
        FormatText(number, sizeof number, "(%d)", i);
        size_t extra = strlen(number) + strlen(ext);
        size_t baseLen = strlen(base);
        // Cut the base rather than exceed the path limit.
        if (baseLen + extra > (size_t)kMaxPathChars) {
            size_t keep = extra < (size_t)kMaxPathChars ? kMaxPathChars - extra : 0;
            char cut[kMaxPathChars + 1];
            CopyText(cut, keep + 1, base);
            FormatText(candidate, sizeof candidate, "%s%s%s", cut, number, ext);
        } else {
            FormatText(candidate, sizeof candidate, "%s%s%s", base, number, ext);
        }
        if (!Taken(candidate, inUse)) {
            CopyText(path, pathSize, candidate);
            return SameNameWrite;
        }
    }
    CopyText(path, pathSize, base);
    return SameNameWrite;
}

bool PartPathOf(const char* target, char* out, size_t outSize) {
    size_t len = strlen(target);
    size_t nameAt = len;
    while (nameAt > 0 && target[nameAt - 1] != '\\' && target[nameAt - 1] != '/') nameAt--;
    char folder[kMaxPathChars + 1];
    CopyText(folder, nameAt + 1 < sizeof folder ? nameAt + 1 : sizeof folder, target);
    if (len + 6 <= (size_t)kMaxPathChars) {
        FormatText(out, outSize, "%s.%s.part", folder, target + nameAt);
    } else {
        // FNV-1a: two long names that begin alike still get parts of their own.
        uint32_t hash = 2166136261u;
        for (const char* p = target; *p; p++) hash = (hash ^ (uint8_t)*p) * 16777619u;
        if (nameAt + 16 > (size_t)kMaxPathChars) return false;
        FormatText(out, outSize, "%s.~%08x.part", folder, (unsigned)hash);
    }
    return strlen(out) <= (size_t)kMaxPathChars && strlen(out) < outSize;
}
