#include "engine/file_table.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/report.h"
#include "settings/options.h"
#include "text/name_text.h"
#include "text/nocase.h"
#include "text/text.h"

FileTableState FileTable;

void ListReset() {
    ViewDeleteAllItems();
    for (FileRow& row : FileTable.rows) {
        row.name[0] = row.size[0] = row.date[0] = row.address[0] = row.page[0] = '\0';
    }
    FileTable.count = 0;
    FileTable.appended = 0;
    // The identities of the emptied table are never given again.
    FileId next = FileTable.firstFile + kFileTableRows;
    FileTable.firstFile = next < FileTable.firstFile || next == kNoFileId ? 1 : next;
}

void ListAppend(int position, int icon, int param, const char* name) {
    if (position < 0 || position >= kFileTableRows || FileTable.appended >= kFileTableRows) return;
    FileRow& row = FileTable.rows[position];
    row.icon = icon;
    row.position = param;
    row.untyped = 0;
    if (FileTable.firstFile == kNoFileId) FileTable.firstFile = 1;
    row.file = FileTable.firstFile + (FileId)FileTable.appended;
    FileTable.placeOf[FileTable.appended++] = (int16_t)position;
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

FileId ListFileId(int row) {
    if (row < 0 || row >= kFileTableRows || row >= FileTable.count) return kNoFileId;
    return FileTable.rows[row].file;
}

int ListRowOfFile(FileId file) {
    FileId index = file - FileTable.firstFile;
    if (file == kNoFileId || file < FileTable.firstFile || index >= (FileId)FileTable.appended)
        return -1;
    int row = FileTable.placeOf[index];
    return row >= 0 && row < FileTable.count && FileTable.rows[row].file == file ? row : -1;
}

void ListRemoveFile(FileId file) {
    int row = ListRowOfFile(file);
    if (row < 0) return;
    FileTable.placeOf[file - FileTable.firstFile] = -1;
    for (int i = row; i + 1 < FileTable.count; i++) {
        FileTable.rows[i] = FileTable.rows[i + 1];
        FileTable.placeOf[FileTable.rows[i].file - FileTable.firstFile] = (int16_t)i;
    }
    FileTable.count--;
    ViewDeleteItem(row);
}

void ListSetFileText(FileId file, int column, const char* text) {
    int row = ListRowOfFile(file);
    if (row >= 0) ListSetText(row, column, text);
}

void ListMarkUntyped(int row) {
    if (row >= 0 && row < FileTable.count) FileTable.rows[row].untyped = 1;
}

bool ListIsUntyped(FileId file) {
    int row = ListRowOfFile(file);
    return row >= 0 && FileTable.rows[row].untyped != 0;
}

void ListShowPictureType(FileId file, const char* extension) {
    int row = ListRowOfFile(file);
    if (row < 0 || FileTable.rows[row].untyped != 1) return;
    FileRow& r = FileTable.rows[row];
    r.untyped = 2;
    char name[kNameSize];
    FormatText(name, sizeof name, "%s.%s", r.name, extension);
    // A name already cut keeps its look rather than a cut extension.
    if (strlen(name) == strlen(r.name) + 1 + strlen(extension)) CopyText(r.name, sizeof r.name, name);
    r.icon = FileTypeIcon(name);
    ViewRedrawItem(row);
}

void ListSwapRows(int p, int q) {
    if (p < 0 || q < 0 || p >= FileTable.count || q >= FileTable.count || p == q) return;
    FileRow& a = FileTable.rows[p];
    FileRow& b = FileTable.rows[q];
    FileRow saved = a;
    a = b;
    a.position = saved.position;
    saved.position = b.position;
    b = saved;
    FileTable.placeOf[a.file - FileTable.firstFile] = (int16_t)p;
    FileTable.placeOf[b.file - FileTable.firstFile] = (int16_t)q;
}

void FormatSize(int64_t size, char* out, size_t outSize) {
    // Digits by hand: the Windows C library's printf has no portable 64-bit form.
    char digits[24];
    int n = 0;
    uint64_t value = size < 0 ? 0 : (uint64_t)size;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    char text[24];
    for (int i = 0; i < n; i++) text[i] = digits[n - 1 - i];
    text[n] = '\0';
    CopyText(out, outSize, text);
}

int64_t SizeOfText(const char* text) {
    int64_t value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; p++) {
        int digit = *p - '0';
        if (value > (INT64_MAX - digit) / 10) return INT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

int AddFoundFile(const char* address, int64_t size, const char* date, int internal) {
    if (!Options.HTM && (EndsWithNoCase(address, ".html") || EndsWithNoCase(address, ".htm") ||
                         EndsWithNoCase(address, "/")))
        return -1;
    int row = ListCount();
    // Full: the file is not listed. Removed rows give no identity back.
    if (row >= kFileTableRows || FileTable.appended >= kFileTableRows) return -1;
    const char* name = nullptr;
    size_t nameLength = 0;
    AddressNameSpan(address, &name, &nameLength);
    if (nameLength == 0) name = "index.htm", nameLength = 9;
    char raw[kAddressBufferSize];
    if (!CopyPiece(raw, sizeof raw, name, nameLength)) raw[0] = '\0';
    int icon = FileTypeIcon(raw);
    if (Options.ExternalIcon == 1 && internal == 0 && icon == IconHtml) icon = IconExternalHtml;
    // A UTF-8 name ("%E5%86%99.jpg") is shown in Shift_JIS when it can be.
    char shown[kNameSize];
    ReadableName(raw, nameLength, shown, sizeof shown);
    ListAppend(row, icon, row, shown);
    char sizeText[kSizeSize] = "";
    if (size != -1) FormatSize(size, sizeText, sizeof sizeText);
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
