// The table of found files that the file list view shows (owner-data).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kFileTableRows = 2000;
constexpr int kNameSize = 64;
constexpr int kSizeSize = 11;
constexpr int kDateSize = 20;
constexpr int kAddressSize = 256;

// ColPage, the page a file was found on, is kept for its requests and not shown.
enum FileColumn { ColName = 0, ColSize = 1, ColDate = 2, ColAddress = 3, ColPage = 4 };

enum FileIcon {
    IconHtml = 0,
    IconExternalHtml = 1,
    IconJpeg = 2,
    IconGif = 3,
    IconPng = 4,
    IconWav = 5,
    IconOther = 6,
};

struct FileRow {
    int32_t position;
    int32_t icon;
    char name[kNameSize];
    char size[kSizeSize];
    char date[kDateSize];
    char address[kAddressSize];
    char page[kAddressSize];
};

struct FileTableState {
    FileRow rows[kFileTableRows];
    int32_t count;
};

extern FileTableState FileTable;

void ListReset();
void ListAppend(int position, int icon, int param, const char* name);
void ListSetText(int row, int column, const char* text);
int ListCount();
void ListPublishCount();
void ListGetText(int row, int column, char* buffer, size_t size);
// Row text of a column (the table's own storage), or "" outside the table.
const char* ListText(int row, int column);
int AddFoundFile(const char* address, int size, const char* date, int internal);
int FileTypeIcon(const char* name);
