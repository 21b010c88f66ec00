#include "app/status_text.h"

#include "engine/file_table.h"
#include "settings/ini.h"
#include "text/text.h"

const char* SizeText(long long bytes) {
    static char text[32];
    if (bytes < 1000)
        FormatText(text, sizeof text, "%dバイト", (int)bytes);
    else if (bytes < 1000000)
        FormatText(text, sizeof text, "%.1fKB", bytes / 1024.0);
    else
        FormatText(text, sizeof text, "%.2fMB", bytes / 1048576.0);
    return text;
}

void FormatStatusText(const int* rows, int count, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (count <= 0) return;
    if (count == 1) {
        long long bytes = SizeOfText(ListText(rows[0], ColSize));
        if (bytes != 0)
            FormatText(out, size, "%s %s", ListText(rows[0], ColName), SizeText(bytes));
        else
            CopyText(out, size, ListText(rows[0], ColName));
        return;
    }
    // A 64-bit total, held at the largest value rather than wrapped.
    long long sum = 0;
    for (int i = 0; i < count; i++) {
        long long bytes = SizeOfText(ListText(rows[i], ColSize));
        sum = bytes > INT64_MAX - sum ? INT64_MAX : sum + bytes;
    }
    if (sum != 0)
        FormatText(out, size, "%d個のファイル %s", count, SizeText(sum));
    else
        FormatText(out, size, "%d個のファイル", count);
}
