#include "settings/settings_rules.h"

#include <cstdint>

#include "settings/ini.h"
#include "text/text.h"

int ClampSocketsText(const char* text, char* fixedOut, size_t size) {
    int value = TextToInt(text);
    if (value < kMinSockets) {
        FormatText(fixedOut, size, "%d", kMinSockets);
        return 1;
    }
    if (value > kMaxSockets) {
        FormatText(fixedOut, size, "%d", kMaxSockets);
        return 1;
    }
    return 0;
}

int SocketsAfterSpin(const char* text, int delta) {
    int value = TextToInt(text);
    // The text was clamped before the arrow was pressed, so no overflow here;
    // the guard only keeps a hand-made huge text from wrapping around.
    if (delta == 1) return value > INT32_MIN ? value - 1 : value;
    return value < INT32_MAX ? value + 1 : value;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int ParseUnsignedField(const char* text) {
    const char* p = text;
    while (IsBlank(*p)) p++;
    if (*p < '0' || *p > '9') return 0;
    // The field is 32-bit signed in Options and in the file: a larger number
    // keeps the largest one rather than wrapping into a negative limit.
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    while (IsBlank(*p)) p++;
    if (*p != '\0') return 0;
    return (int)value;
}
