#include "app/list_sort.h"

#include <cstring>

#include "engine/file_table.h"
#include "settings/ini.h"

// Byte-wise comparison with only the ASCII letters folded; Shift_JIS bytes
// compare as unsigned values.
static int CompareNoCase(const char* a, const char* b) {
    for (;; a++, b++) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x = (unsigned char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (unsigned char)(y - 'A' + 'a');
        if (x != y) return (int)x - (int)y;
        if (x == 0) return 0;
    }
}

static const char* Extension(const char* name) {
    const char* dot = strrchr(name, '.');
    return dot ? dot + 1 : "";
}

int CompareRows(int a, int b, int column, int direction) {
    int result;
    if (column == kSortByType) {
        return CompareNoCase(Extension(ListText(a, ColName)), Extension(ListText(b, ColName)));
    }
    if (column == ColSize) {
        // Compared, not subtracted: sizes near the 64-bit limit must not wrap.
        int64_t x = SizeOfText(ListText(a, ColSize)), y = SizeOfText(ListText(b, ColSize));
        result = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        result = CompareNoCase(ListText(a, column), ListText(b, column));
    }
    return direction == 2 ? -result : result;
}

void SortFileTable(int column, int direction) {
    if (column != kSortByType && (column < 0 || column > ColAddress)) return;
    const int count = ListCount();
    for (int gap = count / 2; gap > 0; gap /= 2) {
        for (int i = 0; i < gap; i++) {
            for (int p = i + gap; p < count; p += gap) {
                for (int q = p - gap; q >= i; q -= gap) {
                    if (CompareRows(q, q + gap, column, direction) <= 0) break;
                    ListSwapRows(q, q + gap);
                }
            }
        }
    }
}
