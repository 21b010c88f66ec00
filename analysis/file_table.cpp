#include "analysis/file_table.h"

#include <cstdio>
#include <cstring>

#include "analysis/nocase.h"
#include "engine/report.h"
#include "engine/text.h"
#include "settings/options.h"

FileTableState FileTable;

void ListReset() {
    ViewDeleteAllItems();
    for (FileRow& row : FileTable.rows) {
        row.name[0] = row.size[0] = row.date[0] = row.address[0] = row.page[0] = '\0';
    }
    FileTable.count = 0;
}

void ListAppend(int position, int icon, int param, const char* name) {
    if (position < 0 || position >= kFileTableRows) return;
    FileRow& row = FileTable.rows[position];
    row.icon = icon;
    row.position = param;
    CopyText(row.name, sizeof row.name, name);
    ViewRedrawItem(position);
    FileTable.count++;
}

static char* ColumnText(FileRow& row, int column, size_t* sizeOut) {
    switch (column) {
    case ColName: *sizeOut = sizeof row.name; return row.name;
    case ColSize: *sizeOut = sizeof row.size; return row.size;
    case ColDate: *sizeOut = sizeof row.date; return row.date;
    case ColAddress: *sizeOut = sizeof row.address; return row.address;
    case ColPage: *sizeOut = sizeof row.page; return row.page;
    }
    return nullptr;
}

void ListSetText(int row, int column, const char* text) {
    if (!text || row < 0 || row >= kFileTableRows || row >= FileTable.count) return;
    size_t size = 0;
    char* dst = ColumnText(FileTable.rows[row], column, &size);
    if (!dst) return;
    CopyText(dst, size, text);
    ViewRedrawItem(row);
}

int ListCount() { return FileTable.count; }

void ListPublishCount() { ViewPublishCount(FileTable.count); }

const char* ListText(int row, int column) {
    if (row < 0 || row >= kFileTableRows || row >= FileTable.count) return "";
    size_t size = 0;
    const char* text = ColumnText(FileTable.rows[row], column, &size);
    return text ? text : "";
}

void ListGetText(int row, int column, char* buffer, size_t size) {
    CopyText(buffer, size, ListText(row, column));
}

static bool EndsWithNoCase(const char* text, const char* tail) {
    size_t n = strlen(text), m = strlen(tail);
    return n >= m && StrNCmpI(text + n - m, tail, (int)m) == 0;
}

int AddFoundFile(const char* address, int size, const char* date, int internal) {
    if (!Options.HTM && (EndsWithNoCase(address, ".html") || EndsWithNoCase(address, ".htm") ||
                         EndsWithNoCase(address, "/")))
        return -1;
    int row = ListCount();
    if (row >= kFileTableRows) return -1;  // full: the file is not listed
    const char* slash = strrchr(address, '/');
    const char* name = slash ? slash + 1 : address;
    if (!*name) name = "index.htm";
    int icon = FileTypeIcon(name);
    if (Options.ExternalIcon == 1 && internal == 0 && icon == IconHtml) icon = IconExternalHtml;
    ListAppend(row, icon, row, name);
    char sizeText[kSizeSize] = "";
    if (size != -1) FormatText(sizeText, sizeof sizeText, "%d", size);
    ListSetText(row, ColSize, sizeText);
    ListSetText(row, ColDate, date);
    ListSetText(row, ColAddress, address);
    return row;
}

int FileTypeIcon(const char* name) {
    const char* dot = strrchr(name, '.');
    if (!dot) return IconOther;
    static const struct {
        const char* prefix;
        int icon;
    } kinds[] = {{".htm", IconHtml}, {".jpg", IconJpeg}, {".jpeg", IconJpeg},
                 {".gif", IconGif},  {".png", IconPng},  {".wav", IconWav}};
    for (const auto& kind : kinds)
        if (StrNCmpI(dot, kind.prefix, (int)strlen(kind.prefix)) == 0) return kind.icon;
    return IconOther;
}
