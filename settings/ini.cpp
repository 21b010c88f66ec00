#include "settings/ini.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/nocase.h"
#include "text/text.h"

namespace {

bool ReadLines(const char* path, std::vector<std::string>* linesOut) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    std::string all;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) all.append(chunk, n);
    fclose(f);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        size_t stop = end;
        if (stop > start && all[stop - 1] == '\r') stop--;
        linesOut->push_back(all.substr(start, stop - start));
        start = end + 1;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *nameOut = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Key and value of a "key=value" line; comments and blank lines give false.
bool KeyOf(const std::string& line, std::string* keyOut, std::string* valueOut) {
    std::string t = Trim(line);
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

// Finds the key's line; also reports the section's header line and the line
// after its last entry (-1 when the section is missing).
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

bool WriteLines(const char* path, const std::vector<std::string>& lines) {
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = true;
    for (const std::string& line : lines) {
        if (fwrite(line.data(), 1, line.size(), f) != line.size()) ok = false;
        if (fwrite("\r\n", 1, 2, f) != 2) ok = false;
    }
    if (fclose(f) != 0) ok = false;
    return ok;
}

}  // namespace

size_t IniReadText(const char* section, const char* key, const char* fallback, char* buffer,
                   size_t size, const char* path) {
    if (!buffer || size == 0) return 0;
    std::vector<std::string> lines;
    std::string value;
    bool found = false;
    if (ReadLines(path, &lines)) {
        Place place = Locate(lines, section, key);
        if (place.keyLine >= 0) {
            value = place.value;
            found = true;
        }
    }
    if (found) {
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

int IniReadInt(const char* section, const char* key, int fallback, const char* path) {
    char text[30];
    if (IniReadText(section, key, "", text, sizeof text, path) == 0) return fallback;
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

int IniWriteText(const char* section, const char* key, const char* value, const char* path) {
    std::vector<std::string> lines;
    ReadLines(path, &lines);
    Place place = Locate(lines, section, key);
    std::string entry = std::string(key ? key : "") + "=" + (value ? value : "");
    if (place.keyLine >= 0) {
        if (!value) {
            lines.erase(lines.begin() + place.keyLine);
        } else {
            // Keep the key's own spelling; only the value changes.
            std::string k, v;
            KeyOf(lines[place.keyLine], &k, &v);
            lines[place.keyLine] = k + "=" + value;
        }
    } else if (!value) {
        return 1;  // nothing to delete
    } else if (place.header >= 0) {
        lines.insert(lines.begin() + place.insertAt, entry);
    } else {
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(entry);
    }
    return WriteLines(path, lines) ? 1 : 0;
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
