#include "settings/ini.h"

#include <cstring>

#include "settings/whole_file.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A line without its line end.
std::string Content(const std::string& line) {
    size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n') end--;
    if (end > 0 && line[end - 1] == '\r') end--;
    return line.substr(0, end);
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && IsBlank(s[a])) a++;
    while (b > a && IsBlank(s[b - 1])) b--;
    return s.substr(a, b - a);
}

bool SameName(const std::string& a, const char* b) {
    return a.size() == strlen(b) && StrNCmpI(a.c_str(), b, (int)a.size()) == 0;
}

// Section name of a "[name]" line, or false for other lines.
bool SectionOf(const std::string& line, std::string* nameOut) {
    std::string t = Trim(Content(line));
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *nameOut = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Key and value of a "key=value" line; comments and blank lines give false.
bool KeyOf(const std::string& line, std::string* keyOut, std::string* valueOut) {
    std::string t = Trim(Content(line));
    if (t.empty() || t[0] == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        *keyOut = t;
        valueOut->clear();
        return true;
    }
    *keyOut = Trim(t.substr(0, eq));
    *valueOut = Trim(t.substr(eq + 1));
    return true;
}

// The key's line, the section's header line and the line after the
// section's last entry (-1 when the section is missing).
struct Place {
    int header = -1;
    int keyLine = -1;
    int insertAt = -1;
    std::string value;
};

Place Locate(const std::vector<std::string>& lines, const char* section, const char* key) {
    Place place;
    bool inside = false;
    for (int i = 0; i < (int)lines.size(); i++) {
        std::string name, k, v;
        if (SectionOf(lines[i], &name)) {
            if (inside) break;  // the first section of that name is the one used
            inside = SameName(name, section);
            if (inside) {
                place.header = i;
                place.insertAt = i + 1;
            }
            continue;
        }
        if (!inside || !KeyOf(lines[i], &k, &v)) continue;
        place.insertAt = i + 1;
        if (key && place.keyLine < 0 && SameName(k, key)) {
            place.keyLine = i;
            place.value = v;
        }
    }
    return place;
}

// A line put before another needs a line end of its own.
void EndLine(std::string* line) {
    if (line->empty() || line->back() != '\n') line->append("\r\n");
}

void InsertLine(IniDocument* document, int at, const std::string& text) {
    std::vector<std::string>& lines = document->lines;
    if (at > 0) EndLine(&lines[at - 1]);
    lines.insert(lines.begin() + at, text + "\r\n");
}

}  // namespace

void IniParse(const std::string& text, IniDocument* out) {
    out->lines.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out->lines.push_back(text.substr(start, end - start));
        start = end;
    }
}

std::string IniText(const IniDocument& document) {
    std::string text;
    for (const std::string& line : document.lines) text += line;
    return text;
}

IniLoadResult IniLoad(const char* path, IniDocument* out) {
    std::string text;
    out->lines.clear();
    switch (LoadWholeFile(path, &text)) {
    case WholeFileLoaded:
        IniParse(text, out);
        return IniLoaded;
    case WholeFileMissing:
        return IniNoFile;
    default:
        return IniReadError;
    }
}

int IniStore(const IniDocument& document, const char* path) {
    std::string text = IniText(document);
    return ReplaceWholeFile(path, text.data(), text.size());
}

size_t IniGetText(const IniDocument& document, const char* section, const char* key,
                  const char* fallback, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    Place place = Locate(document.lines, section, key);
    std::string value;
    if (place.keyLine >= 0) {
        value = place.value;
        // A value in double quotes is given without them.
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
    } else {
        value = fallback ? fallback : "";
        while (!value.empty() && value.back() == ' ') value.pop_back();
    }
    CopyText(buffer, size, value.c_str());
    return strlen(buffer);
}

int IniGetInt(const IniDocument& document, const char* section, const char* key, int fallback) {
    char text[30];
    if (IniGetText(document, section, key, "", text, sizeof text) == 0) return fallback;
    const char* p = text;
    while (IsBlank(*p)) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16, p += 2;
    else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) base = 8, p += 2;
    else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) base = 2, p += 2;
    unsigned int value = 0;
    for (;; p++) {
        int digit;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
        else break;
        if (digit >= base) break;
        value = value * (unsigned)base + (unsigned)digit;  // wraps like the platform's
    }
    return negative ? (int)(0u - value) : (int)value;
}

void IniSetText(IniDocument* document, const char* section, const char* key, const char* value) {
    std::vector<std::string>& lines = document->lines;
    Place place = Locate(lines, section, key);
    if (place.keyLine >= 0) {
        if (!value) {
            lines.erase(lines.begin() + place.keyLine);
            return;
        }
        // Keep the key's own spelling and the line's own end; only the
        // value changes.
        std::string& line = lines[place.keyLine];
        std::string k, v;
        KeyOf(line, &k, &v);
        line = k + "=" + value + line.substr(Content(line).size());
    } else if (!value) {
        return;  // nothing to delete
    } else if (place.header >= 0) {
        InsertLine(document, place.insertAt, std::string(key) + "=" + value);
    } else {
        InsertLine(document, (int)lines.size(), std::string("[") + section + "]");
        InsertLine(document, (int)lines.size(), std::string(key) + "=" + value);
    }
}

void IniSetInt(IniDocument* document, const char* section, const char* key, int value) {
    char text[16];
    FormatText(text, sizeof text, "%d", value);
    IniSetText(document, section, key, text);
}

size_t IniReadText(const char* section, const char* key, const char* fallback, char* buffer,
                   size_t size, const char* path) {
    IniDocument document;
    IniLoad(path, &document);
    return IniGetText(document, section, key, fallback, buffer, size);
}

int IniReadInt(const char* section, const char* key, int fallback, const char* path) {
    IniDocument document;
    IniLoad(path, &document);
    return IniGetInt(document, section, key, fallback);
}

int IniWriteText(const char* section, const char* key, const char* value, const char* path) {
    IniDocument document;
    if (IniLoad(path, &document) == IniReadError) return 0;
    IniSetText(&document, section, key, value);
    return IniStore(document, path);
}

int WriteIniInt(const char* section, const char* key, int value, const char* path) {
    char text[16];
    FormatText(text, sizeof text, "%d", value);
    return IniWriteText(section, key, text, path);
}

int TextToInt(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 0x80000000LL) value = value * 10 + (*p - '0');
        p++;
    }
    if (negative) value = -value;
    if (value > 0x7fffffffLL) value = 0x7fffffffLL;
    if (value < -0x80000000LL) value = -0x80000000LL;
    return (int)value;
}
